// Compiling a program's recorded operations into machine code: one function
// that performs the very IEEE operations of the steps, in their order, and
// returns the same code, storing the value (0.0 on failure) through its
// argument, which must be an address. It reads each variable's number from
// the record's bytes, which stay put while the table keeps its generation.
#pragma once

#include <cstddef>

#include "language/ResultCode.h"
#include "recorded/Recorded.h"

namespace exprcalc {

struct NativeCode {
  NativeFunction run = nullptr;  // null: not compiled (platform, size or memory)
  void* chunk = nullptr;         // for ReleaseCode (CodeSpace.h)
};

// Null for a program whose shape is not runnable.
NativeCode CompileNative(const RecordedProgram& recorded) noexcept;

// Whether a program of this many operations is compiled into machine code
// on its first run (the platform has it, it is not turned off, it is short
// enough: every text of up to 256 bytes is).
bool MayCompileNative(std::size_t operations) noexcept;

}  // namespace exprcalc
