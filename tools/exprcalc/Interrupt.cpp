// SIGINT is blocked for the life of the catcher and unblocked only inside
// pselect, which does both atomically: an interrupt can never fall between a
// check and a read that would then wait for ever. The handler only notes it.
#include "Interrupt.h"

#include <sys/select.h>

#include <cerrno>
#include <csignal>

namespace calculator {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void NoteInterrupt(int) { interrupted = 1; }

}  // namespace

InterruptCatcher::InterruptCatcher() {
  struct sigaction action {};
  action.sa_handler = NoteInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &savedAction_);
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_BLOCK, &interrupt, &savedMask_);
}

InterruptCatcher::~InterruptCatcher() {
  // Unblocked first, so that an interrupt still held back meets the handler
  // that only notes it rather than the default action.
  sigprocmask(SIG_SETMASK, &savedMask_, nullptr);
  sigaction(SIGINT, &savedAction_, nullptr);
  interrupted = 0;
}

Waited WaitForInput(int descriptor) {
  sigset_t waitingMask;
  sigprocmask(SIG_SETMASK, nullptr, &waitingMask);
  sigdelset(&waitingMask, SIGINT);
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(descriptor, &readable);
    const int ready = pselect(descriptor + 1, &readable, nullptr, nullptr, nullptr, &waitingMask);
    if (ready >= 0 || errno != EINTR) return Waited::Input;  // an error is for the read to report
    if (interrupted != 0) {
      interrupted = 0;
      return Waited::Interrupted;
    }
  }
}

}  // namespace calculator
