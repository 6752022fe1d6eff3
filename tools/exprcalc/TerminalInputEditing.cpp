// Line editing and history through libedit's readline interface. Used only on
// a terminal; otherwise (the -i option on a pipe) lines are read plainly, so
// that no prompt or terminal control reaches a pipe. libedit reads through
// ReadCharacter, which waits the way the session waits (Interrupt.h), so that
// Ctrl-C cancels the line being edited instead of ending the process.
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>

#include <editline/readline.h>

#include "Interrupt.h"
#include "TerminalInput.h"

namespace calculator {
namespace {

bool lineCancelled = false;

// One character typed, decoded in the locale's encoding; EOF at the end of
// input and on Ctrl-C, which makes readline give up the line.
int ReadCharacter(FILE*) {
  std::mbstate_t state{};
  for (;;) {
    if (WaitForInput(STDIN_FILENO) == Waited::Interrupted) {
      lineCancelled = true;
      return EOF;
    }
    char byte = 0;
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return EOF;
    wchar_t character = 0;
    const std::size_t used = std::mbrtowc(&character, &byte, 1, &state);
    if (used == static_cast<std::size_t>(-2)) continue;  // more bytes of the same character follow
    if (used == static_cast<std::size_t>(-1)) return static_cast<unsigned char>(byte);
    return static_cast<int>(character);
  }
}

}  // namespace

TerminalInput::TerminalInput(bool editing, std::ostream& output)
    : editing_(editing),
      output_(output),
      standardInput_(STDIN_FILENO),
      history_(editing ? HistoryFile() : std::nullopt, std::cerr) {
  if (!editing_) return;
  // libedit decodes and shows what is typed in the terminal's encoding, not
  // in the "C" locale a program starts in (which drops every non-ASCII byte).
  std::setlocale(LC_CTYPE, "");
  // libedit's own signal handling would end the process on Ctrl-C.
  rl_catch_signals = 0;
  rl_getc_function = ReadCharacter;
  using_history();
  stifle_history(static_cast<int>(MostHistoryLines));
  for (const std::string& line : history_.Earlier()) add_history(line.c_str());
}

TerminalInput::~TerminalInput() {
  if (editing_) clear_history();
}

Typed TerminalInput::ReadLine(const std::string& prompt, std::string& line) {
  if (!editing_) return ReadPlainly(prompt, line);
  output_.flush();
  lineCancelled = false;
  char* typed = readline(prompt.c_str());
  if (lineCancelled) {
    std::free(typed);  // whatever readline kept of the line is dropped
    return Typed::Cancelled;
  }
  if (typed == nullptr) return Typed::End;
  line = typed;
  std::free(typed);
  return Typed::Line;
}

void TerminalInput::Remember(const std::string& line) {
  if (!editing_) return;
  add_history(line.c_str());
  history_.Add(line);
}

const char* TerminalInput::Kind() { return "libedit"; }

}  // namespace calculator
