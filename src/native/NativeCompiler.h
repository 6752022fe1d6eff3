// Compiling a program's recorded operations into machine code: one function
// that performs the very IEEE operations of the steps, in their order, and
// returns the same code, storing the value (0.0 on failure) through its
// argument, which must be an address. It reads each variable's number from
// the record's bytes, which stay put while the table keeps its generation.
#pragma once

#include <cstddef>

#include "language/ResultCode.h"
#include "base/CodeSpace.h"
#include "recorded/Recorded.h"

namespace exprcalc {

struct NativeCode {
  NativeFunction run = nullptr;  // null: not compiled, for the reason why
  void* region = nullptr;        // for CodeSpace::Release
  CodeDenial why = CodeDenial::None;
};

// Compiles into space, which the calling thread may share with others; null
// for a program whose shape is not runnable.
NativeCode CompileNative(const RecordedProgram& recorded, CodeSpace& space) noexcept;

// Why a program of this many operations can never become machine code
// (another platform, the switch, too many operations: every text of up to
// 256 bytes has few enough), or None. The host's policy is asked at compile.
CodeDenial NativeDenial(std::size_t operations) noexcept;

}  // namespace exprcalc
