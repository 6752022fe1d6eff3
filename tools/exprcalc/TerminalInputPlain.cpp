// The plain line reader, used when the calculator is built without libedit:
// prompt on standard output, lines read from standard input, no history.
#include <unistd.h>

#include "TerminalInput.h"

namespace calculator {

TerminalInput::TerminalInput(bool editing, std::ostream& output)
    : editing_(editing), output_(output), standardInput_(STDIN_FILENO) {}

TerminalInput::~TerminalInput() = default;

Typed TerminalInput::ReadLine(const std::string& prompt, std::string& line) { return ReadPlainly(prompt, line); }

void TerminalInput::Remember(const std::string&) {}

const char* TerminalInput::Kind() { return "plain line reader"; }

}  // namespace calculator
