// The grammar the two priority functions carry: grouping and binding of the
// operators, signs, parentheses (closed, unclosed, stray), texts that yield no
// token, very deep and very long texts, out-of-memory, and a decimal-comma
// locale that must change nothing.
#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "AllocationFaults.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::VariableTable;
namespace allocation = exprcalc::allocation;

constexpr int Refused = EXPRCALC_MALFORMED;

struct Row {
  std::string_view text;
  int code;
  double value;
};

void ExpectRow(const Row& row, const VariableTable& table) {
  double value = 9.0;
  const int code = exprcalc::Evaluate(row.text, table, value);
  EXPECT_EQ(code, row.code) << "text \"" << row.text << "\"";
  EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(row.value))
      << "text \"" << row.text << "\": " << value << " instead of " << row.value;
}

TEST(Parser, EdgeCases) {
  const Row rows[] = {
      {"", 0, 0.0}, {"   ", 0, 0.0}, {"#5", 0, 0.0}, {"=5", 0, 0.0}, {"1+2*3", 0, 7.0}, {"1-2-3", 0, -4.0},
      {"8/4/2", 0, 1.0}, {"2^3^2", 0, 512.0}, {"-2^2", 0, -4.0}, {"-(2^3)%5", 0, -3.0},
      {"SIN 2^3", 0, std::sin(8.0)}, {"SIN 2*3", 0, std::sin(2.0) * 3}, {"SIN(RAD(30))", 0, 0.49999999999999994},
      {"2*-3", Refused, 0.0}, {"2+-3", Refused, 0.0}, {"2^-1", Refused, 0.0}, {"--2", Refused, 0.0},
      {"SIN -1", Refused, 0.0}, {"2*(-3)", 0, -6.0}, {")", Refused, 0.0}, {"2)", Refused, 0.0},
      {"2+3)", Refused, 0.0}, {"2 3", Refused, 0.0}, {"(2)(3)", Refused, 0.0}, {"()", Refused, 0.0},
      {"(2+3", 0, 5.0}, {"2+(3", 0, 2.0}, {"2*(3+4", 0, 2.0}, {"(", 0, 0.0},
      {"(1/0)+2", EXPRCALC_DIVISION_BY_ZERO, 0.0},
  };
  VariableTable table;
  for (const Row& row : rows) ExpectRow(row, table);
}

TEST(Parser, GroupingAndBinding) {
  const Row rows[] = {
      {"2-3+4", 0, 3.0}, {"2*3%4", 0, 2.0}, {"2%3*4", 0, 8.0}, {"7+5%3", 0, 9.0}, {"100/10*2", 0, 20.0},
      {"2*3^2", 0, 18.0}, {"2^3*2", 0, 16.0}, {"(2^3)^2", 0, 64.0}, {"-2*3", 0, -6.0}, {"-7%3", 0, -1.0},
      {"+5", 0, 5.0}, {"-5", 0, -5.0}, {"-(-3)", 0, 3.0}, {"+(+3)", 0, 3.0}, {"1-(-2)", 0, 3.0}, {"-3+5", 0, 2.0},
      {"SQRT 16^0.5", 0, 2.0}, {"SQRT SQRT 16", 0, 2.0}, {"ABS(0-3)*2", 0, 6.0}, {"SIN(0)^2", 0, 0.0},
      {"2*SIN(RAD(30))+1", 0, 2.0}, {"-SIN(RAD(30))", 0, -0.49999999999999994}, {"((((2))))", 0, 2.0},
      {"(1+2)*(3+4)", 0, 21.0}, {"((1+2)*3", 0, 9.0}, {"1+2=9", 0, 3.0}, {"1+2\r\n*7", 0, 3.0},
      {"4 * 2 # comment", 0, 8.0}, {"2 + # comment", Refused, 0.0}, {"3 * @NOPE + 1", Refused, 0.0},
      {"5 + 1.2.3", Refused, 0.0}, {"1.2.3", 0, 0.0}, {"@NOPE", 0, 0.0},
      {"1e5", 0, 1.0},  // "1", then the name E5, which is no variable: the scan ends there
      {"2X", 0, 2.0}, {"SIN", Refused, 0.0}, {"2+", Refused, 0.0}, {"*2", Refused, 0.0}, {"2**3", Refused, 0.0},
      {"(2+)", Refused, 0.0}, {"(*)", Refused, 0.0}, {"SIN()", Refused, 0.0}, {"ABS-3", Refused, 0.0},
      {"2(3)", Refused, 0.0}, {"(2)3", Refused, 0.0}, {"PAI PAI", Refused, 0.0}, {"1+2)*3", Refused, 0.0},
      {"(1))", Refused, 0.0}, {"(1/0", EXPRCALC_DIVISION_BY_ZERO, 0.0}, {"2+(1/0", EXPRCALC_DIVISION_BY_ZERO, 0.0},
      {"(0-5)%0+LOG(0)", EXPRCALC_DIVISION_BY_ZERO, 0.0}, {"LOG(0)+1/0", EXPRCALC_DOMAIN_ERROR, 0.0},
      {"7 * (2 3", Refused, 0.0},
  };
  VariableTable table;
  for (const Row& row : rows) ExpectRow(row, table);
}

