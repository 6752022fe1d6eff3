// The reduction rules, tried in order at each read position: a number, a sign
// or function with its operand, a parenthesised operand, an infix operation.
// Every computation is written in the order that defines its rounding.
#include "expr/Reduce.h"

#include <cmath>

#include "expr/Arithmetic.h"
#include "expr/Priority.h"

namespace exprcalc {
namespace {

constexpr double Pi = 3.141592653589793;

bool IsInfixOperator(TokenKind k) noexcept {
  return k == '+' || k == '-' || k == '*' || k == '/' || k == '%' || k == '^';
}

bool IsPrefixKind(TokenKind k) noexcept { return k == '-' || k == '+' || IsFunctionKind(k); }

Outcome ApplyPrefix(TokenKind k, double y) noexcept {
  switch (k) {
    case '-': return {Ok, y * -1.0};
    case '+': return {Ok, y};
    case 'A': return {Ok, std::fabs(y)};
    case 'C': return {Ok, std::cos(y)};
    case 'D': return {Ok, (180.0 * y) / Pi};
    case 'L':
    case 'M':
      if (std::fabs(y) < ZeroThreshold) return {DomainError, 0.0};
      if (y < 0.0) return {NegativeLogarithm, 0.0};
      return {Ok, k == 'L' ? std::log(y) : std::log10(y)};
    case 'N': return {Ok, std::exp(y)};
    case 'Q': return {Ok, std::sqrt(y)};
    case 'R': return {Ok, (Pi * y) / 180.0};
    case 'S': return {Ok, std::sin(y)};
    case 'T': return {Ok, std::tan(y)};
    case 'X':
      if (std::fabs(y) > 1.0) return {DomainError, 0.0};
      return {Ok, std::acos(y)};
    case 'Y':
      if (std::fabs(y) > 1.0) return {DomainError, 0.0};
      return {Ok, std::asin(y)};
    default:  // 'Z': the arc tangent is defined for every number
      return {Ok, std::atan(y)};
  }
}

Outcome ApplyInfix(double a, TokenKind op, double b) noexcept {
  switch (op) {
    case '+': return {Ok, a + b};
    case '-': return {Ok, a - b};
    case '*': return {Ok, a * b};
    case '/':
      if (std::fabs(b) < ZeroThreshold) return {DivisionByZero, 0.0};
      return {Ok, a / b};
    case '%': return Remainder(a, b);
    default:  // '^'
      if (a == 0.0 && b < 0.0) return {DomainError, 0.0};
      return {Ok, std::pow(a, b)};
  }
}

}  // namespace

ResultCode Reduce(std::size_t start, std::size_t& depth, StackEntry* stack) noexcept {
  if (start >= depth) {
    depth = start;
    return Ok;
  }
  const std::size_t end = depth;
  auto kindAt = [&](std::size_t i) -> TokenKind { return i < end ? stack[i].kind : kind::None; };
  std::size_t pos = start;
  std::size_t out = start;
  ResultCode code = Ok;
  while (pos < end) {
    const TokenKind k0 = kindAt(pos), k1 = kindAt(pos + 1), k2 = kindAt(pos + 2);
    Outcome outcome{Ok, 0.0};
    std::size_t length = 0;
    if (k0 == kind::Number && pos == end - 1) {
      outcome = {Ok, stack[pos].value};
      length = 1;
    } else if (IsPrefixKind(k0) && k1 == kind::Operand) {
      outcome = ApplyPrefix(k0, stack[pos + 1].value);
      length = 2;
    } else if (k0 == '(' && k1 == kind::Operand && k2 == ')') {
      outcome = {Ok, stack[pos + 1].value};
      length = 3;
    } else if (k0 == kind::Operand && IsInfixOperator(k1) && k2 == kind::Operand) {
      outcome = ApplyInfix(stack[pos].value, k1, stack[pos + 2].value);
      length = 3;
    } else {
      code = Malformed;
      break;
    }
    if (outcome.code != Ok) {
      code = outcome.code;
      break;
    }
    stack[out] = {kind::Operand, 0, outcome.value};
    ++out;
    pos += length;
  }
  depth = out;
  return code;
}

}  // namespace exprcalc
