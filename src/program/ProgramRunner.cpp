// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded, or whose machine code could
// not be had), the first run, which compiles the machine code, and the steps,
// where there is no machine code. The common case is
// inline in Program.h.
#include "evaluation/Evaluate.h"
#include "native/CodeSpace.h"
#include "native/NativeCompiler.h"
#include "program/Program.h"

exprcalc::ResultCode exprcalc_expr::RunOther(const VariableTable& table, double& value) const noexcept {
  value = 0.0;
  if (table.Generation() != quickGeneration_) return exprcalc::Evaluate(Text(), table, value);
  if (!std::atomic_ref<bool>(nativeTried_).exchange(true, std::memory_order_acq_rel)) {
    const exprcalc::NativeCode code = exprcalc::CompileNative(Recording(table));
    if (code.run != nullptr) {
      nativeChunk_ = code.chunk;
      std::atomic_ref<exprcalc::NativeFunction>(native_).store(code.run, std::memory_order_release);
    }
  }
  if (const exprcalc::NativeFunction native = Native()) return native(&value);
  if (steps_ == nullptr) return exprcalc::Evaluate(Text(), table, value);  // the code space failed
  const exprcalc::Outcome outcome = slotCount_ > SmallFrame ? RunSteps<MostNumbers>() : RunSteps<SmallFrame>();
  value = outcome.value;
  return outcome.code;
}
