// The calculator run as a user runs it: expressions as arguments, lines from
// standard input and files, statements feeding later lines, every error
// message and exit status, the d:m:s output and the option rules.
#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CalculatorProcess.h"
#include "exprcalc.h"

namespace calculatortest {
namespace {

constexpr int Success = 0;
constexpr int LineFailed = 1;
constexpr int UsageError = 2;
const std::string ByteOrderMark = "\xEF\xBB\xBF";

TEST(Calculator, EvaluatesArgumentsInOrder) {
  ExpectRuns({
      {"one expression", {"1+2*3"}, "", "7\n", "", Success},
      {"several, in order", {"2^3^2", "8/4/2", "1,234.5"}, "", "512\n1\n1234.5\n", "", Success},
      {"shortest round-trip form", {"0.1+0.2", "1/3"}, "", "0.30000000000000004\n0.3333333333333333\n", "", Success},
      {"plain notation, with a point from 2^53 on",
       {"1,000,000", "2^53-1", "2^53", "2^60", "0-2^60", "10^21", "0.000001", "10^(0-7)", "-0"}, "",
       "1000000\n9007199254740991\n9007199254740992.0\n1152921504606847000.0\n-1152921504606847000.0\n"
       "1000000000000000000000.0\n0.000001\n0.0000001\n-0\n",
       "", Success},
      {"d:m:s input", {"1:30:36", "12:30"}, "", "1.51\n12.5\n", "", Success},
      {"not-a-number and infinities", {"SQRT(0-4)", "2^1024", "0-2^1024"}, "", "nan\ninf\n-inf\n", "", Success},
      {"statement feeds a later expression", {"@RATE = 4", "2*SIN(RAD(30))+@RATE"}, "", "5\n", "", Success},
      {"statement after blanks", {"  @N = 2", "@N = @N + 1", "@N"}, "", "3\n", "", Success},
      {"text statement reads as 0, with a warning", {"@T = \"hello", "@T+1"}, "", "1\n",
       "exprcalc: argument 2, column 1: warning: " + std::string(exprcalc_finding_message(EXPRCALC_FINDING_TEXT_VARIABLE)) +
           "\n  @T+1\n  ^\n",
       Success},
      {"@ without = is an expression", {"@A = 2", "@A 5"}, "", "",
       Reported("argument 2, column 4", exprcalc_finding_message(EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND), "@A 5",
                {"to multiply, write @A*5"}),
       LineFailed},
      {"blank and comment arguments are skipped as in a file", {"", "  ", "# note", " \t# indented", "3"}, "",
       "3\n", "", Success},
  });
}

TEST(Calculator, ReadsNegativeNumbersAsExpressions) {
  ExpectRuns({
      {"minus and digit", {"-5+2"}, "", "-3\n", "", Success},
      {"minus and point", {"-.5"}, "", "-0.5\n", "", Success},
      {"minus and colon", {"-:30"}, "", "-0.5\n", "", Success},
      {"minus and parenthesis", {"-(2)"}, "", "-2\n", "", Success},
      {"after --, anything is an expression", {"--", "-PAI", "--dms"}, "", "-3.141592653589793\n",
       Reported("argument 2, column 2", exprcalc_finding_message(EXPRCALC_FINDING_SIGN_AFTER_OPERATOR), "--dms"),
       LineFailed},
      {"options after expressions", {"1.51", "--dms"}, "", "1:30:36\n", "", Success},
  });
}

TEST(Calculator, ReportsEveryErrorWithItsLine) {
  const std::string failedEvaluation = NotCarriedOut(EXPRCALC_REASON_EVALUATION) + ": ";
  ExpectRuns({
      {"division by zero", {"1", "1/0", "2"}, "", "1\n2\n",
       Reported("argument 2, column 2", Code(EXPRCALC_DIVISION_BY_ZERO), "1/0"), LineFailed},
      {"domain", {"LOG(0)"}, "", "", Reported("argument 1, column 1", Code(EXPRCALC_DOMAIN_ERROR), "LOG(0)"),
       LineFailed},
      {"negative logarithm", {"LOG10(0-1)"}, "", "",
       Reported("argument 1, column 1", Code(EXPRCALC_NEGATIVE_LOGARITHM), "LOG10(0-1)"), LineFailed},
      {"malformed", {"2*"}, "", "", Reported("argument 1, column 2", Code(EXPRCALC_MALFORMED), "2*"), LineFailed},
      {"statement not carried out, with the column of the failure", {"@A = 1/0"}, "", "",
       Reported("argument 1, column 7", failedEvaluation + Code(EXPRCALC_DIVISION_BY_ZERO), "@A = 1/0"), LineFailed},
      {"no such variable", {"@NOPE ="}, "", "",
       Reported("argument 1, column 1", NotCarriedOut(EXPRCALC_REASON_NOTHING_TO_REMOVE), "@NOPE ="), LineFailed},
      {"failed statement leaves the variable", {"@A = 2", "@A = 1/0", "@A"}, "", "2\n",
       Reported("argument 2, column 7", failedEvaluation + Code(EXPRCALC_DIVISION_BY_ZERO), "@A = 1/0"), LineFailed},
      {"the line shown as given, the column counted in it", {"  1/0  "}, "", "",
       Reported("argument 1, column 4", Code(EXPRCALC_DIVISION_BY_ZERO), "  1/0  "), LineFailed},
  });
}

TEST(Calculator, ReadsStandardInputAndFiles) {
  const std::string lines = "1+1\n\n   \n# a comment\n  \t# an indented comment\n@X = 3\r\n@X*2\r\n\r\n7/2";
  const std::string linesFile = WriteScratchFile("lines.txt", lines);
  const std::string failingFile = WriteScratchFile("failing.txt", "# first\n1\n\n1/0\n");
  const std::string definitions = WriteScratchFile("definitions.txt", "@BASE = 10\n");
  const std::string markedFile = WriteScratchFile("marked.txt", ByteOrderMark + "@X = 3\r\n@X*2\r\n");
  ExpectRuns({
      {"standard input", {}, lines, "2\n6\n3.5\n", "", Success},
      {"file", {"-f", linesFile}, "", "2\n6\n3.5\n", "", Success},
      {"--file=", {"--file=" + linesFile}, "", "2\n6\n3.5\n", "", Success},
      {"- is standard input", {"-f", "-"}, "2*2\n", "4\n", "", Success},
      {"files before arguments", {"@BASE*2", "-f", definitions}, "", "20\n", "", Success},
      {"arguments, not standard input", {"5"}, "6\n", "5\n", "", Success},
      {"stdin line numbers", {}, "1\n\n1/0\n", "1\n", Reported("<stdin>:3:2", Code(EXPRCALC_DIVISION_BY_ZERO), "1/0"),
       LineFailed},
      {"- alone is standard input", {"-"}, "2*2\n", "4\n", "", Success},
      {"- alone, before the arguments", {"5", "-"}, "2*2\n", "4\n5\n", "", Success},
      {"byte-order mark on standard input", {}, ByteOrderMark + "1+1\n2\n", "2\n2\n", "", Success},
      {"byte-order mark in a file", {"-f", markedFile}, "", "6\n", "", Success},
      {"byte-order mark on a comment line", {}, ByteOrderMark + "# note\n3\n", "3\n", "", Success},
      {"file line numbers", {"-f", failingFile}, "", "1\n",
       Reported(failingFile + ":4:2", Code(EXPRCALC_DIVISION_BY_ZERO), "1/0"), LineFailed},
  });
}

// A read that fails is reported as cat reports it, after the lines read before it ran.
TEST(Calculator, ReportsReadErrors) {
  struct Row {
    const char* name;
    std::optional<std::string> input;  // nullopt: standard input closed
    std::vector<std::string> arguments;
    std::string output;
    std::string errors;
  };
  const std::string directory = ScratchDirectory();
  const std::vector<Row> rows{
      {"standard input closed", std::nullopt, {}, "", "exprcalc: <stdin>: Bad file descriptor\n"},
      {"standard input closed, in a session", std::nullopt, {"-i"}, "", "exprcalc: <stdin>: Bad file descriptor\n"},
      {"a directory as standard input", directory, {}, "", "exprcalc: <stdin>: Is a directory\n"},
      {"a file whose reading fails, after another", directory, {"-f", WriteScratchFile("one.txt", "1\n"), "-f", "-"},
       "1\n", "exprcalc: <stdin>: Is a directory\n"},
      {"memory that cannot be read", std::nullopt, {"-f", "/proc/self/mem"}, "",
       "exprcalc: /proc/self/mem: Input/output error\n"},
  };
  for (const Row& row : rows) {
    const bool needsProc = !row.arguments.empty() && row.arguments.back().starts_with("/proc/");
    if (needsProc && access(row.arguments.back().c_str(), R_OK) != 0) continue;
    const Outcome outcome = RunCalculatorReading(row.input, row.arguments);
    EXPECT_EQ(outcome.output, row.output) << row.name;
    EXPECT_EQ(outcome.errors, row.errors) << row.name;
    EXPECT_EQ(outcome.exitStatus, LineFailed) << row.name;
  }
}

TEST(Calculator, RefusesABadCommandLineWithStatusTwo) {
  const std::string missing = ScratchDirectory() + "/no-such-file.txt";
  const std::string tryHelp = "Try 'exprcalc --help' for more information.\n";
  const std::string interactiveAlone = "exprcalc: option -i reads standard input: it takes no EXPR and no -f\n";
  ExpectRuns({
      {"unknown option", {"-x", "1"}, "", "", "exprcalc: unknown option '-x'\n" + tryHelp, UsageError},
      {"unknown long option", {"--frobnicate"}, "", "", "exprcalc: unknown option '--frobnicate'\n" + tryHelp,
       UsageError},
      {"a minus and a name the library reads is an expression", {"-PAI"}, "", "-3.141592653589793\n", "", Success},
      {"so is a minus before a function left open", {"-SIN(1"}, "", "",
       "exprcalc: argument 1, column 5: -SIN is not applied: its \"(\" is never closed\n  -SIN(1\n      ^\n",
       LineFailed},
      {"an option echoed escaped", {"--\x1b[2J"}, "", "", "exprcalc: unknown option '--\\x1B[2J'\n" + tryHelp,
       UsageError},
      {"-f without a name", {"-f"}, "", "", "exprcalc: option -f needs a file name\n" + tryHelp, UsageError},
      {"unreadable file, nothing evaluated", {"1", "-f", missing}, "", "",
       "exprcalc: cannot read '" + missing + "': No such file or directory\n" + tryHelp, UsageError},
      {"directory", {"-f", ScratchDirectory()}, "", "",
       "exprcalc: cannot read '" + ScratchDirectory() + "': Is a directory\n" + tryHelp, UsageError},
      {"-i with an expression", {"-i", "1"}, "2\n", "", interactiveAlone + tryHelp, UsageError},
      {"-i with -f", {"-f", "-", "--interactive"}, "2\n", "", interactiveAlone + tryHelp, UsageError},
      {"-i with -", {"-i", "-"}, "2\n", "", interactiveAlone + tryHelp, UsageError},
  });
}

TEST(Calculator, PrintsHelpAndVersion) {
  const Outcome help = RunCalculator({"--help"});
  EXPECT_EQ(help.exitStatus, Success);
  EXPECT_EQ(help.output.rfind("Usage: exprcalc", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("--dms"), std::string::npos);
  const Outcome version = RunCalculator({"--version"});
  EXPECT_EQ(version.exitStatus, Success);
  EXPECT_EQ(version.output.rfind(std::string("exprcalc ") + EXPRCALC_CLI_VERSION + " (", 0), 0u) << version.output;
}

TEST(Calculator, PrintsDegreesMinutesSeconds) {
  struct Row {
    const char* expression;
    const char* dms;
  };
  const std::vector<Row> rows{
      {"1.51", "1:30:36"},       {"0-1.51", "-1:30:36"},        {"0.5", "0:30:00"},
      {"12:30", "12:30:00"},     {"1:75", "2:15:00"},           {"359:59:59", "359:59:59"},
      {"0", "0:00:00"},          {"1:5:3", "1:05:03"},          {"1.5101", "1.0001:30:36"},
      {"SQRT(0-4)", "nan"},      {"2^1024", "inf"},
  };
  std::string input;
  std::string expected;
  for (const Row& row : rows) {
    input += std::string(row.expression) + "\n";
    expected += std::string(row.dms) + "\n";
  }
  const Outcome outcome = RunCalculator({"--dms"}, input);
  EXPECT_EQ(outcome.exitStatus, Success);
  std::istringstream printed(outcome.output);
  std::string line;
  for (const Row& row : rows) {
    std::getline(printed, line);
    EXPECT_EQ(line, row.dms) << row.expression;
  }
}

// Every d:m:s text the calculator prints reads back to the same double, or
// to its neighbour, through the expression reader itself.
TEST(Calculator, DegreesMinutesSecondsReadBack) {
  const std::vector<std::string> values{
      "1.51",          "12345.678",       "0.1234567",     "359.9999999",     "1/3",          "PAI",
      "0-PAI",         "0.000000123",     "0.00000000001", "1:00:01",         "123456789.123", "2^40/3",
      "1000000000000", "2^53",            "0.9999999999",  "DEG(1)",          "59.99999999999",  "7:59:60",
  };
  std::string input;
  for (const std::string& value : values) input += value + "\n";
  const Outcome decimal = RunCalculator({}, input);
  const Outcome dms = RunCalculator({"--dms"}, input);
  const Outcome readBack = RunCalculator({}, dms.output);
  ASSERT_EQ(decimal.exitStatus, Success) << decimal.errors;
  ASSERT_EQ(readBack.exitStatus, Success) << readBack.errors;

  std::istringstream expected(decimal.output), printed(dms.output), read(readBack.output);
  std::string expectedLine, printedLine, readLine;
  for (const std::string& value : values) {
    std::getline(expected, expectedLine);
    std::getline(printed, printedLine);
    std::getline(read, readLine);
    const double want = std::stod(expectedLine);
    const double got = std::stod(readLine);
    EXPECT_TRUE(got == want || std::nextafter(want, got) == got)
        << value << " printed as " << printedLine << " reads back as " << readLine << ", not " << expectedLine;
  }
}

TEST(Calculator, ReportsWriteErrors) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full on this machine";
  struct Row {
    const char* name;
    BrokenOutput target;
    std::vector<std::string> arguments;
    std::string input;
    std::string errors;
    int exitStatus;
  };
  const std::string full = "exprcalc: write error: No space left on device\n";
  const std::string closed = "exprcalc: write error: Bad file descriptor\n";
  const std::vector<Row> rows{
      {"arguments into /dev/full", BrokenOutput::Full, {"1", "2"}, "", full, LineFailed},
      {"standard input into /dev/full", BrokenOutput::Full, {}, "1\n2\n", full, LineFailed},
      {"a session into /dev/full", BrokenOutput::Full, {"-i"}, "1\n2\n", full, LineFailed},
      {"help into /dev/full", BrokenOutput::Full, {"--help"}, "", full, LineFailed},
      {"an error line, then the write error", BrokenOutput::Full, {"1/0", "2"}, "",
       Reported("argument 1, column 2", Code(EXPRCALC_DIVISION_BY_ZERO), "1/0") + full, LineFailed},
      {"nothing to write, nothing to report", BrokenOutput::Full, {"@A = 1"}, "", "", Success},
      {"standard output closed", BrokenOutput::Closed, {"1", "2"}, "", closed, LineFailed},
      {"a session with standard output closed", BrokenOutput::Closed, {"-i"}, "1\n", closed, LineFailed},
  };
  for (const Row& row : rows) {
    const Outcome outcome = RunCalculatorInto(row.target, row.arguments, row.input);
    EXPECT_EQ(outcome.errors, row.errors) << row.name;
    EXPECT_EQ(outcome.exitStatus, row.exitStatus) << row.name;
  }
}

// Values spread over every magnitude a double has, each written as a numeral
// the expression reader converts exactly (a decimal point makes it convert
// the numeral as a whole), so that the calculator starts from that very value.
std::vector<double> ValuesOfEveryMagnitude() {
  std::mt19937_64 random(20240601);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  std::vector<double> values{0.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, 9007199254740991.0,
                             9007199254740992.0, 9007199254740994.0, 1e21, 1e22, 123456789012345678.0};
  constexpr int ExponentStep = 7;
  for (int exponent = -1074; exponent <= 1023; exponent += ExponentStep) {
    const double value = std::ldexp(exponent < -1022 ? mantissa(random) - 1.0 : mantissa(random), exponent);
    values.push_back(value);
    values.push_back(-value);
    // Whole and hundredths of seconds, which --dms writes without and with a carried fraction.
    if (std::fabs(value) < 1e9) {
      values.push_back(std::nearbyint(value * 3600) / 3600);
      values.push_back(std::nearbyint(value * 360000) / 360000);
    }
  }
  return values;
}

std::string ExactNumeral(double value) {
  char buffer[400];
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, written.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

double Parsed(const std::string& text) {
  double value = std::numeric_limits<double>::quiet_NaN();
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool SameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// What the calculator printed for each value with arguments, and what it
// printed for each of those texts read back as an expression.
struct PrintedAndReadBack {
  std::vector<std::string> numerals;
  std::vector<std::string> printed;
  std::vector<std::string> readBack;
};

PrintedAndReadBack PrintAndReadBack(const std::vector<double>& values, const std::vector<std::string>& arguments) {
  PrintedAndReadBack result;
  std::string input;
  for (const double value : values) {
    result.numerals.push_back(ExactNumeral(value));
    input += result.numerals.back() + "\n";
  }
  const Outcome printed = RunCalculator(arguments, input);
  EXPECT_EQ(printed.exitStatus, Success) << printed.errors.substr(0, 500);
  const Outcome readBack = RunCalculator({}, printed.output);
  EXPECT_EQ(readBack.exitStatus, Success) << readBack.errors.substr(0, 500);
  result.printed = LinesOf(printed.output);
  result.readBack = LinesOf(readBack.output);
  result.printed.resize(values.size());
  result.readBack.resize(values.size());
  return result;
}

// Every printed value is a numeral, without an exponent, that the calculator
// reads back to the same double: printed again, it gives the same text.
TEST(Calculator, PrintsValuesThatReadBack) {
  const std::vector<double> values = ValuesOfEveryMagnitude();
  const PrintedAndReadBack run = PrintAndReadBack(values, {});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& text = run.printed[i];
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << run.numerals[i] << " printed as " << text;
    EXPECT_TRUE(SameBits(Parsed(text), values[i])) << run.numerals[i] << " printed as " << text;
    EXPECT_EQ(run.readBack[i], text) << run.numerals[i] << ": " << text << " reads back as " << run.readBack[i];
  }
}

// The d:m:s text of every value reads back to it or to its neighbour; from
// 2^53 degrees on, where no such text exists, the value prints in decimal.
TEST(Calculator, DegreesMinutesSecondsReadBackAtEveryMagnitude) {
  const std::vector<double> values = ValuesOfEveryMagnitude();
  const PrintedAndReadBack run = PrintAndReadBack(values, {"--dms"});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double want = values[i];
    const double got = Parsed(run.readBack[i]);
    EXPECT_TRUE(SameBits(got, want) || got == std::nextafter(want, got))
        << run.numerals[i] << " printed as " << run.printed[i] << " reads back as " << run.readBack[i];
    if (std::fabs(want) >= 9007199254740992.0) {
      EXPECT_EQ(run.printed[i].find(':'), std::string::npos) << run.numerals[i] << " printed as " << run.printed[i];
    }
  }
}

TEST(Calculator, ReportsOutOfMemory) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  // The evaluation's working buffers for a 32 MiB line need far more than
  // the 256 MiB of address space the child is given.
  constexpr std::size_t LineLength = std::size_t{32} << 20;
  constexpr unsigned long AddressSpace = 256ul << 20;
  std::string line(LineLength, ' ');
  line.back() = '1';
  const Outcome outcome = RunCalculator({}, line + "\n2\n", AddressSpace);
  EXPECT_EQ(outcome.exitStatus, LineFailed);
  EXPECT_EQ(outcome.output, "2\n");
  EXPECT_NE(outcome.errors.find(": " + Code(EXPRCALC_OUT_OF_MEMORY) + "\n"), std::string::npos)
      << outcome.errors.substr(0, 200);
}

}  // namespace
}  // namespace calculatortest
