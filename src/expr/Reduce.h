// The evaluator's stack and the reduction that folds a stretch at the top of
// the stack into evaluated operands ("E"), computing as it goes. The rule
// matching is inline: the parser runs it once for nearly every token.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "expr/Arithmetic.h"
#include "expr/Priority.h"
#include "expr/ResultCode.h"
#include "expr/Token.h"

namespace exprcalc {

// A divisor or logarithm argument of smaller magnitude counts as zero.
inline constexpr double ZeroThreshold = 5e-14;

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

constexpr bool CarriesNumber(TokenKind k) noexcept { return k == kind::Number || k == kind::Operand; }

// A sign or a function applied to its operand y, with its domain tests.
Outcome ApplyPrefix(TokenKind k, double y) noexcept;
// a % b and a ^ b, with their tests.
Outcome ApplyRemainderOrPower(double a, TokenKind op, double b) noexcept;

// a op b for the six infix operators, with their tests.
inline Outcome ApplyInfix(double a, TokenKind op, double b) noexcept {
  switch (op) {
    case '+': return {Ok, a + b};
    case '-': return {Ok, a - b};
    case '*': return {Ok, a * b};
    case '/':
      if (std::fabs(b) < ZeroThreshold) return {DivisionByZero, 0.0};
      return {Ok, a / b};
    default:
      return ApplyRemainderOrPower(a, op, b);
  }
}

constexpr bool IsInfixOperator(TokenKind k) noexcept {
  return k == '+' || k == '-' || k == '*' || k == '/' || k == '%' || k == '^';
}

constexpr bool IsPrefixKind(TokenKind k) noexcept { return k == '-' || k == '+' || IsFunctionKind(k); }

// Folds entries start to depth-1 by the reduction rules, writing one "E" entry
// per rule applied from start upward. Entries at depth and above read as kind
// 0. On return depth is start plus the number of rules applied, also after a
// failure; the result is the code of the first failing rule, or Ok.
ResultCode ReduceStretch(std::size_t start, EvalStack& stack) noexcept;

// As ReduceStretch. The stretches the parser hands over are nearly always one
// rule that takes the whole stretch; those are folded here, inline.
[[gnu::always_inline]] inline ResultCode Reduce(std::size_t start, EvalStack& stack) noexcept {
  const std::size_t length = stack.depth - start;
  const TokenKind* kinds = stack.kind + start;
  double* top = stack.operand + stack.operandCount;  // one past the topmost number
  Outcome outcome;
  if (length == 1 && kinds[0] == kind::Number) {
    outcome = {Ok, top[-1]};
  } else if (length == 2 && IsPrefixKind(kinds[0]) && kinds[1] == kind::Operand) {
    outcome = ApplyPrefix(kinds[0], top[-1]);
  } else if (length == 3 && kinds[0] == kind::Operand && IsInfixOperator(kinds[1]) && kinds[2] == kind::Operand) {
    outcome = ApplyInfix(top[-2], kinds[1], top[-1]);
    if (outcome.code == Ok) --stack.operandCount;
  } else if (length == 3 && kinds[0] == '(' && kinds[1] == kind::Operand && kinds[2] == ')') {
    outcome = {Ok, top[-1]};
  } else {
    // Handed a copy, so that the parser's own stack never has its address
    // taken and its counts can stay in registers.
    EvalStack copy = stack;
    const ResultCode code = ReduceStretch(start, copy);
    stack = copy;
    return code;
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
