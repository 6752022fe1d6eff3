// The two priority functions that carry the grammar: a kind's priority when
// it stands on the stack, and when it arrives from the input. A negative
// priority means the kind has none, and meeting it ends the parse. Both are
// one table lookup, since the parser consults them for every token.
#pragma once

#include <array>

#include "expr/Token.h"

namespace exprcalc {

constexpr bool IsFunctionKind(TokenKind k) noexcept {
  switch (k) {
    case 'A': case 'C': case 'D': case 'L': case 'M': case 'N': case 'Q':
    case 'R': case 'S': case 'T': case 'X': case 'Y': case 'Z':
      return true;
    default:
      return false;
  }
}

namespace priority {

constexpr int OnStack(TokenKind k) noexcept {
  switch (k) {
    case '$': case '(': return 0;
    case ')': case 'i': return 11;
    case '+': case '-': return 2;
    case '*': case '/': case '%': return 4;
    case '^': return 5;
    default: return IsFunctionKind(k) ? 5 : -1;
  }
}

constexpr int FromInput(TokenKind k) noexcept {
  switch (k) {
    case '$': case ')': return 0;
    case '(': case 'i': return 10;
    case '+': case '-': return 1;
    case '*': case '/': case '%': return 3;
    case '^': return 6;
    default: return IsFunctionKind(k) ? 6 : -1;
  }
}

template <int (*Priority)(TokenKind)>
constexpr std::array<signed char, 256> Tabulate() noexcept {
  std::array<signed char, 256> table{};
  for (int k = 0; k < 256; ++k) table[k] = static_cast<signed char>(Priority(static_cast<TokenKind>(k)));
  return table;
}

inline constexpr std::array<signed char, 256> StackTable = Tabulate<OnStack>();
inline constexpr std::array<signed char, 256> InputTable = Tabulate<FromInput>();

}  // namespace priority

constexpr int StackPriority(TokenKind k) noexcept { return priority::StackTable[k]; }
constexpr int InputPriority(TokenKind k) noexcept { return priority::InputTable[k]; }

}  // namespace exprcalc
