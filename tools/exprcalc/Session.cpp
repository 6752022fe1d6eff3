// The session loop and its commands. A command is ":" and a word, which no
// expression can be: an expression that begins with ":" is a d:m:s number.
// The word's case does not matter, as in the names of the language.
#include "Session.h"

#include <algorithm>

#include "LineSource.h"
#include "Messages.h"
#include "NumberFormat.h"
#include "ShownText.h"
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
  :show @N   show the value of one variable, a text as it is stored
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

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return lower;
}

void Complain(std::string_view text, std::string_view message, std::ostream& output, std::ostream& errors) {
  output.flush();
  errors << ErrorLine(text, message) << std::endl;
}

// ":show NAME": the variable the library finds under name, a number as a
// value prints, a text as it is stored (shown as every echo is).
void ShowVariable(const std::string& name, const SessionSettings& settings, std::ostream& output,
                  std::ostream& errors) {
  int type = 0;
  if (name.empty()) return Complain(":show", "name the variable to show: :show @NAME", output, errors);
  if (GetIndexByKey(name.c_str(), &type) < 0) {
    return Complain(name, exprcalc_stop_message(EXPRCALC_STOP_UNKNOWN_VARIABLE), output, errors);
  }
  if (type == EXPRCALC_TYPE_TEXT) {
    char text[EXPRCALC_TEXT_BUFFER_SIZE] = {};
    LookupVarString(name.c_str(), text);
    output << Shown(text) << '\n';
    return;
  }
  double number = 0.0;
  LookupVarDouble(name.c_str(), &number);
  output << (settings.style == ValueStyle::DegreesMinutesSeconds ? FormatDms(number) : FormatNumber(number)) << '\n';
}

// Runs a command; false for :quit.
bool RunCommand(std::string_view command, const SessionSettings& settings, std::ostream& output,
                std::ostream& errors) {
  const std::size_t wordEnd = std::min(command.size(), command.find_first_of(" \t\v\f\r\n"));
  std::string word = LowerCase(command.substr(0, wordEnd));
  const std::string_view argument = TrimLeft(command.substr(wordEnd));
  if (word == ":show") {
    ShowVariable(std::string(argument), settings, output, errors);
    return true;
  }
  if (!argument.empty()) word.clear();  // the other commands take no argument
  if (word == ":quit" || word == ":q") return false;
  if (word == ":help") {
    output << SessionHelp;
  } else if (word == ":vars") {
    output << FormatVariables(ReadVariables(), settings.style);
  } else if (word == ":clear") {
    FreeVariable();
  } else {
    Complain(command, "unknown command (:help lists them)", output, errors);
  }
  return true;
}

}  // namespace

void RunSession(TerminalInput& input, const SessionSettings& settings, std::ostream& output, std::ostream& errors) {
  LineRunner runner(settings.style, output, errors);
  const bool prompting = !settings.prompt.empty();
  runner.NameRemovals(prompting);
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
        runner.Run(line, LineOrigin{});
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
