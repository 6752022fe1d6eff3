// What both builds of TerminalInput share: the plain reading of standard
// input, used on a pipe by the libedit build and everywhere by the plain one.
#include "TerminalInput.h"

namespace calculator {

Typed TerminalInput::ReadPlainly(const std::string& prompt, std::string& line) {
  if (standardInput_.AtEnd()) return Typed::End;
  output_ << prompt;
  output_.flush();
  return standardInput_.Next(line);
}

}  // namespace calculator
