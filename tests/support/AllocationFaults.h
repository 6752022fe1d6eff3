// Fault injection and accounting for the library's allocations. The test
// archive links an allocator with these hooks in place of the library's
// plain one, so any single allocation can be made to fail and every block
// can be counted; the shipped library has none of this.
#pragma once

#include <cstddef>

namespace exprcalc::allocation {

// Makes the allocation that comes `succeeding` allocations from now fail
// (0: the very next one); with `persistent`, every allocation after it fails too.
void FailAfter(std::size_t succeeding, bool persistent = false) noexcept;
// Ends fault injection.
void StopFailing() noexcept;
// True once an injected failure has been handed out since the last FailAfter.
bool FailureInjected() noexcept;
// Allocations requested since the start of the process (failed ones included).
std::size_t RequestCount() noexcept;
// Blocks obtained and not yet released.
std::size_t LiveBlockCount() noexcept;

// One attempt at an operation with an allocation failing: Run arms the
// fault, runs the operation, notes whether the fault was met and ends it, so
// that the set-up before and the checks after allocate freely.
class FailingAllocation {
 public:
  FailingAllocation(std::size_t succeeding, bool persistent) noexcept
      : succeeding_(succeeding), persistent_(persistent) {}

  template <typename Operation>
  decltype(auto) Run(Operation&& operation) {
    struct Disarm {
      bool& injected;
      ~Disarm() {
        injected = FailureInjected();
        StopFailing();
      }
    } disarm{injected_};
    FailAfter(succeeding_, persistent_);
    return operation();
  }

  // The allocations let through before the failing one.
  std::size_t Succeeding() const noexcept { return succeeding_; }
  bool Injected() const noexcept { return injected_; }

 private:
  std::size_t succeeding_;
  bool persistent_;
  bool injected_ = false;
};

// Makes an operation meet a failure at each of its allocations in turn: the
// first, then the second, and so on, until an attempt meets none. Each
// attempt(failing) sets up, calls failing.Run with the operation and checks
// what it gave. Returns how many attempts met a failure; most when every one
// of them did (the operation never got through).
template <typename Attempt>
std::size_t FailEachAllocationInTurn(Attempt&& attempt, bool persistent = false, std::size_t most = 100) {
  for (std::size_t k = 0; k < most; ++k) {
    FailingAllocation failing(k, persistent);
    attempt(failing);
    if (!failing.Injected()) return k;
  }
  return most;
}

}  // namespace exprcalc::allocation
