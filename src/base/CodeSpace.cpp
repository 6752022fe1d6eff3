// The regions of code space (see CodeSpace.h). A region's bytes live in an
// anonymous memory file; the bookkeeping lives in the owner's memory. A
// region's used bytes are never written again, not even once its programs
// are gone: a child may still run the code it inherited from the same file
// pages, so a region is only appended to, by its maker, and unmapped (never
// cleared) when its last program goes.
#include "base/CodeSpace.h"

#include <cstdlib>
#include <cstring>

namespace exprcalc {
namespace {

// EXPRCALC_MACHINE_CODE=off in the environment keeps every program on its
// steps (for hosts that forbid generated code, or to compare the two).
[[maybe_unused]] bool SwitchedOff() noexcept {
  static const bool off = [] {
    const char* setting = std::getenv("EXPRCALC_MACHINE_CODE");
    return setting != nullptr && std::strcmp(setting, "off") == 0;
  }();
  return off;
}

}  // namespace

std::size_t CodeRegionBudget() noexcept {
  static const std::size_t budget = [] {
    const char* setting = std::getenv("EXPRCALC_CODE_REGIONS");
    if (setting == nullptr || *setting == '\0') return CodeSpace::ProcessRegions;
    char* end = nullptr;
    const unsigned long asked = std::strtoul(setting, &end, 10);
    if (*end != '\0') return CodeSpace::ProcessRegions;
    return asked < CodeSpace::ProcessRegions ? static_cast<std::size_t>(asked) : CodeSpace::ProcessRegions;
  }();
  return budget;
}

}  // namespace exprcalc

#if defined(__linux__) && defined(__x86_64__)
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Older kernel headers lack the MDWE controls; the kernel's numbers.
#ifndef PR_GET_MDWE
#define PR_GET_MDWE 66
#endif
#ifndef PR_MDWE_REFUSE_EXEC_GAIN
#define PR_MDWE_REFUSE_EXEC_GAIN 1
#endif

