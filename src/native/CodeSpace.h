// Memory for machine code: chunks that are mapped twice, once writable and
// once executable, so that no page is ever both, and that are shared by the
// programs compiled into them (a page each would cost a program 4 KiB and two
// system calls). A chunk is unmapped when the last program in it is released
// and programs no longer go into it. Only where the platform's calling
// convention is the one the native compiler writes for (x86-64, System V);
// elsewhere nothing is reserved and programs run their steps, as they do
// everywhere when the environment sets EXPRCALC_MACHINE_CODE=off.
#pragma once

#include <cstddef>

namespace exprcalc {

struct CodeSpace {
  unsigned char* writable = nullptr;          // where the code is written; null: no space
  const unsigned char* executable = nullptr;  // where the same bytes run
  std::size_t size = 0;
  void* chunk = nullptr;  // what ReleaseCode takes
};

// False where ReserveCode never gives space: another platform, or turned off.
bool CodeSpaceAvailable() noexcept;
// At least bytes of code space, aligned to 64 bytes; empty when the platform
// has none or memory ran out. Any thread may call it. It uses no heap.
CodeSpace ReserveCode(std::size_t bytes) noexcept;
// Gives back the end of the space that ReserveCode gave last, when no other
// space was reserved after it; the space keeps its first used bytes.
void TrimCode(const CodeSpace& space, std::size_t used) noexcept;
// Releases a space that ReserveCode gave (null is ignored).
void ReleaseCode(void* chunk) noexcept;

}  // namespace exprcalc
