// The evaluator's stack entries and the reduction that folds a stretch at the
// top of the stack into evaluated operands ("E"), computing as it goes. The
// rule matching is inline: the parser runs it once for nearly every token.
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

// One entry of the evaluator's stack: a token, and for an entry that is not
// an evaluated operand the index of the nearest such entry below it, which
// lets the parser find its handles in constant time. Left uninitialised on
// purpose: the parser writes each entry before reading it.
struct StackEntry {
  TokenKind kind;
  std::uint32_t terminalBelow;
  double value;
};
static_assert(sizeof(StackEntry) == 16);

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
[[gnu::always_inline]] inline ResultCode Reduce(std::size_t start, std::size_t& depth, StackEntry* stack) noexcept {
  const std::size_t end = depth;
  auto kindAt = [&](std::size_t i) -> TokenKind { return i < end ? stack[i].kind : kind::None; };
  std::size_t pos = start;
  std::size_t out = start;
  ResultCode code = Ok;
  while (pos < end) {
    const TokenKind k0 = stack[pos].kind, k1 = kindAt(pos + 1), k2 = kindAt(pos + 2);
    Outcome outcome;
    std::size_t length;
    if (k0 == kind::Number && pos == end - 1) {  // a freshly pushed number
      outcome = {Ok, stack[pos].value};
      length = 1;
    } else if (k0 == kind::Operand && IsInfixOperator(k1) && k2 == kind::Operand) {
      outcome = ApplyInfix(stack[pos].value, k1, stack[pos + 2].value);
      length = 3;
    } else if (IsPrefixKind(k0) && k1 == kind::Operand) {
      outcome = ApplyPrefix(k0, stack[pos + 1].value);
      length = 2;
    } else if (k0 == '(' && k1 == kind::Operand && k2 == ')') {
      outcome = {Ok, stack[pos + 1].value};
      length = 3;
    } else {
      code = Malformed;
      break;
    }
    if (outcome.code != Ok) {
      code = outcome.code;
      break;
    }
    stack[out++] = {kind::Operand, 0, outcome.value};
    pos += length;
  }
  depth = out;
  return code;
}

}  // namespace exprcalc
