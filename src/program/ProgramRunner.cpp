// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded), its recorded operations
// before the steps are compiled, the steps, and the runs that compile. The
// common case, machine code, is inline in Program.h.
#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "base/CodeSpace.h"
#include "language/BuiltIns.h"
#include "language/HostKinds.h"
#include "native/NativeCompiler.h"
#include "program/Program.h"

using exprcalc::Operation;
using exprcalc::OperationKind;
using exprcalc::Outcome;

Outcome exprcalc::RunRecorded(const RecordedProgram& recorded) noexcept {
  double stack[exprcalc::Program::MostNumbers];
  std::size_t depth = 0;
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const Operation operation = recorded.At(i);
    Outcome outcome{exprcalc::Ok, 0.0};
    switch (operation.kind) {
      case OperationKind::PushConstant:
        stack[depth++] = recorded.constants[operation.index];
        continue;
      case OperationKind::PushVariable:
        stack[depth++] = exprcalc::LoadLeaf(recorded.VariableBytes(operation.index));
        continue;
      case OperationKind::Malformed:
        return {exprcalc::Malformed, 0.0};
      case OperationKind::Negate:
        stack[depth - 1] = exprcalc::Negated(stack[depth - 1]);
        continue;
      case OperationKind::Function:
        outcome = exprcalc::ApplyPrefix(static_cast<exprcalc::TokenKind>(operation.index), stack[depth - 1]);
        break;
      case OperationKind::CallHost: {
        const exprcalc::HostFunctions& functions = recorded.table.Functions();
        outcome = exprcalc::CallHost(functions.CallbackAt(operation.index), functions.UserAt(operation.index),
                                     stack[depth - 1]);
        break;
      }
      case OperationKind::Infix: {
        const double right = operation.right == exprcalc::RightOperand::Stack    ? stack[--depth]
                             : operation.right == exprcalc::RightOperand::Constant ? recorded.constants[operation.index]
                                                                                   : exprcalc::LoadLeaf(recorded.VariableBytes(operation.index));
        outcome = exprcalc::ApplyInfix(stack[depth - 1], exprcalc::SymbolOf(operation.op), right);
        break;
      }
    }
    if (outcome.code != exprcalc::Ok) return {outcome.code, 0.0};
    stack[depth - 1] = outcome.value;
  }
  return {exprcalc::Ok, recorded.resultSlot == exprcalc::NoOperand ? 0.0 : stack[recorded.resultSlot]};
}

const exprcalc::Step* exprcalc_expr::StepsWhenDue(const VariableTable& table) const noexcept {
  // Counting down as the machine code's compile does: a count lost to a race
  // only delays it, and only the thread that first claims it compiles.
  std::atomic_ref<std::uint32_t> pending(untilSteps_);
  const std::uint32_t left = pending.load(std::memory_order_relaxed);
  if (left == 0) return Steps();
  pending.store(left - 1, std::memory_order_relaxed);
  if (left > 1 || std::atomic_ref<bool>(stepsTried_).exchange(true, std::memory_order_acq_rel)) return Steps();
  // Out of memory, the recorded operations stay: they allocate nothing.
  return BuildSteps(table) ? Steps() : nullptr;
}

exprcalc::ResultCode exprcalc_expr::RunOther(const VariableTable& table, double& value) const noexcept {
  // The first runs, while no store was made since preparing, give what
  // preparing worked out; they only count themselves towards the compiles.
  std::atomic_ref<std::uint32_t> untilSteps(untilSteps_);
  if (const std::uint32_t stepsLeft = untilSteps.load(std::memory_order_relaxed); stepsLeft > 1) {
    std::atomic_ref<std::uint32_t> untilCompile(untilCompile_);
    const std::uint32_t compileLeft = untilCompile.load(std::memory_order_relaxed);
    if (compileLeft > 1 && outcomeKept_ && table.Writes() == keptWrites_ && table.Generation() == quickGeneration_) {
      untilSteps.store(stepsLeft - 1, std::memory_order_relaxed);
      untilCompile.store(compileLeft - 1, std::memory_order_relaxed);
      value = keptOutcome_.value;
      return keptOutcome_.code;
    }
  }
  return RunLater(table, value);
}

exprcalc::ResultCode exprcalc_expr::RunLater(const VariableTable& table, double& value) const noexcept {
  value = 0.0;
  if (table.Generation() != quickGeneration_) return exprcalc::Evaluate(Text(), table, value);
  if (const exprcalc::NativeFunction native = Native()) return native(&value);  // published meanwhile
  std::atomic_ref<std::uint32_t> pending(untilCompile_);
  if (const std::uint32_t left = pending.load(std::memory_order_relaxed); left != 0) [[unlikely]] {
    pending.store(left - 1, std::memory_order_relaxed);
    if (left == 1 && !std::atomic_ref<bool>(nativeTried_).exchange(true, std::memory_order_acq_rel)) {
      const exprcalc::CodeDenial denial = exprcalc::NativeDenial(operationCount_);
      const exprcalc::NativeCode code = denial == exprcalc::CodeDenial::None
                                            ? exprcalc::CompileNative(Recording(table), table.Code())
                                            : exprcalc::NativeCode{nullptr, nullptr, denial};
      if (code.run == nullptr) {
        std::atomic_ref<int>(nativeWhy_).store(static_cast<int>(code.why), std::memory_order_relaxed);
      } else {
        nativeRegion_ = code.region;
        std::atomic_ref<exprcalc::NativeFunction>(native_).store(code.run, std::memory_order_release);
        return code.run(&value);
      }
    }
  }
  const exprcalc::Step* steps = StepsWhenDue(table);
  if (steps == nullptr && outcomeKept_ && table.Writes() == keptWrites_) {
    value = keptOutcome_.value;
    return keptOutcome_.code;
  }
  const Outcome outcome = steps == nullptr          ? exprcalc::RunRecorded(Recording(table))
                          : slotCount_ > SmallFrame ? RunSteps<MostNumbers>(steps)
                                                    : RunSteps<SmallFrame>(steps);
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
  // Not tried yet: its length and what the host allows now decide whether
  // it ever will be.
  if (why == static_cast<int>(exprcalc::CodeDenial::NotYet)) {
    exprcalc::CodeDenial denial = exprcalc::NativeDenial(operationCount_);
    if (denial == exprcalc::CodeDenial::None) denial = exprcalc::CodePolicy();
    if (denial != exprcalc::CodeDenial::None) why = static_cast<int>(denial);
  }
  return EXPRCALC_FORM_STEPS;
}
