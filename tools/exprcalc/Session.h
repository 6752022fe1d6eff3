// The interactive session: reads lines until :quit or the end of input, runs
// each like any other line and answers the colon commands (:vars, :clear,
// :help, :quit). Errors are reported and the session goes on; Ctrl-C cancels
// the line being typed.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "LineRunner.h"
#include "TerminalInput.h"

namespace calculator {

struct SessionSettings {
  ValueStyle style = ValueStyle::Decimal;
  std::string prompt;  // empty when standard input is not a terminal
};

// Runs until :quit, the end of input, or output that can no longer be written
// (which the caller finds in the state of output).
void RunSession(TerminalInput& input, const SessionSettings& settings, std::ostream& output, std::ostream& errors);

// True for a session command: ":" followed by a letter (":30" is a number).
bool IsSessionCommand(std::string_view line);

}  // namespace calculator
