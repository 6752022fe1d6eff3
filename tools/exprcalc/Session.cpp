// The session loop and its commands. A command is ":" and a word, which no
// expression can be: an expression that begins with ":" is a d:m:s number.
#include "Session.h"

#include "LineSource.h"
#include "Messages.h"
#include "VariableListing.h"
#include "exprcalc.h"

namespace calculator {
namespace {

constexpr std::string_view SessionHelp = R"(Type an expression to see its value, or a statement to set a variable:
  2*SIN(RAD(30))+1       expression
  @RATE = 0.5            statement: stores a number
  @NOTE = "some text     statement: stores a text
  @RATE =                statement: removes the variable
Commands:
  :vars    list every variable (index, name, type, value)
  :clear   remove every variable
  :help    show this help
  :quit    end the session (so does end of input, Ctrl-D)
)";

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

enum class CommandOutcome { Continue, Failed, Quit };

CommandOutcome RunCommand(std::string_view command, const SessionSettings& settings, std::ostream& output,
                          std::ostream& errors) {
  if (command == ":quit" || command == ":q") return CommandOutcome::Quit;
  if (command == ":help") {
    output << SessionHelp;
  } else if (command == ":vars") {
    output << FormatVariables(ReadVariables(), settings.style);
  } else if (command == ":clear") {
    FreeVariable();
  } else {
    output.flush();
    errors << ErrorLine("", command, "unknown command (:help lists them)") << std::endl;
    return CommandOutcome::Failed;
  }
  return CommandOutcome::Continue;
}

}  // namespace

bool IsSessionCommand(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return rest.size() >= 2 && rest[0] == ':' && IsLetter(rest[1]);
}

bool RunSession(TerminalInput& input, const SessionSettings& settings, std::ostream& output, std::ostream& errors) {
  LineRunner runner(settings.style, output, errors);
  bool allSucceeded = true;
  while (const std::optional<std::string> line = input.ReadLine(settings.prompt)) {
    if (IsSkipped(*line)) continue;
    input.Remember(*line);
    if (IsSessionCommand(*line)) {
      const CommandOutcome outcome = RunCommand(Trim(*line), settings, output, errors);
      if (outcome == CommandOutcome::Quit) return allSucceeded;
      if (outcome == CommandOutcome::Failed) allSucceeded = false;
    } else if (!runner.Run(*line, "")) {
      allSucceeded = false;
    }
    output.flush();
  }
  if (!settings.prompt.empty()) output << '\n';  // leave the terminal on a fresh line after Ctrl-D
  return allSucceeded;
}

}  // namespace calculator
