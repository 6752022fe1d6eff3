// Edge arithmetic of the "%" operator, kept apart so each edge has a test:
// truncation that never converts an out-of-range double, an integer remainder
// that never traps, and the double remainder for operands beyond 32 bits.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "language/ResultCode.h"

namespace exprcalc {

// The value toward zero as a signed 32-bit integer, or nothing for NaN and
// for values whose truncation does not fit.
inline std::optional<std::int32_t> TruncateToInt32(double value) noexcept {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// Remainder of the division that truncates toward zero (sign of the
// dividend); the smallest integer rem -1, whose quotient does not fit, is 0.
inline std::int32_t IntegerRemainder(std::int32_t dividend, std::int32_t divisor) noexcept {
  if (divisor == -1) return 0;
  return dividend % divisor;
}

// a % b: the integer remainder of the truncated operands. A divisor of
// magnitude below 1 is a division by zero. Operands beyond 32 bits take the
// remainder of the truncated doubles instead; NaN or an infinite dividend gives NaN.
inline Outcome Remainder(double a, double b) noexcept {
  const std::optional<std::int32_t> divisor = TruncateToInt32(b);
  if (divisor == 0) return {DivisionByZero, 0.0};
  const std::optional<std::int32_t> dividend = TruncateToInt32(a);
  if (dividend && divisor) return {Ok, static_cast<double>(IntegerRemainder(*dividend, *divisor))};
  if (std::isnan(a) || std::isnan(b) || std::isinf(a)) return {Ok, std::numeric_limits<double>::quiet_NaN()};
  return {Ok, std::fmod(std::trunc(a), std::trunc(b))};
}

}  // namespace exprcalc
