// The plain line reader, used when the calculator is built without libedit:
// prompt on standard output, lines read from standard input. It keeps the
// history file as the editing reader does, but the terminal's own line
// discipline has no way to recall a line.
#include <unistd.h>

#include <iostream>

#include "TerminalInput.h"

namespace calculator {

TerminalInput::TerminalInput(bool editing, std::ostream& output)
    : editing_(editing),
      output_(output),
      standardInput_(STDIN_FILENO),
      history_(editing ? HistoryFile() : std::nullopt, std::cerr) {}

TerminalInput::~TerminalInput() = default;

Typed TerminalInput::ReadLine(const std::string& prompt, std::string& line) { return ReadPlainly(prompt, line); }

void TerminalInput::Remember(const std::string& line) {
  if (editing_) history_.Add(line);
}

const char* TerminalInput::Kind() { return "plain line reader"; }

}  // namespace calculator
