// Expressions over a range: every cell of a table against the library's own
// evaluation of that row, the rules of the rows and of the arguments, a
// million rows in little memory, and plots as text and as SVG.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CalculatorProcess.h"
#include "exprcalc.h"

namespace calculatortest {
namespace {

constexpr int Success = 0;
constexpr int Failed = 1;
constexpr int UsageError = 2;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

std::size_t CodePoints(const std::string& line);

double ReadBack(const std::string& text) {
  if (text == "nan") return NAN;
  if (text == "inf" || text == "-inf") return text[0] == '-' ? -INFINITY : INFINITY;
  double value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_TRUE(read.ec == std::errc() && read.ptr == text.data() + text.size()) << text;
  return value;
}

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

// Each row is FROM + i*STEP, and each cell what ParseString gives for that row:
// its value read back bit for bit, or its code's message.
TEST(CalculatorRange, EveryCellIsWhatTheLibraryGivesForItsRow) {
  const std::vector<std::string> expressions{"1/@X",     "LOG(@X)",         "ASIN(@X*2)", "@X^0.5",
                                             "0.1*@X+0.2", "SIN(@X)*10^300", "@X%0.3",     "(@X*1000)^100"};
  std::vector<std::string> arguments{"--table", "@X", "-1", "1", "0.1"};
  arguments.insert(arguments.end(), expressions.begin(), expressions.end());
  const Outcome outcome = RunCalculator(arguments);
  EXPECT_EQ(outcome.exitStatus, Failed);
  EXPECT_EQ(outcome.errors, "");
  const std::vector<std::string> lines = Split(outcome.output, '\n');
  ASSERT_EQ(lines.size(), 22u) << outcome.output;
  std::vector<std::string> header{"@X"};
  header.insert(header.end(), expressions.begin(), expressions.end());
  EXPECT_EQ(Split(lines[0], '\t'), header);
  for (std::size_t row = 0; row + 1 < lines.size(); ++row) {
    const std::vector<std::string> cells = Split(lines[row + 1], '\t');
    ASSERT_EQ(cells.size(), expressions.size() + 1) << lines[row + 1];
    const double x = ReadBack(cells[0]);
    EXPECT_TRUE(SameBits(x, row == 20 ? 1.0 : -1 + static_cast<double>(row) * 0.1)) << lines[row + 1];
    EnterVarDouble("@X", x);
    for (std::size_t k = 0; k < expressions.size(); ++k) {
      double value = 0;
      const int code = ParseString(expressions[k].c_str(), &value);
      if (code == EXPRCALC_OK) {
        EXPECT_TRUE(SameBits(ReadBack(cells[k + 1]), value)) << expressions[k] << " at " << cells[0];
      } else {
        EXPECT_EQ(cells[k + 1], Code(code)) << expressions[k] << " at " << cells[0];
      }
    }
  }
}

TEST(CalculatorRange, PrintsTablesAndReportsTheirArguments) {
  const std::string zero = Code(EXPRCALC_DIVISION_BY_ZERO);
  ExpectRuns({
      {"rows", {"--table", "@X", "0", "1", "0.5", "@X*2"}, "", "@X\t@X*2\n0\t0\n0.5\t1\n1\t2\n", "", Success},
      {"a failed row", {"--table", "@X", "0", "2", "1", "1/(@X-1)"}, "", "@X\t1/(@X-1)\n0\t-1\n1\t" + zero + "\n2\t1\n",
       "", Failed},
      {"TO on the grid to within rounding", {"--table", "@X", "0", "0.3", "0.1", "@X"}, "",
       "@X\t@X\n0\t0\n0.1\t0.1\n0.2\t0.2\n0.3\t0.3\n", "", Success},
      {"TO off the grid, rows from FROM", {"--table", "@X", "0", "1", "0.3", "0"}, "",
       "@X\t0\n0\t0\n0.3\t0\n0.6\t0\n0.8999999999999999\t0\n", "", Success},
      {"downwards, arguments are expressions", {"--table", "@N", "2/2", "-1", "0-1/2", "@N"}, "",
       "@N\t@N\n1\t1\n0.5\t0.5\n0\t0\n-0.5\t-0.5\n-1\t-1\n", "", Success},
      {"CSV quotes what needs it", {"--csv", "--table", "@X", "0", "1", "1", "1,000*@X", "1/@X"}, "",
       "@X,\"1,000*@X\",1/@X\r\n0,0,\"" + zero + "\"\r\n1,1000,1\r\n", "", Failed},
      {"a step of 0", {"--table", "@X", "0", "1", "0", "@X"}, "", "",
       Reported("--table STEP, column 1", "STEP is 0, so the rows never reach TO", "0"), Failed},
      {"a step away from TO", {"--table", "@X", "0", "1", "-1", "@X"}, "", "",
       Reported("--table STEP, column 1", "STEP goes away from TO", "-1"), Failed},
      {"an argument that fails", {"--table", "@X", "0", "1/0", "1", "@X"}, "", "",
       Reported("--table TO, column 2", zero, "1/0"), Failed},
      {"an expression not read to its end", {"--table", "@X", "0", "1", "1", "@X", "@X+@Y"}, "", "",
       Reported("--table EXPR 2, column 4", Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE), "@X+@Y"), Failed},
      {"too few arguments", {"--table", "@X", "0", "1"}, "", "",
       "exprcalc: option --table needs NAME FROM TO STEP\nTry 'exprcalc --help' for more information.\n",
       UsageError},
      {"no expression", {"--plot", "@X", "0", "1"}, "", "",
       "exprcalc: option --plot needs an EXPR\nTry 'exprcalc --help' for more information.\n", UsageError},
      {"--csv without a table", {"--csv", "1"}, "", "",
       "exprcalc: option --csv goes with --table\nTry 'exprcalc --help' for more information.\n", UsageError},
  });
}

// Ranges at the edges of the doubles: rows counted without overflow, one row
// where FROM is TO, and a refusal that says how many rows there would be.
TEST(CalculatorRange, CountsRowsOfAnyRangeAndRefusesTooManyForTheRealReason) {
  const std::string e308 = "1" + std::string(308, '0') + ".0";
  const auto tooMany = [](const std::string& rows, const std::string& limit) {
    return Reported("--table STEP, column 1", "STEP is too small: the table would have " + rows +
                                                  " rows, more than the limit of " + limit + " (--rows N raises it)",
                    "1");
  };
  ExpectRuns({
      {"a span beyond the largest double", {"--table", "@X", "0-10^308", "10^308", "10^308", "@X"}, "",
       "@X\t@X\n-" + e308 + "\t-" + e308 + "\n0\t0\n" + e308 + "\t" + e308 + "\n", "", Success},
      {"FROM is TO, with a STEP of 0", {"--table", "@X", "1", "1", "0", "@X"}, "", "@X\t@X\n1\t1\n", "", Success},
      {"FROM is TO, with a STEP away", {"--table", "@X", "2", "2", "0-1", "@X"}, "", "@X\t@X\n2\t2\n", "", Success},
      {"a table that cannot finish", {"--table", "@X", "0", "10^15", "1", "@X"}, "", "",
       tooMany("1000000000000001", "10000000"), Failed},
      {"beyond 10^18 rows", {"--table", "@X", "0", "10^300", "1", "@X"}, "", "", tooMany("more than 10^18", "10000000"),
       Failed},
      {"a limit given", {"--rows", "3", "--table", "@X", "1", "4", "1", "@X"}, "", "", tooMany("4", "3"), Failed},
      {"a limit that fits", {"--table", "@X", "1", "3", "1", "--rows=3", "@X"}, "", "@X\t@X\n1\t1\n2\t2\n3\t3\n", "",
       Success},
      {"a limit of 0", {"--rows", "0", "--table", "@X", "1", "4", "1", "@X"}, "", "",
       "exprcalc: option --rows takes a whole number of rows from 1 to 9007199254740992, not '0'\n"
       "Try 'exprcalc --help' for more information.\n",
       UsageError},
      {"a limit for a plot", {"--rows", "9", "--plot", "@X", "1", "4", "@X"}, "", "",
       "exprcalc: option --rows goes with --table\nTry 'exprcalc --help' for more information.\n", UsageError},
  });
}

bool HasNonNumberCoordinate(const std::string& svg) {
  for (const std::string attribute : {" x=\"", " y=\"", " x1=\"", " y1=\"", " x2=\"", " y2=\"", " cx=\"", " cy=\"",
                                      " points=\"", " height=\""}) {
    for (std::size_t at = svg.find(attribute); at != std::string::npos; at = svg.find(attribute, at + 1)) {
      const std::size_t begin = at + attribute.size();
      if (svg.substr(begin, svg.find('"', begin) - begin).find_first_not_of("0123456789.,- %") != std::string::npos) {
        return true;
      }
    }
  }
  return false;
}

// Each range that once crashed the calculator or drew what could not be
// read: a plot on the terminal within its 80 columns, an SVG picture whose
// every coordinate is a number and whose tick labels stay short.
TEST(CalculatorRange, PlotsEveryFiniteAndInfiniteValue) {
  struct Case {
    const char* name;
    std::vector<std::string> range;  // FROM TO EXPR...
    std::string tickLabel;           // one the value or x axis must show
  };
  const std::vector<Case> cases{
      {"values whose round axis overflows", {"0", "1", "1.7*10^308*@X"}, "1.5e308"},
      {"values up to the largest double and beyond", {"0", "1", "@X*10^300", "10^308*@X*10"}, "1e308"},
      {"a range of 10^-300", {"0", "10^(0-300)", "@X"}, "2e-301"},
      {"a range below the smallest normal double", {"0", "10^(0-320)", "@X"}, "1e-320"},
      {"a span beyond the largest double", {"0-10^308", "10^308", "@X"}, "-5e307"},
      {"a constant at the largest double", {"0", "1", "1.7976931348623157*10^308"}, "1.75e308"},
      {"nothing finite", {"0", "1", "1/0*@X", "LOG(0-1-@X)"}, "-1"},
      {"a few units in the last place", {"1", "1+10^(0-15)", "@X"}, "1"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments{"--plot", "@X"};
    arguments.insert(arguments.end(), c.range.begin(), c.range.end());
    const Outcome terminal = RunCalculator(arguments);
    EXPECT_EQ(terminal.exitStatus, Success) << c.name << ": " << terminal.errors;
    for (const std::string& line : Split(terminal.output, '\n')) EXPECT_LE(CodePoints(line), 80u) << c.name;
    EXPECT_NE(terminal.output.find(c.tickLabel), std::string::npos) << c.name << ":\n" << terminal.output;
    arguments.insert(arguments.end(), {"-o", "-"});
    const Outcome picture = RunCalculator(arguments);
    EXPECT_EQ(picture.exitStatus, Success) << c.name << ": " << picture.errors;
    EXPECT_EQ(picture.output.find("<?xml"), 0u) << c.name;
    EXPECT_FALSE(HasNonNumberCoordinate(picture.output)) << c.name << ":\n" << picture.output;
    EXPECT_EQ(picture.output.find(">" + std::string(40, '0')), std::string::npos) << c.name << ": a long label";
  }
}

// The picture goes where -o says, and only as what its name promises.
TEST(CalculatorRange, WritesPicturesOnlyToSvgNamesOrStandardOutput) {
  const std::string refused =
      "exprcalc: option -o writes an SVG picture: give a FILE ending in .svg, or - for standard output\n"
      "Try 'exprcalc --help' for more information.\n";
  for (const char* name : {"plot.png", "plot", ".svg", "plot.svg.txt"}) {
    const Outcome outcome = RunCalculator({"--plot", "@X", "0", "1", "@X", "-o", ScratchDirectory() + "/" + name});
    EXPECT_EQ(outcome.exitStatus, UsageError) << name;
    EXPECT_EQ(outcome.errors, refused) << name;
    EXPECT_FALSE(std::filesystem::exists(ScratchDirectory() + "/" + name)) << name;
  }
  const Outcome upper = RunCalculator({"--plot", "@X", "0", "1", "@X", "-o", ScratchDirectory() + "/PLOT.SVG"});
  EXPECT_EQ(upper.exitStatus, Success) << upper.errors;
  const Outcome standard = RunCalculator({"--plot", "@X", "0", "1", "@X", "--output=-"});
  EXPECT_EQ(standard.exitStatus, Success) << standard.errors;
  EXPECT_EQ(standard.output.substr(standard.output.size() - 7), "</svg>\n");
  EXPECT_FALSE(std::filesystem::exists("-"));
}

// A long legend: each line cut with "..." to the picture's width, the gap's
// reason on a line of its own, and the legend below the axis title.
TEST(CalculatorRange, KeepsALongLegendInsideThePicture) {
  std::string expression = "1/@X";
  for (int i = 0; i < 60; ++i) expression += "+@X";
  const Outcome outcome = RunCalculator({"--plot", "@X", "0-1", "1", expression, "1/@X", "-o", "-"});
  ASSERT_EQ(outcome.exitStatus, Success) << outcome.errors;
  const std::string& svg = outcome.output;
  double axisTitle = 0;
  std::vector<double> legend;
  for (std::size_t at = svg.find("<text x=\""); at != std::string::npos; at = svg.find("<text x=\"", at + 1)) {
    const double x = std::atof(svg.c_str() + at + 9);
    const double y = std::atof(svg.c_str() + svg.find(" y=\"", at) + 4);
    const std::string text = svg.substr(svg.find('>', at) + 1, svg.find("</text>", at) - svg.find('>', at) - 1);
    if (text == "@X") axisTitle = y;
    if (svg.compare(svg.find("text-anchor", at), 19, "text-anchor=\"start\"") == 0) {
      legend.push_back(y);
      EXPECT_LE(text.size(), 100u) << text;
      EXPECT_GE(x, 80.0) << text;
    }
  }
  // The sum cut short and why it has a gap on a line of its own; 1/@X with its gap on one line.
  ASSERT_EQ(legend.size(), 3u) << svg;
  EXPECT_GE(legend.front() - axisTitle, 20.0) << "the legend runs into the axis title";
  EXPECT_NE(svg.find("...</text>"), std::string::npos) << svg;
}

TEST(CalculatorRange, StreamsAMillionRowsInLittleMemory) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  // Holding the rows would take more than the whole address space given.
  constexpr unsigned long AddressSpace = 40ul << 20;
  const Outcome outcome = RunCalculator({"--table", "@X", "1", "10^6", "1", "@X*2"}, "", AddressSpace);
  EXPECT_EQ(outcome.exitStatus, Success) << outcome.errors;
  const std::size_t lastLine = outcome.output.rfind('\n', outcome.output.size() - 2);
  EXPECT_EQ(outcome.output.substr(lastLine + 1), "1000000\t2000000\n");
  EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'), 1000001);
}

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

std::size_t CodePoints(const std::string& line) {
  return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

TEST(CalculatorRange, PlotsFillTheTerminalAndSayWhatIsMissing) {
  struct Look {
    const char* locale;
    std::string axisCorner;
    std::string firstMark;
  };
  for (const Look& look : {Look{"C", "+", "**"}, Look{"C.UTF-8", "\u2514", "\u2501\u2501"}}) {
    setenv("LC_ALL", look.locale, 1);
    const Outcome outcome = RunCalculator({"--plot", "@X", "0", "1", "1/@X", "@X"});
    unsetenv("LC_ALL");
    EXPECT_EQ(outcome.exitStatus, Success) << outcome.errors;
    const std::vector<std::string> lines = Split(outcome.output, '\n');
    ASSERT_EQ(lines.size(), 23u) << outcome.output;  // 80x24 off a terminal, the last line for the prompt
    for (const std::string& line : lines) EXPECT_LE(CodePoints(line), 80u) << line;
    // The gap's reason is too long to follow the label: it takes a line of its own.
    EXPECT_NE(lines[18].find(look.axisCorner), std::string::npos) << outcome.output;
    EXPECT_EQ(lines[19].substr(lines[19].find_first_not_of(' '), 2), "0 ") << outcome.output;
    EXPECT_EQ(lines[19].back(), '1') << outcome.output;
    EXPECT_EQ(lines[20], "  " + look.firstMark + " 1/@X") << outcome.output;
    EXPECT_EQ(lines[21].find("     (1 of "), 0u) << outcome.output;
    EXPECT_NE(lines[21].find(" not drawn: division by zero"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find('\x1b'), std::string::npos) << "no colours on a pipe";
  }
  const Outcome backwards = RunCalculator({"--plot", "@X", "1", "0", "@X"});
  const std::vector<std::string> lines = Split(backwards.output, '\n');
  ASSERT_EQ(lines.size(), 23u) << backwards.output;
  EXPECT_EQ(lines[21].substr(lines[21].find_first_not_of(' '), 2), "1 ") << backwards.output;
  EXPECT_EQ(lines[21].back(), '0') << backwards.output;
}

TEST(CalculatorRange, PlotsInColourOnATerminalUnlessNoColorIsSet) {
  for (const bool noColour : {false, true}) {
    std::vector<std::string> environment{"TERM=xterm"};
    if (noColour) environment.push_back("NO_COLOR=1");
    TerminalSession session(CalculatorBuilds().front().path, {"--plot", "@X", "0", "1", "@X"}, environment);
    if (!session.Started()) GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_EQ(session.Finish(), Success);
    EXPECT_EQ(session.Transcript().find("\x1b[34m") != std::string::npos, !noColour) << session.Transcript();
  }
}

TEST(CalculatorRange, WritesAnSvgPictureWithALineBrokenAtEachGap) {
  const std::string path = ScratchDirectory() + "/plot.svg";
  const Outcome outcome = RunCalculator({"--plot", "@X", "-1", "1", "1/@X", "@X*@X", "-o", path});
  EXPECT_EQ(outcome.exitStatus, Success) << outcome.errors;
  EXPECT_EQ(outcome.output, "");
  std::ifstream file(path);
  std::stringstream svg;
  svg << file.rdbuf();
  const std::string text = svg.str();
  EXPECT_EQ(text.find("<?xml"), 0u);
  EXPECT_NE(text.find("<title>1/@X, @X*@X for @X from -1 to 1</title>"), std::string::npos);
  EXPECT_EQ(CountOf(text, "<polyline"), 3u) << "1/@X broken at 0, @X*@X whole";
  EXPECT_NE(text.find("(1 of 701 not drawn: " + Code(EXPRCALC_DIVISION_BY_ZERO) + ")"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "</svg>\n");

  const Outcome unwritable = RunCalculator({"--plot", "@X", "0", "1", "@X", "-o", ScratchDirectory() + "/none/plot.svg"});
  EXPECT_EQ(unwritable.exitStatus, Failed);
  EXPECT_EQ(unwritable.errors.find("exprcalc: cannot write '"), 0u) << unwritable.errors;
}

}  // namespace
}  // namespace calculatortest
