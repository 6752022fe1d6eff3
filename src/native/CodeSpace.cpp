// The chunks of code space (see CodeSpace.h). A chunk's bytes live in an
// anonymous memory file mapped writable and executable; its bookkeeping lives
// in private memory, so that a child process (after fork the file's pages are
// shared) counts its own holders and never appends to a chunk it inherited.
#include "native/CodeSpace.h"

#if defined(__linux__) && defined(__x86_64__)
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace exprcalc {
namespace {

constexpr std::size_t ChunkBytes = std::size_t{64} * 1024;
constexpr std::size_t Alignment = 64;

struct Chunk {
  unsigned char* writable;
  const unsigned char* executable;
  std::size_t size;
  std::size_t used;
  std::size_t holders;  // spaces handed out and not released
};

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

// Holds the lock for as long as it lives.
struct Locked {
  Locked() noexcept { pthread_mutex_lock(&lock); }
  ~Locked() { pthread_mutex_unlock(&lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};
Chunk* current = nullptr;  // the chunk new spaces come from

void Unmap(Chunk* chunk) noexcept {
  munmap(chunk->writable, chunk->size);
  munmap(const_cast<unsigned char*>(chunk->executable), chunk->size);
  munmap(chunk, sizeof(Chunk));
}

Chunk* NewChunk(std::size_t size) noexcept {
  void* record = mmap(nullptr, sizeof(Chunk), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (record == MAP_FAILED) return nullptr;
  const int file = memfd_create("exprcalc-code", MFD_CLOEXEC);
  void* writable = MAP_FAILED;
  void* executable = MAP_FAILED;
  if (file >= 0 && ftruncate(file, static_cast<off_t>(size)) == 0) {
    writable = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    executable = mmap(nullptr, size, PROT_READ | PROT_EXEC, MAP_SHARED, file, 0);
  }
  if (file >= 0) close(file);
  if (writable == MAP_FAILED || executable == MAP_FAILED) {
    if (writable != MAP_FAILED) munmap(writable, size);
    if (executable != MAP_FAILED) munmap(executable, size);
    munmap(record, sizeof(Chunk));
    return nullptr;
  }
  return new (record) Chunk{static_cast<unsigned char*>(writable), static_cast<const unsigned char*>(executable), size,
                            0, 0};
}

// A child process appends to no chunk it inherited: the parent may go on
// writing the same shared pages.
void RegisterForkHandlers() noexcept {
  static const int registered = pthread_atfork([] { pthread_mutex_lock(&lock); }, [] { pthread_mutex_unlock(&lock); },
                                               [] {
                                                 current = nullptr;
                                                 pthread_mutex_unlock(&lock);
                                               });
  static_cast<void>(registered);
}

}  // namespace

// EXPRCALC_MACHINE_CODE=off in the environment keeps every program on its
// steps (for systems that forbid such mappings, or to compare the two).
bool TurnedOff() noexcept {
  static const bool off = [] {
    const char* setting = std::getenv("EXPRCALC_MACHINE_CODE");
    return setting != nullptr && std::strcmp(setting, "off") == 0;
  }();
  return off;
}

bool CodeSpaceAvailable() noexcept { return !TurnedOff(); }

CodeSpace ReserveCode(std::size_t bytes) noexcept {
  if (bytes > ChunkBytes * 64 || TurnedOff()) return {};
  bytes = (bytes + Alignment - 1) / Alignment * Alignment;
  RegisterForkHandlers();
  const Locked guard;
  if (current == nullptr || current->size - current->used < bytes) {
    if (current != nullptr && current->holders == 0) Unmap(current);
    current = NewChunk(bytes > ChunkBytes ? bytes : ChunkBytes);
    if (current == nullptr) return {};
  }
  const CodeSpace space{current->writable + current->used, current->executable + current->used, bytes, current};
  current->used += bytes;
  ++current->holders;
  return space;
}

void TrimCode(const CodeSpace& space, std::size_t used) noexcept {
  if (space.chunk == nullptr) return;
  const Locked guard;
  auto* chunk = static_cast<Chunk*>(space.chunk);
  const std::size_t kept = (used + Alignment - 1) / Alignment * Alignment;
  if (chunk == current && chunk->writable + chunk->used == space.writable + space.size && kept < space.size) {
    chunk->used -= space.size - kept;
  }
}

void ReleaseCode(void* chunk) noexcept {
  if (chunk == nullptr) return;
  const Locked guard;
  auto* released = static_cast<Chunk*>(chunk);
  if (--released->holders == 0 && released != current) Unmap(released);
}

}  // namespace exprcalc

#else

namespace exprcalc {
bool CodeSpaceAvailable() noexcept { return false; }
CodeSpace ReserveCode(std::size_t) noexcept { return {}; }
void TrimCode(const CodeSpace&, std::size_t) noexcept {}
void ReleaseCode(void*) noexcept {}
}  // namespace exprcalc

#endif
