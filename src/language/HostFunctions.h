// The functions a host defines in a table: one-argument functions that read
// like the built-in ones. Each has a token kind of its own, from
// FirstHostKind on in the order of the table's list, so the parse treats it
// exactly as a built-in function (same priorities, same "(" rules); the
// tokenizer gives that kind for its name and the arithmetic calls it.
#pragma once

#include <cstddef>

#include "language/ResultCode.h"
#include "language/Token.h"
#include "variables/NormaliseKey.h"

namespace exprcalc {

// The host's callback, as exprcalc_function declares it.
using HostCallback = exprcalc_function;

// Token kinds from here up name a host function; no other token has them.
inline constexpr TokenKind FirstHostKind = 128;
inline constexpr std::size_t MostHostFunctions = 256 - FirstHostKind;
constexpr bool IsHostKind(TokenKind k) noexcept { return k >= FirstHostKind; }

class HostFunctions {
 public:
  constexpr HostFunctions() noexcept = default;
  HostFunctions(const HostFunctions&) = delete;
  HostFunctions& operator=(const HostFunctions&) = delete;
  ~HostFunctions() { Release(); }

  std::size_t Count() const noexcept { return count_; }
  // The kind of the function named key, or kind::None.
  TokenKind Find(const NormalisedKey& key) const noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
      if (Same(entries_[i].key, key)) return static_cast<TokenKind>(FirstHostKind + i);
    }
    return kind::None;
  }
  // Defines the function named key, or gives an existing one a new callback.
  // False when no room can be had (then nothing changes).
  bool Define(const NormalisedKey& key, HostCallback call, void* user) noexcept;
  // Forgets the function named key; false when there is none. Every later
  // function's kind moves down by one.
  bool Remove(const NormalisedKey& key) noexcept;
  // The function of kind k (a kind Find gave, while nothing was defined or
  // removed since) applied to y: its result on 0, its code on 1 to 3, and
  // FunctionFailed on any other code. The value is 0.0 on every code but 0.
  Outcome Apply(TokenKind k, double y) const noexcept {
    const Entry& entry = entries_[k - FirstHostKind];
    double value = 0.0;
    const int code = entry.call(entry.user, y, &value);
    if (code == Ok) return {Ok, value};
    if (code == DivisionByZero || code == DomainError || code == NegativeLogarithm) {
      return {static_cast<ResultCode>(code), 0.0};
    }
    return {FunctionFailed, 0.0};
  }
  // The name of the function of kind k, as it was defined (normalised).
  std::string_view NameOf(TokenKind k) const noexcept { return entries_[k - FirstHostKind].key.View(); }
  void Release() noexcept;

 private:
  struct Entry {
    NormalisedKey key;
    HostCallback call;
    void* user;
  };
  static bool Same(const NormalisedKey& a, const NormalisedKey& b) noexcept {
    for (std::size_t i = 0; i < NormalisedKey::WordCount; ++i) {
      if (a.Words()[i] != b.Words()[i]) return false;
    }
    return true;
  }

  Entry* entries_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace exprcalc
