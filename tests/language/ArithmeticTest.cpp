// The helpers behind "%": truncation to 32 bits that never converts an
// out-of-range double, an integer remainder that never traps, and the
// remainder with its division-by-zero test and its paths beyond 32 bits.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "language/Arithmetic.h"

namespace {

using exprcalc::IntegerRemainder;
using exprcalc::Remainder;
using exprcalc::TruncateToInt32;

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t IntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t IntMax = std::numeric_limits<std::int32_t>::max();

TEST(Arithmetic, TruncateToInt32) {
  struct Row {
    double value;
    std::optional<std::int32_t> expected;
  };
  const Row rows[] = {
      {0.0, 0}, {-0.0, 0}, {0.999, 0}, {-0.999, 0}, {1.9, 1}, {-1.9, -1}, {2147483647.0, IntMax},
      {2147483647.999, IntMax}, {2147483648.0, std::nullopt}, {-2147483648.0, IntMin}, {-2147483648.999, IntMin},
      {-2147483649.0, std::nullopt}, {1e300, std::nullopt}, {Inf, std::nullopt}, {-Inf, std::nullopt},
      {NaN, std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(TruncateToInt32(row.value), row.expected) << "value " << row.value;
}

TEST(Arithmetic, IntegerRemainderTakesTheSignOfTheDividend) {
  struct Row {
    std::int32_t dividend, divisor, expected;
  };
  const Row rows[] = {
      {7, 3, 1},          {-7, 3, -1},        {7, -3, 1},       {-7, -3, -1},    {6, 3, 0},
      {IntMin, -1, 0},    {IntMin, 1, 0},     {IntMax, -1, 0},  {IntMin, IntMax, -1},
      {IntMax, IntMin, IntMax},                {0, IntMin, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IntegerRemainder(row.dividend, row.divisor), row.expected) << row.dividend << " rem " << row.divisor;
  }
}

TEST(Arithmetic, Remainder) {
  struct Row {
    double a, b;
    int code;
    double value;  // compared bit for bit unless NaN
  };
  const Row rows[] = {
      {7.9, 2.5, 0, 1.0}, {-7.0, 3.0, 0, -1.0},
      {-7.0, 7.0, 0, 0.0},  // an integer remainder of zero is +0.0
      {9.0, -4.0, 0, 1.0}, {5.0, 0.5, 1, 0.0}, {5.0, -0.999, 1, 0.0}, {5.0, 0.0, 1, 0.0}, {5.0, -0.0, 1, 0.0},
      {NaN, 0.5, 1, 0.0},  // the divisor is tested first
      {Inf, 0.0, 1, 0.0}, {-2147483648.0, -1.0, 0, 0.0}, {-2147483648.5, -1.5, 0, 0.0}, {2147483647.9, 2.0, 0, 1.0},
      {1e10, 3.0, 0, 1.0}, {-1e10, 3.0, 0, -1.0},
      {-1e10, 5.0, 0, -0.0},  // beyond 32 bits: fmod of the truncated doubles
      {1e10 + 0.75, 7.5, 0, std::fmod(1e10, 7.0)}, {2147483648.0, -1.0, 0, 0.0}, {5.0, 1e10, 0, 5.0},
      {5.75, -1e10, 0, 5.0}, {5.0, Inf, 0, 5.0}, {-5.0, -Inf, 0, -5.0}, {1e300, 7.0, 0, std::fmod(1e300, 7.0)},
      {NaN, 3.0, 0, NaN}, {3.0, NaN, 0, NaN}, {Inf, 3.0, 0, NaN}, {-Inf, 3.0, 0, NaN}, {Inf, Inf, 0, NaN},
  };
  for (const Row& row : rows) {
    const exprcalc::Outcome outcome = Remainder(row.a, row.b);
    EXPECT_EQ(outcome.code, row.code) << row.a << " % " << row.b;
    if (std::isnan(row.value)) {
      EXPECT_TRUE(std::isnan(outcome.value)) << row.a << " % " << row.b << " gave " << outcome.value;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(outcome.value), std::bit_cast<std::uint64_t>(row.value))
          << row.a << " % " << row.b << " gave " << outcome.value;
    }
  }
}

}  // namespace
