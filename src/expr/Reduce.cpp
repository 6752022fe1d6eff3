// The reduction rules in full, tried in order at each read position (a
// number, a sign or function with its operand, a parenthesised operand, an
// infix operation), and the arithmetic of signs and functions with their
// domain tests. Every computation is written in the order that defines its
// rounding.
#include "expr/Reduce.h"

#include <cmath>

#include "expr/Arithmetic.h"

namespace exprcalc {
namespace {

constexpr double Pi = 3.141592653589793;

}  // namespace

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

Outcome ApplyRemainderOrPower(double a, TokenKind op, double b) noexcept {
  if (op == '%') return Remainder(a, b);
  if (a == 0.0 && b < 0.0) return {DomainError, 0.0};  // zero to a negative power
  return {Ok, std::pow(a, b)};
}

ResultCode ReduceStretch(std::size_t start, EvalStack& stack) noexcept {
  const std::size_t end = stack.depth;
  auto kindAt = [&](std::size_t i) -> TokenKind { return i < end ? stack.kind[i] : kind::None; };
  std::size_t numbersInStretch = 0;
  for (std::size_t i = start; i < end; ++i) numbersInStretch += CarriesNumber(stack.kind[i]) ? 1 : 0;
  std::size_t numberIn = stack.operandCount - numbersInStretch;  // the stretch's first number
  std::size_t numberOut = numberIn;
  std::size_t pos = start;
  std::size_t out = start;
  ResultCode code = Ok;
  while (pos < end) {
    const TokenKind k0 = stack.kind[pos], k1 = kindAt(pos + 1), k2 = kindAt(pos + 2);
    const double* numbers = stack.operand + numberIn;
    Outcome outcome;
    std::size_t length;
    if (k0 == kind::Number && pos == end - 1) {  // a freshly pushed number
      outcome = {Ok, numbers[0]};
      length = 1;
      numberIn += 1;
    } else if (IsPrefixKind(k0) && k1 == kind::Operand) {
      outcome = ApplyPrefix(k0, numbers[0]);
      length = 2;
      numberIn += 1;
    } else if (k0 == '(' && k1 == kind::Operand && k2 == ')') {
      outcome = {Ok, numbers[0]};
      length = 3;
      numberIn += 1;
    } else if (k0 == kind::Operand && IsInfixOperator(k1) && k2 == kind::Operand) {
      outcome = ApplyInfix(numbers[0], k1, numbers[1]);
      length = 3;
      numberIn += 2;
    } else {
      code = Malformed;
      break;
    }
    if (outcome.code != Ok) {
      code = outcome.code;
      break;
    }
    stack.kind[out++] = kind::Operand;
    stack.operand[numberOut++] = outcome.value;
    pos += length;
  }
  stack.depth = out;
  stack.operandCount = numberOut;
  return code;
}

}  // namespace exprcalc
