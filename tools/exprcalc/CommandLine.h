// The calculator's command line: options, expression arguments and the help
// text. Parsing never prints; the caller reports a usage error and exits 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calculator {

// A range that --table or --plot runs expressions over.
struct RangeOptions {
  enum class Kind { Table, Plot };
  Kind kind = Kind::Table;
  std::string name;  // NAME, FROM, TO and STEP as written
  std::string from;
  std::string to;
  std::string step;  // --table only
};

struct Options {
  std::vector<std::string> expressions;  // in the order given
  std::vector<std::string> files;        // -f FILE, in the order given; "-" is standard input
  bool dms = false;
  bool interactive = false;  // -i: run the session even when standard input is not a terminal
  bool help = false;
  bool version = false;
  std::optional<RangeOptions> range;  // the EXPRs are then run over it
  bool csv = false;                   // --csv: the table as comma-separated values
  std::string plotFile;               // -o FILE: the plot as an SVG picture; "-" is standard output
  std::optional<std::uint64_t> mostRows;  // --rows N: the most rows a table may have
};

struct CommandLine {
  Options options;
  std::optional<std::string> usageError;  // set when the command line cannot be used
};

CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments);

// True for an argument that reads as an expression although it begins with
// "-": the library reads on after the minus (exprcalc -5+2, -SIN(1)). Asked
// only of arguments that are no option the calculator knows.
bool IsNegativeExpression(std::string_view argument);

std::string_view HelpText();

}  // namespace calculator
