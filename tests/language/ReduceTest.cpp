// What each reduction computes, bit for bit: the functions and their domain
// tests at their exact boundaries, the infix operators with the division and
// power tests, the integer remainder "%" with its edges, signs, NaN and
// infinities passing through.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::VariableTable;

constexpr double Pi = 3.141592653589793;
constexpr double Threshold = 5e-14;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

struct Row {
  std::string text;
  int code;
  double value;  // compared bit for bit; a NaN row wants any NaN
};

// The shortest decimal text that reads back as exactly this double.
std::string Decimal(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

// An expression that yields value: a literal, negated by "0-" when negative.
std::string Literal(double value) { return value < 0 ? "(0-" + Decimal(-value) + ")" : Decimal(value); }

void ExpectRows(const std::vector<Row>& rows) {
  VariableTable table;
  for (const Row& row : rows) {
    double value = 9.0;
    const int code = exprcalc::Evaluate(row.text, table, value);
    EXPECT_EQ(code, row.code) << "text \"" << row.text << "\"";
    if (std::isnan(row.value)) {
      EXPECT_TRUE(std::isnan(value)) << "text \"" << row.text << "\" gave " << value;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(row.value))
          << "text \"" << row.text << "\": " << value << " instead of " << row.value;
    }
  }
}

TEST(Reduce, EdgeCases) {
  ExpectRows({
      {"LOG(0)", 2, 0.0}, {"LOG(0-1)", 3, 0.0}, {"LOG(0.00000000000004)", 2, 0.0},
      {"LOG(100)", 0, 4.605170185988092}, {"LOG10(100)", 0, 2.0}, {"1/0", 1, 0.0}, {"1/0.00000000000004", 1, 0.0},
      {"1/0.0001", 0, 10000.0}, {"5%0.5", 1, 0.0}, {"7.9%2.5", 0, 1.0}, {"(0-7)%3", 0, -1.0}, {"9%(0-4)", 0, 1.0},
      {"2%3%2", 0, 0.0}, {"0^(0-1)", 2, 0.0}, {"0^0", 0, 1.0}, {"2^(0-1)", 0, 0.5},
      {"ATAN(2)", 0, 1.1071487177940904}, {"ATAN(1)", 0, 0.7853981633974483}, {"ACOS(1)", 0, 0.0},
      {"ACOS(1.5)", 2, 0.0}, {"ASIN(0-1)", 0, -1.5707963267948966}, {"SQRT(0-4)", 0, NaN}, {"SQR(16)", 0, 4.0},
      {"DEG(PAI)", 0, 180.0}, {"RAD(180)", 0, Pi}, {"DEG(RAD(45))", 0, 45.0}, {"ABS(0-3)", 0, 3.0}, {"+5", 0, 5.0},
      {"-5", 0, -5.0}, {"-(-3)", 0, 3.0}, {"EXP(1)", 0, 2.718281828459045}, {"COS(0)", 0, 1.0}, {"TAN(0)", 0, 0.0},
  });
}

