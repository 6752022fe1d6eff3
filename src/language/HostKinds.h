// The token kinds of a table's host functions (variables/HostFunctions.h):
// the function at place i of the table's list reads as kind FirstHostKind + i,
// which no other token has, and which the parse treats as a built-in
// function's kind (same priorities, same "(" rules).
#pragma once

#include <cstddef>

#include "language/ResultCode.h"
#include "language/Token.h"
#include "variables/HostFunctions.h"

namespace exprcalc {

inline constexpr TokenKind FirstHostKind = 128;
static_assert(FirstHostKind + HostFunctions::Most == 256, "every host function has a kind");
constexpr bool IsHostKind(TokenKind k) noexcept { return k >= FirstHostKind; }

// The kind of the function named key in functions, or kind::None.
inline TokenKind HostKind(const HostFunctions& functions, const NormalisedKey& key) noexcept {
  const int place = functions.Find(key);
  return place == HostFunctions::NotFound ? kind::None : static_cast<TokenKind>(FirstHostKind + place);
}

// What a host's function's code and value make of an application: its value
// on 0, its code on 1 to 3 (the built-ins' errors), FunctionFailed on any
// other code; the value is 0.0 on every code but Ok. Every back end that
// calls a host's function ends in this.
[[gnu::always_inline]] inline Outcome HostOutcome(int code, double value) noexcept {
  if (code == Ok) return {Ok, value};
  if (code == DivisionByZero || code == DomainError || code == NegativeLogarithm) {
    return {static_cast<ResultCode>(code), 0.0};
  }
  return {FunctionFailed, 0.0};
}

// Calls a host's callback with y: the value it is handed starts as 0.0, the
// value of a function that returns 0 without writing it.
[[gnu::always_inline]] inline Outcome CallHost(HostCallback call, void* user, double y) noexcept {
  double value = 0.0;
  const int code = call(user, y, &value);
  return HostOutcome(code, value);
}

// The function of kind k applied to y.
inline Outcome ApplyHost(const HostFunctions& functions, TokenKind k, double y) noexcept {
  const std::size_t place = static_cast<std::size_t>(k - FirstHostKind);
  return CallHost(functions.CallbackAt(place), functions.UserAt(place), y);
}

}  // namespace exprcalc
