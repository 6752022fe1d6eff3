// Ctrl-C in the interactive session. While an InterruptCatcher lives, SIGINT
// no longer ends the process. It is held back while a line is evaluated and
// let in only while the session waits for input (WaitForInput), so that it
// always finds the reader waiting: the line being typed is cancelled, and the
// session, with its variables, goes on.
#pragma once

#include <signal.h>

namespace calculator {

class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

 private:
  struct sigaction savedAction_ {};
  sigset_t savedMask_ {};
};

enum class Waited { Input, Interrupted };

// Waits until descriptor has input to read (or its end, or an error, which
// the read then reports), or until SIGINT comes, one held back included.
Waited WaitForInput(int descriptor);

}  // namespace calculator
