// The calculator's command line: options, expression arguments and the help
// text. Parsing never prints; the caller reports a usage error and exits 2.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calculator {

struct Options {
  std::vector<std::string> expressions;  // in the order given
  std::vector<std::string> files;        // -f FILE, in the order given; "-" is standard input
  bool dms = false;
  bool interactive = false;  // -i: run the session even when standard input is not a terminal
  bool help = false;
  bool version = false;
};

struct CommandLine {
  Options options;
  std::optional<std::string> usageError;  // set when the command line cannot be used
};

CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments);

// True for an argument that reads as an expression although it begins with
// "-": a minus followed by a digit, ".", ":" or "(" (exprcalc -5+2).
bool IsNegativeExpression(std::string_view argument);

std::string_view HelpText();

}  // namespace calculator
