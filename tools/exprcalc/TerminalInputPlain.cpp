// The plain line reader, used when the calculator is built without libedit:
// prompt on standard output, std::getline on standard input, no history.
#include <iostream>

#include "LineSource.h"
#include "TerminalInput.h"

namespace calculator {

TerminalInput::TerminalInput(bool editing) : editing_(editing) {}

TerminalInput::~TerminalInput() = default;

std::optional<std::string> TerminalInput::ReadLine(const std::string& prompt) {
  if (!prompt.empty()) std::cout << prompt << std::flush;
  std::string line;
  if (!ReadLineWithoutEnd(std::cin, line)) return std::nullopt;
  return line;
}

void TerminalInput::Remember(const std::string&) {}

const char* TerminalInput::Kind() { return "plain line reader"; }

}  // namespace calculator
