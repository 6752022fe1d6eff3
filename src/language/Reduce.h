// The evaluator's stack and the one rule matcher that folds a stretch at the
// top of the stack into an evaluated operand ("E"), computing as it goes. It
// is inline: the parser runs it once for nearly every token.
#pragma once

#include <cstddef>

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "language/HostKinds.h"
#include "language/ResultCode.h"
#include "language/Token.h"

namespace exprcalc {

// The evaluator's stack, kept as two arrays so that a push touches as few
// bytes as possible (a deeply nested text pushes one entry per byte):
//  - kind: every entry's kind; entry 0 is the bottom marker "$";
//  - operand: the numbers of the "i" and "E" entries, bottom first. Entries
//    are pushed and folded at the top only, so the numbers of the entries from
//    any index upward are always the topmost numbers here.
// Both are left uninitialised: the parser writes each entry before reading it.
struct EvalStack {
  TokenKind* kind;
  double* operand;
  std::size_t depth;         // entries in use, the bottom marker included
  std::size_t operandCount;  // numbers in use
};

// Where the value of the lowest "E" entry stands among the stack's numbers,
// or NoOperand when there is none (the value is then 0.0).
inline std::size_t LowestOperand(const EvalStack& stack) noexcept {
  std::size_t number = 0;
  for (std::size_t i = 0; i < stack.depth; ++i) {
    if (stack.kind[i] == kind::Operand) return number;
    if (CarriesNumber(stack.kind[i])) ++number;
  }
  return NoOperand;
}

constexpr bool IsInfixOperator(TokenKind k) noexcept {
  return k == '+' || k == '-' || k == '*' || k == '/' || k == '%' || k == '^';
}

constexpr bool IsPrefixKind(TokenKind k) noexcept { return k == '-' || k == '+' || IsFunctionKind(k); }

// The arithmetic of every evaluation. Preparing a program stands in for it
// with a recorder of the operations, since the parse's course never depends
// on the values. The host's functions are those of the table the text is
// read in: the tokenizer gives their kinds only when it has some.
struct Arithmetic {
  const HostFunctions* functions = nullptr;
  Outcome Prefix(TokenKind k, double y) const noexcept {
    if (IsHostKind(k)) [[unlikely]] return ApplyHost(*functions, k, y);
    return ApplyPrefix(k, y);
  }
  static Outcome Infix(double a, TokenKind op, double b) noexcept { return ApplyInfix(a, op, b); }
};

// Folds the entries from start to the top, which the parser hands over as one
// handle, by the rule that matches them whole: a sign or function with its
// operand; "(" E ")"; E op E. (A number becomes an operand as it is shifted,
// see Parse.h.) The parser's handles never hold more than one rule (see
// Priority.h), so a stretch that no rule matches whole is malformed. On a
// failure depth is cut to start.
template <typename Maths>
[[gnu::always_inline]] inline ResultCode Reduce(std::size_t start, EvalStack& stack, Maths& maths) noexcept {
  const TokenKind* kinds = stack.kind + start;
  double* top = stack.operand + stack.operandCount;  // one past the topmost number
  Outcome outcome{Malformed, 0.0};
  switch (stack.depth - start) {
    case 2:
      if (IsPrefixKind(kinds[0]) && kinds[1] == kind::Operand) outcome = maths.Prefix(kinds[0], top[-1]);
      break;
    case 3:
      if (kinds[0] == kind::Operand && IsInfixOperator(kinds[1]) && kinds[2] == kind::Operand) {
        outcome = maths.Infix(top[-2], kinds[1], top[-1]);
        if (outcome.code == Ok) --stack.operandCount;
      } else if (kinds[0] == '(' && kinds[1] == kind::Operand && kinds[2] == ')') {
        outcome = {Ok, top[-1]};
      }
      break;
    default:
      break;
  }
  if (outcome.code != Ok) {
    stack.depth = start;
    return outcome.code;
  }
  stack.kind[start] = kind::Operand;
  stack.operand[stack.operandCount - 1] = outcome.value;
  stack.depth = start + 1;
  return Ok;
}

}  // namespace exprcalc
