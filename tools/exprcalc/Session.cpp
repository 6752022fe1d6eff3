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
  :vars      list every variable (index, name, type, value)
  :clear     remove every variable
  :help      show this help
  :quit, :q  end the session (so does Ctrl-D at the start of a line)
Ctrl-C cancels the line being typed; the variables stay.
)";

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Runs a command; false for :quit.
bool RunCommand(std::string_view command, const SessionSettings& settings, std::ostream& output,
                std::ostream& errors) {
  if (command == ":quit" || command == ":q") return false;
  if (command == ":help") {
    output << SessionHelp;
  } else if (command == ":vars") {
    output << FormatVariables(ReadVariables(), settings.style);
  } else if (command == ":clear") {
    FreeVariable();
  } else {
    output.flush();
    errors << ErrorLine("", command, "unknown command (:help lists them)") << std::endl;
  }
  return true;
}

}  // namespace

bool IsSessionCommand(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return rest.size() >= 2 && rest[0] == ':' && IsLetter(rest[1]);
}

void RunSession(TerminalInput& input, const SessionSettings& settings, std::ostream& output, std::ostream& errors) {
  LineRunner runner(settings.style, output, errors);
  const bool prompting = !settings.prompt.empty();
  std::string line;
  while (output) {
    const Typed typed = input.ReadLine(settings.prompt, line);
    if (typed == Typed::End) {
      if (prompting) output << '\n';  // leave the terminal on a fresh line after Ctrl-D
      break;
    }
    if (typed == Typed::Cancelled) {
      if (prompting) output << '\n';  // the next prompt on a line of its own
      continue;
    }
    // Ctrl-D after a partial line leaves the cursor behind the text typed:
    // the value goes on the next line, not glued to the text.
    if (typed == Typed::LastLine && prompting) output << '\n';
    if (!IsSkipped(line)) {
      input.Remember(line);
      if (!IsSessionCommand(line)) {
        runner.Run(line, "");
      } else if (!RunCommand(Trim(line), settings, output, errors)) {
        break;
      }
    }
    output.flush();
    if (typed == Typed::LastLine) break;  // no input follows it
  }
  output.flush();
}

}  // namespace calculator
