// Lines typed at the interactive session, with a prompt. Two builds of the
// same interface: line editing and history through libedit, or a plain
// reader of standard input when libedit is not available.
#pragma once

#include <optional>
#include <string>

namespace calculator {

class TerminalInput {
 public:
  // editing: use line editing when this build has it (only on a terminal).
  explicit TerminalInput(bool editing);
  ~TerminalInput();
  TerminalInput(const TerminalInput&) = delete;
  TerminalInput& operator=(const TerminalInput&) = delete;

  // Shows prompt (unless it is empty) and reads a line without its line end;
  // nothing at the end of input.
  std::optional<std::string> ReadLine(const std::string& prompt);

  // Adds a line to the history that the arrow keys recall.
  void Remember(const std::string& line);

  // Whether this build edits lines ("libedit") or reads them plainly.
  static const char* Kind();

 private:
  [[maybe_unused]] bool editing_;  // the plain reader has no use for it
};

}  // namespace calculator
