// exprcalc: evaluates expressions and statements given as arguments, read from
// files or standard input, or typed at an interactive session. Wires the
// command line to the line sources, the runner and the session, and reports
// output that could not be written.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <utility>
#include <vector>

#include "CalculatorVersion.h"
#include "CommandLine.h"
#include "Interrupt.h"
#include "LineRunner.h"
#include "LineSource.h"
#include "Output.h"
#include "RangeCommand.h"
#include "Session.h"
#include "ShownText.h"
#include "TerminalInput.h"

namespace {

using namespace calculator;

constexpr int ExitSuccess = 0;
constexpr int ExitLineFailed = 1;
constexpr int ExitWriteFailed = 1;
constexpr int ExitUsage = 2;
constexpr const char* StandardInputName = "-";
constexpr const char* StandardInputLabel = "<stdin>";
constexpr const char* Prompt = "exprcalc> ";

// The message may echo an argument: it is shown as every echo is.
int UsageError(std::string_view message) {
  std::cerr << "exprcalc: " << Shown(message) << "\nTry 'exprcalc --help' for more information.\n";
  return ExitUsage;
}

// A file opened for reading, or standard input (which is not closed).
class OpenedInput {
 public:
  OpenedInput(std::string name, int descriptor) : name_(std::move(name)), descriptor_(descriptor) {}
  OpenedInput(OpenedInput&& other) noexcept
      : name_(std::move(other.name_)), descriptor_(std::exchange(other.descriptor_, STDIN_FILENO)) {}
  OpenedInput& operator=(OpenedInput&&) = delete;
  ~OpenedInput() {
    if (descriptor_ != STDIN_FILENO) close(descriptor_);
  }
  const std::string& Name() const { return name_; }
  int Descriptor() const { return descriptor_; }

 private:
  std::string name_;
  int descriptor_;
};

// Opens every file before anything is evaluated, so that a wrong name stops
// the run with status 2 before it has done half its work.
bool OpenFiles(const std::vector<std::string>& names, std::vector<OpenedInput>& opened) {
  for (const std::string& name : names) {
    if (name == StandardInputName) {
      opened.emplace_back(StandardInputLabel, STDIN_FILENO);
      continue;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(name, ignored)) {
      UsageError("cannot read '" + name + "': Is a directory");
      return false;
    }
    const int descriptor = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
      UsageError("cannot read '" + name + "': " + std::strerror(errno));
      return false;
    }
    opened.emplace_back(name, descriptor);
  }
  return true;
}

// "exprcalc: NAME: REASON", as cat reports a file it could not read to its end.
void ReportReadError(const std::string& name, int error, std::ostream& output) {
  output.flush();
  std::cerr << "exprcalc: " << Shown(name) << ": " << std::strerror(error) << std::endl;
}

// Runs every line of an input that is not blank or a comment, until the
// output fails; false when any line failed or the input could not be read to
// its end (the lines before the failed read are run).
bool RunLines(const OpenedInput& input, LineRunner& runner, std::ostream& output) {
  StreamLines lines(input.Descriptor(), input.Name());
  bool allSucceeded = true;
  std::string line;
  while (output && lines.Next(line)) {
    if (IsSkipped(line)) continue;
    if (!runner.Run(line, lines.Origin())) allSucceeded = false;
  }
  if (output && lines.Error() != 0) {
    ReportReadError(input.Name(), lines.Error(), output);
    allSucceeded = false;
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
    if (output && input.ReadError() != 0) {
      ReportReadError(StandardInputLabel, input.ReadError(), output);
      return ExitLineFailed;
    }
    return ExitSuccess;
  }

  std::vector<OpenedInput> inputs;
  if (!OpenFiles(options.files, inputs)) return ExitUsage;
  if (options.files.empty() && options.expressions.empty()) inputs.emplace_back(StandardInputLabel, STDIN_FILENO);

  LineRunner runner(style, output, std::cerr);
  bool allSucceeded = true;
  for (const OpenedInput& input : inputs) {
    if (!RunLines(input, runner, output)) allSucceeded = false;
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
