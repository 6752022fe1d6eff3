// The two priority functions that carry the grammar: a kind's priority when
// it stands on the stack, and when it arrives from the input. A negative
// priority means the kind has none, and meeting it ends the parse.
#pragma once

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

constexpr int StackPriority(TokenKind k) noexcept {
  switch (k) {
    case '$': case '(': return 0;
    case ')': case 'i': return 11;
    case '+': case '-': return 2;
    case '*': case '/': case '%': return 4;
    case '^': return 5;
    default: return IsFunctionKind(k) ? 5 : -1;
  }
}

constexpr int InputPriority(TokenKind k) noexcept {
  switch (k) {
    case '$': case ')': return 0;
    case '(': case 'i': return 10;
    case '+': case '-': return 1;
    case '*': case '/': case '%': return 3;
    case '^': return 6;
    default: return IsFunctionKind(k) ? 6 : -1;
  }
}

}  // namespace exprcalc
