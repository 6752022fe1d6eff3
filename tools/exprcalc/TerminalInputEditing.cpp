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
#include <string>
#include <string_view>
#include <utility>

#include <editline/readline.h>

#include "Interrupt.h"
#include "TerminalInput.h"

namespace calculator {
namespace {

constexpr int EndOfInputKey = 4;  // Ctrl-D

constexpr std::string_view DeleteKey = "\x1B[3~";

std::string_view queuedKeys;  // read before the terminal
bool lineCancelled = false;
bool lineEndsInput = false;  // Ctrl-D at the end of a line typed: run it, then end
std::string lastLine;

// Ctrl-D as the plain reader sees it through the terminal: at the start of
// an empty line it ends the input, after the text of a line it ends the input
// there (the line runs, and then the session ends). Inside a line it deletes
// the character under the cursor, as line editors do.
int EndInputOrDelete(int, int) {
  if (rl_point < rl_end) {
    queuedKeys = DeleteKey;  // libedit deletes it, and shows the line again, as for that key
    return 0;
  }
  if (rl_end > 0) {
    lastLine.assign(rl_line_buffer, static_cast<std::size_t>(rl_end));
    lineEndsInput = true;
  }
  rl_done = 1;  // readline gives up the line; ReadLine returns what was kept of it
  return 0;
}

// One character typed, decoded in the locale's encoding; EOF at the end of
// input and on Ctrl-C, which makes readline give up the line.
int ReadCharacter(FILE*) {
  if (!queuedKeys.empty()) {
    const char key = queuedKeys.front();
    queuedKeys.remove_prefix(1);
    return key;
  }
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
  rl_initialize();
  rl_add_defun("exprcalc-end-input-or-delete", EndInputOrDelete, EndOfInputKey);
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
  lineEndsInput = false;
  char* typed = readline(prompt.c_str());
  if (lineCancelled) {
    std::free(typed);  // whatever readline kept of the line is dropped
    return Typed::Cancelled;
  }
  if (lineEndsInput) {
    std::free(typed);
    line = std::move(lastLine);
    return Typed::LastLine;
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
