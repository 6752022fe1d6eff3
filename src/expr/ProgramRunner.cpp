// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded), the first run, which compiles
// the machine code, and the steps, where there is none. The common case is
// inline in Program.h.
#include "expr/CodeSpace.h"
#include "expr/Evaluate.h"
#include "expr/Program.h"

exprcalc::Outcome exprcalc_expr::RunOther(const VariableTable& table) const noexcept {
  if (table.Generation() != quickGeneration_) {
    double result = 0.0;
    const exprcalc::ResultCode code = exprcalc::Evaluate(Text(), table, result);
    return {code, result};
  }
  if (!nativeTried_.exchange(true, std::memory_order_acq_rel)) {
    const exprcalc::Recorded recorded{operations_, operationCount_, resultSlot_, constants_, constantCount_, table};
    const exprcalc::NativeCode code = exprcalc::CompileNative(recorded);
    if (code.run != nullptr) {
      nativeChunk_ = code.chunk;
      native_.store(code.run, std::memory_order_release);
    }
  }
  if (const exprcalc::NativeFunction native = native_.load(std::memory_order_acquire)) return native();
  if (slotCount_ > SmallFrame) return RunSteps<MostNumbers>();
  return RunSteps<SmallFrame>();
}
