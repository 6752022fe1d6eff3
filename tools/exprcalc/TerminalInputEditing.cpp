// Line editing and history through libedit's readline interface. Used only on
// a terminal; otherwise (the -i option on a pipe) lines are read plainly, so
// that no prompt or terminal control reaches a pipe.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <editline/readline.h>

#include "LineSource.h"
#include "TerminalInput.h"

namespace calculator {

TerminalInput::TerminalInput(bool editing) : editing_(editing) {
  if (editing_) using_history();
}

TerminalInput::~TerminalInput() {
  if (editing_) clear_history();
}

std::optional<std::string> TerminalInput::ReadLine(const std::string& prompt) {
  if (!editing_) {
    if (!prompt.empty()) std::cout << prompt << std::flush;
    std::string line;
    if (!ReadLineWithoutEnd(std::cin, line)) return std::nullopt;
    return line;
  }
  std::cout.flush();
  char* typed = readline(prompt.c_str());
  if (typed == nullptr) return std::nullopt;
  std::string line(typed);
  std::free(typed);
  return line;
}

void TerminalInput::Remember(const std::string& line) {
  if (editing_) add_history(line.c_str());
}

const char* TerminalInput::Kind() { return "libedit"; }

}  // namespace calculator
