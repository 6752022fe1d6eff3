// Memory for machine code, held by an owner (a variable table) rather than
// by the process, so that tables used from different threads share no
// writable state. Code lives in regions of an anonymous memory file: each
// region is mapped once, readable and executable, for as long as it holds
// code, and nothing maps it writable but a compile, which maps just the
// pages it writes, writes, and unmaps them before the code is published.
// Outside a compile no writable view of code exists; no page is ever
// writable and executable; the executable view's address says nothing about
// where code was written.
//
// A region is written only by the process that made it: a child, however it
// was created (fork, a raw clone), runs the code it inherited but compiles
// into regions of its own. The process keeps a budget of regions (atomics,
// shared by every owner); past it, and wherever the host forbids generated
// code, programs run as steps. Only on x86-64 Linux, the one target of the
// native compiler; elsewhere nothing is ever mapped.
#pragma once

#include <atomic>
#include <cstddef>

namespace exprcalc {

// Why a program does not run machine code: the header's EXPRCALC_CODE_*.
enum class CodeDenial : int {
  None = 0,       // it runs, or may once it pays
  NotYet = 1,     // steps until its evaluations show that compiling pays
  TurnedOff = 2,  // EXPRCALC_MACHINE_CODE=off
  Platform = 3,   // no native compiler here
  Mdwe = 4,       // the process refuses executable memory (PR_SET_MDWE)
  ExecDenied = 5,     // making memory executable is denied (a seccomp filter)
  ExecMemDenied = 6,  // ... by a security module (SELinux's execmem)
  MemfdDenied = 7,    // memory files cannot be created
  Budget = 8,         // the code budget is spent
  TooLong = 9,        // more operations than the compiler takes
  NoMemory = 10,      // the system had no memory or descriptors for a region
};

// What the host allows now: None, or the first reason found (the switch,
// the platform, MDWE, a refused executable mapping). Denials that cannot be
// lifted are remembered; the rest is asked of the system each call.
CodeDenial CodePolicy() noexcept;
// What is already known without asking the system: the switch, the
// platform, or a denial found before that holds for good; else None.
CodeDenial KnownDenial() noexcept;

// One compile's place: write at most size bytes at writable; the same bytes
// run at executable.
struct CodeWrite {
  unsigned char* writable = nullptr;
  const unsigned char* executable = nullptr;
  std::size_t size = 0;
  // For Close.
  void* region = nullptr;
  unsigned char* view = nullptr;
  std::size_t viewSize = 0;
};

class CodeSpace {
 public:
  // The bounds: each region reserves this much of its file (pages are only
  // taken when written); the process keeps at most ProcessRegions of them,
  // one mapping and one close-on-exec descriptor each, across all owners.
  static constexpr std::size_t RegionBytes = std::size_t{1} << 20;
  static constexpr std::size_t MostRegions = 16;  // per owner
  static constexpr std::size_t ProcessRegions = 32;

  constexpr CodeSpace() noexcept = default;
  CodeSpace(const CodeSpace&) = delete;
  CodeSpace& operator=(const CodeSpace&) = delete;
  // Regions that still hold programs stay mapped: their code may still run.
  ~CodeSpace() = default;

  // Opens a compile of at most bytes: on None, write holds the place and the
  // space stays locked until Close. Any thread may call it; it uses no heap.
  CodeDenial Open(std::size_t bytes, CodeWrite& write) noexcept;
  // Ends the compile that Open began, keeping the first used bytes: the
  // writable view is gone when it returns. Returns the region, for Release.
  void* Close(CodeWrite& write, std::size_t used) noexcept;
  // Gives back a program's hold on a region that Close returned (null is
  // ignored); an empty region goes back to the system.
  static void Release(void* region) noexcept;

  // What a new program would meet in this process now: the host's policy,
  // a refused memory file, or a budget whose regions are all in use.
  static CodeDenial ProcessDenial() noexcept;

  // The mappings this space holds now (for tests and the budget's report).
  std::size_t Regions() const noexcept;

  struct Region {
    CodeSpace* space = nullptr;
    const unsigned char* executable = nullptr;  // null: the slot is free
    int file = -1;
    int owner = 0;  // the process that made it, the only one that writes it
    std::size_t used = 0;
    std::size_t holders = 0;
  };

 private:
  int Lock() noexcept;
  void Unlock() noexcept;
  Region* RegionWithRoom(int self, std::size_t bytes, CodeDenial& why) noexcept;

  // The process holding the lock (0: none). A process that finds another
  // one's id here was forked while its parent held it: nobody here does.
  std::atomic<int> lockedBy_{0};
  Region regions_[MostRegions]{};
};

// The test switch EXPRCALC_CODE_REGIONS=n lowers the process's budget to n
// regions (0 to ProcessRegions); read once.
std::size_t CodeRegionBudget() noexcept;
// Regions mapped now by the whole process.
std::size_t CodeRegionsInUse() noexcept;

}  // namespace exprcalc
