// The arithmetic of the reduction rules: signs, functions with their domain
// tests, and the infix operators. Every computation is written in the order
// that defines its rounding.
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

}  // namespace exprcalc
