// Lines typed at the interactive session, with a prompt. Two builds of the
// same interface: line editing and history through libedit, or a plain
// reader of standard input when libedit is not available. Both tell a line
// cancelled by Ctrl-C (while an InterruptCatcher lives) from the end of input.
#pragma once

#include <ostream>
#include <string>

#include "History.h"
#include "LineSource.h"

namespace calculator {

class TerminalInput {
 public:
  // editing: use line editing when this build has it (only on a terminal),
  // and keep the lines in the history file (HistoryFile) across sessions.
  // output: where the plain reader shows the prompt, flushed before each read.
  TerminalInput(bool editing, std::ostream& output);
  ~TerminalInput();
  TerminalInput(const TerminalInput&) = delete;
  TerminalInput& operator=(const TerminalInput&) = delete;

  // Shows prompt (unless it is empty) and reads a line without its line end.
  Typed ReadLine(const std::string& prompt, std::string& line);

  // Adds a line to the history that the arrow keys recall, and to the file.
  void Remember(const std::string& line);

  // The errno of a read of standard input that failed (and ended the input), else 0.
  int ReadError() const { return standardInput_.Error(); }

  // Whether this build edits lines ("libedit") or reads them plainly.
  static const char* Kind();

 private:
  // The plain reading, shared by both builds (libedit reads only a terminal).
  Typed ReadPlainly(const std::string& prompt, std::string& line);

  bool editing_;
  std::ostream& output_;
  DescriptorLines standardInput_;
  History history_;
};

}  // namespace calculator