TEST(Parser, VariablesAreReadAtTokenizing) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("@RATE", 4.0), 1);
  ASSERT_EQ(table.EnterString("@NOTE", "123456789"), 2);
  ASSERT_EQ(table.EnterDouble("B", 7.0), 3);
  const Row rows[] = {
      {"2*SIN(RAD(30))+@RATE", 0, 5.0}, {"@rate^2", 0, 16.0}, {"@NOTE+1", 0, 1.0}, {"B*@RATE", 0, 28.0},
      {"RATE", 0, 0.0}, {"@RATE @RATE", Refused, 0.0},
  };
  for (const Row& row : rows) ExpectRow(row, table);
}

TEST(Parser, NullAndEmptyTextsThroughTheExport) {
  for (const char* text : {static_cast<const char*>(nullptr), "", " ", "\t\t"}) {
    double value = 9.0;
    EXPECT_EQ(ParseString(text, &value), EXPRCALC_OK);
    EXPECT_EQ(value, 0.0);
  }
}

// Very deep and very long texts: no recursion, no stack that can run out.
TEST(Parser, MillionDeepNestingAndMillionOperatorChains) {
  constexpr std::size_t Million = 1000000;
  VariableTable table;
  struct Case {
    std::string name;
    std::string text;
    int code;
    double value;
  };
  const Case cases[] = {
      {"unclosed parentheses", std::string(Million, '('), 0, 0.0},
      {"closed parentheses", std::string(Million, '(') + "7" + std::string(Million, ')'), 0, 7.0},
      {"one closing parenthesis too many", std::string(Million, '(') + "7" + std::string(Million + 1, ')'), Refused, 0.0},
      {"left-grouping chain", [] {
         std::string text = "1";
         for (std::size_t i = 0; i < Million; ++i) text += "+1";
         return text;
       }(), 0, 1000001.0},
      {"right-grouping chain", [] {
         std::string text = "1";
         for (std::size_t i = 0; i < Million; ++i) text += "^1";
         return text;
       }(), 0, 1.0},
  };
  for (const Case& c : cases) {
    double value = 9.0;
    EXPECT_EQ(exprcalc::Evaluate(c.text, table, value), c.code) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST(Parser, OutOfMemoryGives257AndZero) {
  VariableTable table;
  std::string text;
  for (int i = 0; i < 200; ++i) text += "(1+";
  text += std::string(330, '2') + ",5.25";
  double value = 0.0;
  ASSERT_EQ(exprcalc::Evaluate(text, table, value), 0);
  const double expected = value;
  const std::size_t liveBefore = allocation::LiveBlockCount();
  const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
    value = 9.0;
    const int code = failing.Run([&] { return exprcalc::Evaluate(text, table, value); });
    const std::size_t succeeding = failing.Succeeding();
    EXPECT_EQ(allocation::LiveBlockCount(), liveBefore) << "failing allocation " << succeeding;
    EXPECT_EQ(code, failing.Injected() ? EXPRCALC_OUT_OF_MEMORY : 0) << "failing allocation " << succeeding;
    EXPECT_EQ(value, failing.Injected() ? 0.0 : expected) << "failing allocation " << succeeding;
  }, false, 16);
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, 16u);
}

// A host running under a locale whose decimal point is a comma gets the same
// results: "." stays the decimal point and "," the grouping separator.
class DecimalCommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    char directory[] = "/tmp/exprcalc-locale-XXXXXX";
    if (mkdtemp(directory) == nullptr) GTEST_SKIP() << "cannot make a directory for the locale";
    localeDirectory = directory;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + localeDirectory + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      GTEST_SKIP() << "localedef could not make a de_DE.UTF-8 locale; the decimal-comma test did not run";
    }
    setenv("LOCPATH", localeDirectory.c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      GTEST_SKIP() << "setlocale refused de_DE.UTF-8; the decimal-comma test did not run";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    std::error_code ignored;
    if (!localeDirectory.empty()) std::filesystem::remove_all(localeDirectory, ignored);
  }
  std::string localeDirectory;
};

TEST_F(DecimalCommaLocale, ResultsDoNotChange) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("@X", 0.5), 1);
  const Row rows[] = {
      {"1.5", 0, 1.5}, {"0.1+0.2", 0, 0.1 + 0.2}, {"1,5", 0, 15.0}, {"1,234.5", 0, 1234.5}, {".25*4", 0, 1.0},
      {"3.14159265358979", 0, 3.14159265358979}, {"1:30", 0, 1.5}, {"@X*3", 0, 1.5}, {"1.5,3", 0, 0.0},
  };
  for (const Row& row : rows) ExpectRow(row, table);
  double value = 0.0;
  EXPECT_EQ(ParseString("2.5*2", &value), EXPRCALC_OK);
  EXPECT_EQ(value, 5.0);
}

}  // namespace
