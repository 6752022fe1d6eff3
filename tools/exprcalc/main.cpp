// exprcalc: evaluates expressions and statements given as arguments, read from
// files or standard input, or typed at an interactive session. Wires the
// command line to the line sources, the runner and the session, and reports
// output that could not be written.
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
#include "Interrupt.h"
#include "LineRunner.h"
#include "LineSource.h"
#include "Output.h"
#include "RangeCommand.h"
#include "Session.h"
#include "TerminalInput.h"

namespace {

using namespace calculator;

constexpr int ExitSuccess = 0;
constexpr int ExitLineFailed = 1;
constexpr int ExitWriteFailed = 1;
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

// Runs every line of a stream that is not blank or a comment, until the
// output fails; false when any line failed.
bool RunLines(std::istream& input, const std::string& name, LineRunner& runner, const std::ostream& output) {
  StreamLines lines(input, name);
  bool allSucceeded = true;
  std::string line;
  while (output && lines.Next(line)) {
    if (IsSkipped(line)) continue;
    if (!runner.Run(line, lines.Origin())) allSucceeded = false;
  }
  return allSucceeded;
}

// Everything but the final check of the output: returns the exit status.
int Run(const CommandLine& commandLine, std::ostream& output) {
  if (commandLine.usageError) return UsageError(*commandLine.usageError);
  const Options& options = commandLine.options;
  if (options.help) {
    output << HelpText();
    return ExitSuccess;
  }
  if (options.version) {
    output << "exprcalc " << Version << " (" << TerminalInput::Kind() << ")\n";
    return ExitSuccess;
  }

  if (options.range) return RunRange(options, output, std::cerr);

  const ValueStyle style = options.dms ? ValueStyle::DegreesMinutesSeconds : ValueStyle::Decimal;
  const bool onTerminal = isatty(STDIN_FILENO) == 1;
  if (options.files.empty() && options.expressions.empty() && (onTerminal || options.interactive)) {
    // A session ends normally whatever errors it showed on the way.
    const InterruptCatcher catcher;
    TerminalInput input(onTerminal, output);
    RunSession(input, {style, onTerminal ? Prompt : ""}, output, std::cerr);
    return ExitSuccess;
  }

  std::vector<OpenedInput> inputs;
  if (!OpenFiles(options.files, inputs)) return ExitUsage;
  if (options.files.empty() && options.expressions.empty()) inputs.push_back({"<stdin>", nullptr});

  LineRunner runner(style, output, std::cerr);
  bool allSucceeded = true;
  for (OpenedInput& input : inputs) {
    std::istream& stream = input.file ? *input.file : std::cin;
    if (!RunLines(stream, input.name, runner, output)) allSucceeded = false;
  }
  for (std::size_t i = 0; i < options.expressions.size() && output; ++i) {
    const std::string& expression = options.expressions[i];
    if (IsSkipped(expression)) continue;  // as a blank or comment line of a file
    if (!runner.Run(expression, LineOrigin{"argument " + std::to_string(i + 1)})) allSucceeded = false;
  }
  return allSucceeded ? ExitSuccess : ExitLineFailed;
}

}  // namespace

int main(int argc, char** argv) {
  DescriptorOutput standardOutput(STDOUT_FILENO);
  std::ostream output(&standardOutput);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const int status = Run(ParseCommandLine(arguments), output);
  output.flush();
  if (standardOutput.Error() != 0) {
    std::cerr << WriteErrorLine(standardOutput.Error()) << std::endl;
    return ExitWriteFailed;
  }
  return status;
}
