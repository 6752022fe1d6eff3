// The arithmetic of every evaluation, in one place: the six operators and
// their table, the sign, the edge rules (a divisor that counts as zero, zero
// to a negative power, the domains of the logarithms and of the inverse sine
// and cosine, "%" on integers), and the pinning of a sum's or product's NaN.
// The parse, the steps, the machine code and the columns all take their
// rules from here: scalar forms for one number, lane forms for a block of
// rows, so that no back end restates a rule.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include "language/ResultCode.h"
#include "language/Token.h"

namespace exprcalc {

// The infix operators, in the order every table of them follows.
enum class Operator : std::uint8_t { Add, Subtract, Multiply, Divide, Remainder, Power };
inline constexpr std::size_t OperatorCount = 6;
inline constexpr TokenKind OperatorSymbols[OperatorCount] = {'+', '-', '*', '/', '%', '^'};

constexpr TokenKind SymbolOf(Operator op) noexcept { return OperatorSymbols[static_cast<std::size_t>(op)]; }
// The operator of an infix symbol; anything else is taken for "^".
constexpr Operator OperatorOfSymbol(TokenKind symbol) noexcept {
  for (std::size_t i = 0; i + 1 < OperatorCount; ++i) {
    if (OperatorSymbols[i] == symbol) return static_cast<Operator>(i);
  }
  return Operator::Power;
}
static_assert([] {
  for (std::size_t i = 0; i < OperatorCount; ++i) {
    if (OperatorOfSymbol(OperatorSymbols[i]) != static_cast<Operator>(i)) return false;
  }
  return true;
}(), "each operator's symbol names it");

// A divisor or logarithm argument of smaller magnitude counts as zero.
inline constexpr double ZeroThreshold = 5e-14;
inline bool CountsAsZero(double y) noexcept { return std::fabs(y) < ZeroThreshold; }
// Zero to a negative power is a domain error; every other power is pow's.
inline bool ZeroToNegativePower(double a, double b) noexcept { return a == 0.0 && b < 0.0; }
// The inverse sine and cosine take operands of magnitude up to this.
inline constexpr double UnitBound = 1.0;

namespace builtin {
// The magnitude is tested before the sign, so a tiny negative operand is a
// domain error, not a negative logarithm.
inline ResultCode LogarithmDomain(double y) noexcept {
  if (CountsAsZero(y)) return DomainError;
  return y < 0.0 ? NegativeLogarithm : Ok;
}
inline ResultCode UnitInterval(double y) noexcept { return std::fabs(y) > UnitBound ? DomainError : Ok; }
}  // namespace builtin

// When both operands of + or * are NaN, the hardware gives the first one's
// NaN, but a compiler may swap the operands of these two (they commute), so
// one text could give NaNs of different sign or payload on different paths.
// Sum and Product pin it to the first operand's NaN, quieted, everywhere.
// (Quieted sets the quiet bit itself: a compiler may drop a * 1.0.)
inline double Quieted(double nan) noexcept {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(nan) | std::uint64_t{0x0008000000000000});
}
// The sign: y * -1.0. The product of a NaN is that NaN, quieted, sign kept;
// a compiler writes y * -1.0 as a flip of the sign bit, and may move it into
// the division before it (-(a/b) as (-a)/b, whose NaN differs), so a NaN is
// answered here and only numbers change sign.
inline constexpr double SignFactor = -1.0;
inline double Negated(double y) noexcept { return y != y ? Quieted(y) : -y; }

inline double FirstNaN(double a, double b, double result) noexcept {
  if (result == result) return result;
  if (a != a) return Quieted(a);
  return b != b ? Quieted(b) : result;
}
inline double Sum(double a, double b) noexcept { return FirstNaN(a, b, a + b); }
inline double Product(double a, double b) noexcept { return FirstNaN(a, b, a * b); }

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

// a op b for one infix operator known at compile time, with its test: the
// prepared runners call it directly, so that it is inlined there.
template <TokenKind Op>
inline Outcome ApplyOperator(double a, double b) noexcept {
  if constexpr (Op == '+') {
    return {Ok, Sum(a, b)};
  } else if constexpr (Op == '-') {
    return {Ok, a - b};
  } else if constexpr (Op == '*') {
    return {Ok, Product(a, b)};
  } else if constexpr (Op == '/') {
    if (CountsAsZero(b)) return {DivisionByZero, 0.0};
    return {Ok, a / b};
  } else if constexpr (Op == '%') {
    return Remainder(a, b);
  } else {
    static_assert(Op == '^');
    if (ZeroToNegativePower(a, b)) return {DomainError, 0.0};
    return {Ok, std::pow(a, b)};
  }
}

// a op b for the six infix operators. Plain comparisons rather than a
// switch: a jump table's one indirect branch predicts worse.
inline Outcome ApplyInfix(double a, TokenKind op, double b) noexcept {
  if (op == '+') return ApplyOperator<'+'>(a, b);
  if (op == '-') return ApplyOperator<'-'>(a, b);
  if (op == '*') return ApplyOperator<'*'>(a, b);
  if (op == '/') return ApplyOperator<'/'>(a, b);
  if (op == '%') return ApplyOperator<'%'>(a, b);
  return ApplyOperator<'^'>(a, b);
}

// Lane forms, for loops over a block of rows that the compiler turns into
// vector code.

// An operand in a block: one number per row, or one number for every row.
struct Lanes {
  const double* numbers;
  double operator[](std::size_t row) const noexcept { return numbers[row]; }
};
struct Same {
  double number;
  double operator[](std::size_t) const noexcept { return number; }
};

// FirstNaN as selects rather than branches, so that a loop stays vector code.
inline double PinnedNaN(double a, double b, double result) noexcept {
  const double pinned = a != a ? Quieted(a) : (b != b ? Quieted(b) : result);
  return result != result ? pinned : result;
}

// Without a NaN operand a sum or product is its own pinned value (see
// FirstNaN), so a block without one may take the plain loop. The test is on
// the bits, in integer operations that vectorise: the magnitude's bits
// exceed infinity's only for a NaN, and then the difference below has its
// top bit set.
inline std::uint64_t NaNProbe(double x) noexcept {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return std::uint64_t{0x7FF0000000000000} - (bits & std::uint64_t{0x7FFFFFFFFFFFFFFF});
}
inline bool ProbeFoundNaN(std::uint64_t probes) noexcept { return (probes >> 63) != 0; }

}  // namespace exprcalc