namespace exprcalc {
namespace {

constexpr std::size_t Alignment = 64;
// A region the maker keeps while it is empty only with this much room left.
constexpr std::size_t KeptRoom = std::size_t{64} * 1024;

std::atomic<std::size_t> regionsInUse{0};
// A denial that holds for the rest of the process (MDWE cannot be turned
// off, nor a seccomp filter removed), so that it is asked of the system once.
std::atomic<int> lastingDenial{0};

// The process's id from the system, not the C library's copy, which a raw
// fork or clone leaves stale.
int ProcessId() noexcept { return static_cast<int>(syscall(SYS_getpid)); }

std::size_t PageSize() noexcept {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

CodeDenial Lasting(CodeDenial why) noexcept {
  lastingDenial.store(static_cast<int>(why), std::memory_order_relaxed);
  return why;
}

// The denial that a refused executable mapping's errno names.
CodeDenial ExecRefusal(int error) noexcept {
  if (error == EACCES) return Lasting(CodeDenial::ExecMemDenied);
  if (error == ENOMEM || error == EAGAIN || error == ENFILE || error == EMFILE) return CodeDenial::NoMemory;
  return Lasting(CodeDenial::ExecDenied);
}

void Unmap(CodeSpace::Region& region) noexcept {
  munmap(const_cast<unsigned char*>(region.executable), CodeSpace::RegionBytes);
  close(region.file);
  region = {};
  regionsInUse.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace

CodeDenial KnownDenial() noexcept {
  if (SwitchedOff()) return CodeDenial::TurnedOff;
  return static_cast<CodeDenial>(lastingDenial.load(std::memory_order_relaxed));
}

CodeDenial CodePolicy() noexcept {
  if (const CodeDenial known = KnownDenial(); known != CodeDenial::None) return known;
  const int mdwe = prctl(PR_GET_MDWE, 0L, 0L, 0L, 0L);
  if (mdwe > 0 && (mdwe & PR_MDWE_REFUSE_EXEC_GAIN) != 0) return Lasting(CodeDenial::Mdwe);
  // Two views of one file would slip past a filter that only refuses
  // writable-and-executable mappings and new executable protections: such a
  // filter is asked directly, with a page that is never written.
  void* probe = mmap(nullptr, PageSize(), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (probe == MAP_FAILED) return CodeDenial::NoMemory;
  const int refused = mprotect(probe, PageSize(), PROT_READ | PROT_EXEC) == 0 ? 0 : errno;
  munmap(probe, PageSize());
  return refused == 0 ? CodeDenial::None : ExecRefusal(refused);
}

std::size_t CodeRegionsInUse() noexcept { return regionsInUse.load(std::memory_order_relaxed); }

int CodeSpace::Lock() noexcept {
  const int self = ProcessId();
  for (;;) {
    int seen = 0;
    if (lockedBy_.compare_exchange_weak(seen, self, std::memory_order_acquire)) return self;
    // Held by another process: this one was forked from it while it held
    // the lock, and no thread here holds it.
    if (seen != 0 && seen != self && lockedBy_.compare_exchange_weak(seen, self, std::memory_order_acquire)) {
      return self;
    }
    if (seen == self) sched_yield();
  }
}

void CodeSpace::Unlock() noexcept { lockedBy_.store(0, std::memory_order_release); }

CodeSpace::Region* CodeSpace::RegionWithRoom(int self, std::size_t bytes, CodeDenial& why) noexcept {
  Region* free = nullptr;
  for (Region& region : regions_) {
    if (region.executable == nullptr) {
      if (free == nullptr) free = &region;
    } else if (region.owner == self && RegionBytes - region.used >= bytes) {
      return &region;
    }
  }
  why = CodeDenial::Budget;
  if (free == nullptr) return nullptr;
  if (regionsInUse.fetch_add(1, std::memory_order_relaxed) >= CodeRegionBudget()) {
    regionsInUse.fetch_sub(1, std::memory_order_relaxed);
    return nullptr;
  }
  const int file = memfd_create("exprcalc-code", MFD_CLOEXEC);
  if (file < 0) {
    const int error = errno;
    regionsInUse.fetch_sub(1, std::memory_order_relaxed);
    why = error == EMFILE || error == ENFILE || error == ENOMEM ? CodeDenial::NoMemory : Lasting(CodeDenial::MemfdDenied);
    return nullptr;
  }
  void* executable = MAP_FAILED;
  int error = ENOMEM;
  if (ftruncate(file, static_cast<off_t>(RegionBytes)) == 0) {
    executable = mmap(nullptr, RegionBytes, PROT_READ | PROT_EXEC, MAP_SHARED, file, 0);
    if (executable == MAP_FAILED) error = errno;
  }
  if (executable == MAP_FAILED) {
    close(file);
    regionsInUse.fetch_sub(1, std::memory_order_relaxed);
    why = ExecRefusal(error);
    return nullptr;
  }
  *free = {this, static_cast<const unsigned char*>(executable), file, self, 0, 0};
  why = CodeDenial::None;
  return free;
}

CodeDenial CodeSpace::Open(std::size_t bytes, CodeWrite& write) noexcept {
  write = {};
  const CodeDenial policy = CodePolicy();
  if (policy != CodeDenial::None) return policy;
  bytes = (bytes + Alignment - 1) / Alignment * Alignment;
  if (bytes > RegionBytes) return CodeDenial::TooLong;
  const int self = Lock();
  CodeDenial why = CodeDenial::None;
  Region* region = RegionWithRoom(self, bytes, why);
  if (region == nullptr) {
    Unlock();
    return why;
  }
  // Only the pages written are mapped writable, and not into a child that a
  // raw fork makes meanwhile.
  const std::size_t first = region->used / PageSize() * PageSize();
  std::size_t end = (region->used + bytes + PageSize() - 1) / PageSize() * PageSize();
  if (end > RegionBytes) end = RegionBytes;
  void* view = mmap(nullptr, end - first, PROT_READ | PROT_WRITE, MAP_SHARED, region->file, static_cast<off_t>(first));
  if (view == MAP_FAILED) {
    Unlock();
    return CodeDenial::NoMemory;
  }
  madvise(view, end - first, MADV_DONTFORK);
  auto* const writable = static_cast<unsigned char*>(view);
  write = {writable + (region->used - first), region->executable + region->used, bytes, region, writable, end - first};
  return CodeDenial::None;
}

void* CodeSpace::Close(CodeWrite& write, std::size_t used) noexcept {
  auto* region = static_cast<Region*>(write.region);
  if (region == nullptr) return nullptr;
  munmap(write.view, write.viewSize);
  void* held = nullptr;
  if (used > 0) {
    region->used += (used + Alignment - 1) / Alignment * Alignment;
    ++region->holders;
    held = region;
  }
  write = {};
  Unlock();
  return held;
}

void CodeSpace::Release(void* held) noexcept {
  if (held == nullptr) return;
  auto* region = static_cast<Region*>(held);
  CodeSpace& space = *region->space;
  const int self = space.Lock();
  if (--region->holders == 0) {
    // The maker keeps one empty region that new code can still go to; any
    // other goes back to the system.
    bool keep = region->owner == self && RegionBytes - region->used >= KeptRoom;
    for (const Region& other : space.regions_) {
      if (keep && &other != region && other.executable != nullptr && other.owner == self && other.holders == 0) {
        keep = false;
      }
    }
    if (!keep) Unmap(*region);
  }
  space.Unlock();
}

CodeDenial CodeSpace::ProcessDenial() noexcept {
  if (const CodeDenial policy = CodePolicy(); policy != CodeDenial::None) return policy;
  if (regionsInUse.load(std::memory_order_relaxed) >= CodeRegionBudget()) return CodeDenial::Budget;
  const int file = memfd_create("exprcalc-probe", MFD_CLOEXEC);
  if (file < 0) return errno == EMFILE || errno == ENFILE || errno == ENOMEM ? CodeDenial::NoMemory
                                                                             : Lasting(CodeDenial::MemfdDenied);
  close(file);
  return CodeDenial::None;
}

std::size_t CodeSpace::Regions() const noexcept {
  std::size_t mapped = 0;
  for (const Region& region : regions_) mapped += region.executable != nullptr ? 1 : 0;
  return mapped;
}

}  // namespace exprcalc

#else

namespace exprcalc {
CodeDenial CodePolicy() noexcept { return CodeDenial::Platform; }
CodeDenial KnownDenial() noexcept { return CodeDenial::Platform; }
CodeDenial CodeSpace::ProcessDenial() noexcept { return CodeDenial::Platform; }
std::size_t CodeRegionsInUse() noexcept { return 0; }
CodeDenial CodeSpace::Open(std::size_t, CodeWrite& write) noexcept {
  write = {};
  return CodeDenial::Platform;
}
void* CodeSpace::Close(CodeWrite& write, std::size_t) noexcept {
  write = {};
  return nullptr;
}
void CodeSpace::Release(void*) noexcept {}
std::size_t CodeSpace::Regions() const noexcept { return 0; }
int CodeSpace::Lock() noexcept { return 0; }
void CodeSpace::Unlock() noexcept {}
}  // namespace exprcalc

#endif
