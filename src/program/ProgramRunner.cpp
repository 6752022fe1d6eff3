// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded), the steps, and the run that
// compiles the machine code. The common case, machine code, is inline in
// Program.h.
#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "base/CodeSpace.h"
#include "native/NativeCompiler.h"
#include "program/Program.h"

exprcalc::ResultCode exprcalc_expr::RunOther(const VariableTable& table, double& value) const noexcept {
  value = 0.0;
  if (table.Generation() != quickGeneration_) return exprcalc::Evaluate(Text(), table, value);
  if (const exprcalc::NativeFunction native = Native()) return native(&value);  // published meanwhile
  // Counting down to the compile: a count lost to a race only delays it, and
  // only the thread that first claims it compiles.
  std::atomic_ref<std::uint32_t> pending(untilCompile_);
  if (const std::uint32_t left = pending.load(std::memory_order_relaxed); left != 0) [[unlikely]] {
    pending.store(left - 1, std::memory_order_relaxed);
    if (left == 1 && !std::atomic_ref<bool>(nativeTried_).exchange(true, std::memory_order_acq_rel)) {
      const exprcalc::NativeCode code = exprcalc::CompileNative(Recording(table), table.Code());
      std::atomic_ref<int>(nativeWhy_).store(static_cast<int>(code.why), std::memory_order_relaxed);
      if (code.run != nullptr) {
        nativeRegion_ = code.region;
        std::atomic_ref<exprcalc::NativeFunction>(native_).store(code.run, std::memory_order_release);
        return code.run(&value);
      }
    }
  }
  const exprcalc::Outcome outcome = slotCount_ > SmallFrame ? RunSteps<MostNumbers>() : RunSteps<SmallFrame>();
  value = outcome.value;
  return outcome.code;
}

int exprcalc_expr::Form(const VariableTable& table, int& why) const noexcept {
  if (table.Generation() != quickGeneration_) {
    why = usable_ ? EXPRCALC_CODE_SHAPE : EXPRCALC_CODE_NOT_PREPARED;
    return EXPRCALC_FORM_TEXT;
  }
  if (Native() != nullptr) {
    why = EXPRCALC_CODE_RUNS;
    return EXPRCALC_FORM_MACHINE_CODE;
  }
  why = std::atomic_ref<int>(nativeWhy_).load(std::memory_order_relaxed);
  // Not tried yet: what the host allows now decides whether it ever will be.
  if (why == static_cast<int>(exprcalc::CodeDenial::NotYet)) {
    const exprcalc::CodeDenial policy = exprcalc::CodePolicy();
    if (policy != exprcalc::CodeDenial::None) why = static_cast<int>(policy);
  }
  return EXPRCALC_FORM_STEPS;
}
