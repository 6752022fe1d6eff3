// exprcalc: evaluates expressions and statements given as arguments, read from
// files or standard input, or typed at an interactive session. Wires the
// command line to the line sources, the runner and the session.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "CalculatorVersion.h"
#include "CommandLine.h"
#include "LineRunner.h"
#include "LineSource.h"
#include "Session.h"
#include "TerminalInput.h"

namespace {

using namespace calculator;

constexpr int ExitSuccess = 0;
constexpr int ExitLineFailed = 1;
constexpr int ExitUsage = 2;
constexpr const char* StandardInputName = "-";
constexpr const char* Prompt = "exprcalc> ";

int UsageError(std::string_view message) {
  std::cerr << "exprcalc: " << message << "\nTry 'exprcalc --help' for more information.\n";
  return ExitUsage;
}

struct OpenedInput {
  std::string name;
  std::unique_ptr<std::ifstream> file;  // null for standard input
};

// Opens every file before anything is evaluated, so that a wrong name stops
// the run with status 2 before it has done half its work.
bool OpenFiles(const std::vector<std::string>& names, std::vector<OpenedInput>& opened) {
  for (const std::string& name : names) {
    if (name == StandardInputName) {
      opened.push_back({"<stdin>", nullptr});
      continue;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(name, ignored)) {
      UsageError("cannot read '" + name + "': Is a directory");
      return false;
    }
    auto file = std::make_unique<std::ifstream>(name, std::ios::binary);
    if (!*file) {
      UsageError("cannot read '" + name + "': " + std::strerror(errno));
      return false;
    }
    opened.push_back({name, std::move(file)});
  }
  return true;
}

// Runs every line of a stream that is not blank or a comment; false when any failed.
bool RunLines(std::istream& input, const std::string& name, LineRunner& runner) {
  StreamLines lines(input, name);
  bool allSucceeded = true;
  std::string line;
  while (lines.Next(line)) {
    if (IsSkipped(line)) continue;
    if (!runner.Run(line, lines.Origin())) allSucceeded = false;
  }
  return allSucceeded;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const CommandLine commandLine = ParseCommandLine(arguments);
  if (commandLine.usageError) return UsageError(*commandLine.usageError);
  const Options& options = commandLine.options;
  if (options.help) {
    std::cout << HelpText();
    return ExitSuccess;
  }
  if (options.version) {
    std::cout << "exprcalc " << Version << " (" << TerminalInput::Kind() << ")\n";
    return ExitSuccess;
  }

  const ValueStyle style = options.dms ? ValueStyle::DegreesMinutesSeconds : ValueStyle::Decimal;
  const bool onTerminal = isatty(STDIN_FILENO) == 1;
  if (options.files.empty() && options.expressions.empty() && (onTerminal || options.interactive)) {
    TerminalInput input(onTerminal);
    const SessionSettings settings{style, onTerminal ? Prompt : ""};
    return RunSession(input, settings, std::cout, std::cerr) ? ExitSuccess : ExitLineFailed;
  }

  std::vector<OpenedInput> inputs;
  if (!OpenFiles(options.files, inputs)) return ExitUsage;
  if (options.files.empty() && options.expressions.empty()) inputs.push_back({"<stdin>", nullptr});

  LineRunner runner(style, std::cout, std::cerr);
  bool allSucceeded = true;
  for (OpenedInput& input : inputs) {
    std::istream& stream = input.file ? *input.file : std::cin;
    if (!RunLines(stream, input.name, runner)) allSucceeded = false;
  }
  for (std::size_t i = 0; i < options.expressions.size(); ++i) {
    if (!runner.Run(options.expressions[i], "argument " + std::to_string(i + 1))) allSucceeded = false;
  }
  std::cout.flush();
  return allSucceeded ? ExitSuccess : ExitLineFailed;
}