TEST(Reduce, DomainTestsAtTheirExactBoundaries) {
  const double belowThreshold = std::nextafter(Threshold, 0.0);
  const double aboveOne = std::nextafter(1.0, 2.0);
  ExpectRows({
      {"1/" + Literal(Threshold), 0, 1.0 / Threshold}, {"1/" + Literal(-Threshold), 0, 1.0 / -Threshold},
      {"1/" + Literal(belowThreshold), 1, 0.0}, {"1/" + Literal(-belowThreshold), 1, 0.0},
      {"LOG(" + Literal(Threshold) + ")", 0, std::log(Threshold)},
      {"LOG10(" + Literal(Threshold) + ")", 0, std::log10(Threshold)},
      {"LOG(" + Literal(belowThreshold) + ")", 2, 0.0}, {"LOG10(" + Literal(belowThreshold) + ")", 2, 0.0},
      // The magnitude is tested before the sign.
      {"LOG(" + Literal(-belowThreshold) + ")", 2, 0.0}, {"LOG10(" + Literal(-belowThreshold) + ")", 2, 0.0},
      {"LOG(" + Literal(-Threshold) + ")", 3, 0.0}, {"LOG10(0-100)", 3, 0.0}, {"LOG(-0)", 2, 0.0},
      {"ACOS(1)", 0, std::acos(1.0)}, {"ACOS(0-1)", 0, std::acos(-1.0)}, {"ASIN(1)", 0, std::asin(1.0)},
      {"ACOS(" + Literal(aboveOne) + ")", 2, 0.0}, {"ASIN(" + Literal(aboveOne) + ")", 2, 0.0},
      {"ASIN(" + Literal(-aboveOne) + ")", 2, 0.0}, {"ATAN(" + Literal(aboveOne) + ")", 0, std::atan(aboveOne)},
      {"ATAN(0-2)", 0, -1.1071487177940904}, {"ATAN(1000000)", 0, std::atan(1e6)}, {"(-0)^(0-1)", 2, 0.0},
      {"0^(0-0.5)", 2, 0.0}, {"0^(-0)", 0, 1.0}, {"(-0)^0", 0, 1.0}, {"0^2", 0, 0.0}, {"(0-8)^(1/3)", 0, NaN},
      {"(0-8)^3", 0, -512.0}, {"SQRT(-0)", 0, -0.0},
  });
}

TEST(Reduce, FunctionsGiveTheStandardFunctionsBits) {
  const double arguments[] = {0.1, 0.5, 0.7, 1.0, 2.0, 3.0, 10.0, 123.456, 1e-5};
  std::vector<Row> rows;
  for (double y : arguments) {
    const std::string arg = "(" + Decimal(y) + ")";
    rows.push_back({"SIN" + arg, 0, std::sin(y)});
    rows.push_back({"COS" + arg, 0, std::cos(y)});
    rows.push_back({"TAN" + arg, 0, std::tan(y)});
    rows.push_back({"EXP" + arg, 0, std::exp(y)});
    rows.push_back({"LOG" + arg, 0, std::log(y)});
    rows.push_back({"LOG10" + arg, 0, std::log10(y)});
    rows.push_back({"SQRT" + arg, 0, std::sqrt(y)});
    rows.push_back({"SQR" + arg, 0, std::sqrt(y)});
    rows.push_back({"ABS(0-" + Decimal(y) + ")", 0, y});
    rows.push_back({"ATAN" + arg, 0, std::atan(y)});
    rows.push_back({"2^" + arg, 0, std::pow(2.0, y)});
    rows.push_back({Decimal(y) + "^3", 0, std::pow(y, 3.0)});
    if (y <= 1.0) {
      rows.push_back({"ACOS" + arg, 0, std::acos(y)});
      rows.push_back({"ASIN" + arg, 0, std::asin(y)});
    }
  }
  ExpectRows(rows);
}

// DEG is (180 * y) / pi and RAD is (pi * y) / 180, in that order: the other
// orders round differently for some arguments, and those must not be taken.
TEST(Reduce, DegreeAndRadianConversionsKeepTheirOrder) {
  std::vector<Row> rows;
  int degOrderMatters = 0, radOrderMatters = 0;
  for (int i = 1; i <= 200; ++i) {
    const double y = i / 7.0;
    const std::string text = Decimal(y);
    const double deg = (180.0 * y) / Pi;
    const double rad = (Pi * y) / 180.0;
    if (deg != y * (180.0 / Pi) || deg != 180.0 * (y / Pi)) ++degOrderMatters;
    if (rad != y * (Pi / 180.0) || rad != Pi * (y / 180.0)) ++radOrderMatters;
    rows.push_back({"DEG(" + text + ")", 0, deg});
    rows.push_back({"RAD(" + text + ")", 0, rad});
  }
  ASSERT_GT(degOrderMatters, 0);
  ASSERT_GT(radOrderMatters, 0);
  ExpectRows(rows);
}

