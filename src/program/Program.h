// A prepared expression: the operations that evaluating its text performs,
// in order, over a stack of numbers. The parse's course depends on the table
// only through which names exist, where and of which type, so the program
// holds while the table's generation is the one it was prepared under; after
// a change of shape, running it evaluates the text again instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exprcalc.h"
#include "language/ResultCode.h"
#include "program/Steps.h"
#include "recorded/Recorded.h"
#include "variables/VariableTable.h"

namespace exprcalc {
class ProgramRecorder;
}  // namespace exprcalc

// The handle that hosts hold (declared in exprcalc.h) is the program itself.
struct exprcalc_expr {
 public:
  // Prepares text under the table as it is now; null when memory ran out
  // (ProgramRecorder.cpp). The program belongs to table; owner is the table
  // as the host holds it, if any, which the module holds for the program.
  static exprcalc_expr* Prepare(std::string_view text, const exprcalc::VariableTable& table,
                                exprcalc_table* owner = nullptr) noexcept;
  static void Release(exprcalc_expr* program) noexcept;

  // The table the program was prepared in, which it reads when it runs.
  const exprcalc::VariableTable& Table() const noexcept { return *table_; }
  exprcalc_table* Owner() const noexcept { return owner_; }

  // The code and value that evaluating the text gives now, bit for bit.
  // Several threads may run one program at once. It runs its steps first;
  // the run that finds CompileAfter runs done compiles its machine code
  // (once, published atomically) into the table's code space, and every
  // other run only reads the program. Inline: it is the whole of a prepared
  // evaluation while the table keeps its shape.
  exprcalc::ResultCode Run(const exprcalc::VariableTable& table, double& value) const noexcept {
    const exprcalc::NativeFunction native = Native();
    if (table.Generation() == quickGeneration_ && native != nullptr) [[likely]] {
      return native(&value);
    }
    return RunOther(table, value);
  }

  std::string_view Text() const noexcept { return {text_, length_}; }
  // The recorded operations, as the back ends read them under table.
  exprcalc::RecordedProgram Recording(const exprcalc::VariableTable& table) const noexcept {
    return {operations_, operationCount_, constants_, constantCount_, resultSlot_, shape_, table};
  }

  // The form it runs in now, the header's EXPRCALC_FORM_*, and why it is not
  // machine code (EXPRCALC_CODE_*) (ProgramRunner.cpp).
  int Form(const exprcalc::VariableTable& table, int& why) const noexcept;
  // Runs of the steps after which a program compiles: a compile costs about
  // as much as this many runs save (bench/PreparedBenchmarks.cpp measures
  // both), so no host pays for a compile that its evaluations do not repay.
  static constexpr std::uint32_t CompileAfter = 64;
  // True while running follows the prepared operations rather than the text.
  bool Current(const exprcalc::VariableTable& table) const noexcept {
    return usable_ && table.Generation() == generation_;
  }

  // Deepest stack of numbers a program may use; a deeper one runs the text.
  static constexpr std::size_t MostNumbers = exprcalc::operation::MostNumbers;
  // Programs whose stack is no deeper run in a frame of this many numbers.
  static constexpr std::size_t SmallFrame = 16;
  // Steps run in segments of at most this many, each closed by an end step
  // (StepKernels.h); the steps' block has room for the ends.
  static constexpr std::size_t SegmentSteps = 32;

 private:
  friend class exprcalc::ProgramRecorder;
  exprcalc_expr() = default;
  using ResultCode = exprcalc::ResultCode;
  using VariableTable = exprcalc::VariableTable;
  // Runs the steps, segment by segment, in a frame of Slots numbers.
  template <std::size_t Slots>
  exprcalc::Outcome RunSteps() const noexcept {
    double slots[Slots];
    exprcalc::Outcome outcome{exprcalc::Ok, 0.0};
    for (std::size_t i = 0; i < stepCount_ && outcome.code == exprcalc::Ok; i += SegmentSteps + 1) {
      outcome = steps_[i].run(steps_[i], slots);
    }
    return outcome;
  }
  // Compiles the recorded operations into steps; false when memory ran out
  // (ProgramRecorder.cpp).
  bool Compile(const VariableTable& table) noexcept;
  // Out of line, every other case (ProgramRunner.cpp): the text, the steps,
  // and the run that compiles the machine code.
  ResultCode RunOther(const VariableTable& table, double& value) const noexcept;

  const VariableTable* table_ = nullptr;
  exprcalc_table* owner_ = nullptr;
  std::uint64_t generation_ = 0;
  // The generation under which the steps and the machine code hold, or one that never comes.
  static constexpr std::uint64_t NeverQuick = UINT64_MAX;
  std::uint64_t quickGeneration_ = NeverQuick;
  bool usable_ = true;
  std::size_t resultSlot_ = 0;  // the numbers' index of the value, or NoOperand
  exprcalc::ProgramShape shape_;  // measured once the operations are recorded
  std::size_t operationCount_ = 0;
  std::size_t constantCount_ = 0;
  double* constants_ = nullptr;
  std::uint32_t* operations_ = nullptr;
  exprcalc::Step* steps_ = nullptr;  // what Run runs: the operations compiled (Steps.h)
  std::size_t stepCount_ = 0;
  std::size_t slotCount_ = 0;  // the deepest stack of numbers
  // The machine code (NativeCompiler.h), once a run compiled it: plain
  // fields read and written atomically (std::atomic_ref), so that a program
  // stays trivially copyable.
  mutable exprcalc::NativeFunction native_ = nullptr;
  mutable bool nativeTried_ = false;
  mutable void* nativeRegion_ = nullptr;  // for CodeSpace::Release
  // Runs of the steps left before the compile; 0: none is due (compiled,
  // tried, or never to be).
  mutable std::uint32_t untilCompile_ = 0;
  // Why it is not machine code (CodeDenial): NotYet while the compile is due.
  mutable int nativeWhy_ = 0;
  exprcalc::NativeFunction Native() const noexcept {
    return std::atomic_ref<exprcalc::NativeFunction>(native_).load(std::memory_order_acquire);
  }
  char* text_ = nullptr;
  std::size_t length_ = 0;
};

namespace exprcalc {
using Program = ::exprcalc_expr;
}  // namespace exprcalc