TEST(Reduce, InfixOperators) {
  ExpectRows({
      {"0.1+0.2", 0, 0.1 + 0.2}, {"0.3-0.1", 0, 0.3 - 0.1}, {"0.1*3", 0, 0.1 * 3}, {"1/3", 0, 1.0 / 3},
      {"2/0.0001", 0, 2 / 0.0001}, {"0/5", 0, 0.0}, {"1-1", 0, 0.0}, {"-0", 0, -0.0}, {"+(-0)", 0, -0.0},
      {"0-0", 0, 0.0}, {"-(0-0)", 0, -0.0}, {"2^0.5", 0, std::pow(2.0, 0.5)}, {"10^400", 0, Inf},
      {"(0-10)^401", 0, -Inf}, {"10^(0-400)", 0, 0.0}, {"2^3^2", 0, 512.0},
  });
}

TEST(Reduce, RemainderOfTruncatedOperands) {
  ExpectRows({
      {"7%3", 0, 1.0}, {"7.9%3.9", 0, 1.0}, {"(0-7.9)%3.9", 0, -1.0}, {"7%(0-3)", 0, 1.0}, {"(0-7)%(0-3)", 0, -1.0},
      {"(0-7)%7", 0, 0.0},  // an integer remainder of zero is +0.0
      {"5%1", 0, 0.0}, {"5%0.999", 1, 0.0}, {"5%(0-0.999)", 1, 0.0}, {"5%0", 1, 0.0}, {"0%0", 1, 0.0},
      {"SQRT(0-1)%0.5", 1, 0.0}, {"EXP(1000)%0", 1, 0.0}, {"2147483647%2", 0, 1.0}, {"2147483647.9%10", 0, 7.0},
      {"(0-2147483648)%(0-1)", 0, 0.0}, {"(0-2147483648.9)%(0-1.9)", 0, 0.0}, {"(0-2147483648)%3", 0, -2.0},
      {"2147483648%(0-1)", 0, 0.0}, {"10000000000%3", 0, 1.0}, {"10,000,000,000%3", 0, 1.0},
      {"(0-10000000000)%3", 0, -1.0}, {"(0-10000000000)%5", 0, std::fmod(-1e10, 5.0)},
      {"10000000000.75%7.5", 0, std::fmod(1e10, 7.0)}, {"5%10000000000", 0, 5.0}, {"5.9%(0-10000000000)", 0, 5.0},
      {"5%EXP(1000)", 0, 5.0}, {"10^300%7", 0, std::fmod(std::pow(10.0, 300.0), 7.0)}, {"SQRT(0-1)%3", 0, NaN},
      {"3%SQRT(0-1)", 0, NaN}, {"EXP(1000)%3", 0, NaN}, {"(0-EXP(1000))%3", 0, NaN},
      {"EXP(1000)%EXP(1000)", 0, NaN},
  });
}

TEST(Reduce, NaNAndInfinitiesPassThroughWithCodeZero) {
  ExpectRows({
      {"SQRT(0-1)+1", 0, NaN}, {"1/SQRT(0-1)", 0, NaN}, {"LOG(SQRT(0-1))", 0, NaN}, {"ACOS(SQRT(0-1))", 0, NaN},
      {"ATAN(SQRT(0-1))", 0, NaN}, {"SQRT(0-1)^(0-1)", 0, NaN}, {"0^SQRT(0-1)", 0, NaN}, {"EXP(1000)", 0, Inf},
      {"1/EXP(1000)", 0, 0.0}, {"LOG(EXP(1000))", 0, Inf}, {"LOG(0-EXP(1000))", 3, 0.0},
      {"ACOS(EXP(1000))", 2, 0.0}, {"ATAN(EXP(1000))", 0, std::atan(Inf)}, {"EXP(1000)-EXP(1000)", 0, NaN},
      {"SIN(EXP(1000))", 0, NaN},
  });
}

TEST(Reduce, FailuresGiveZeroThroughTheExport) {
  const char* texts[] = {"1/0", "LOG(0)", "LOG(0-1)", "2 3", "0^(0-1)", "ACOS(2)"};
  const int codes[] = {1, 2, 3, EXPRCALC_MALFORMED, 2, 2};
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    double value = 9.0;
    EXPECT_EQ(ParseString(texts[i], &value), codes[i]) << texts[i];
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), 0u) << texts[i];
  }
}

}  // namespace
