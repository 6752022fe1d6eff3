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
// What recording a text gives besides its operations and constants.
struct RecordedText {
  std::size_t operationCount = 0;
  std::size_t constantCount = 0;
  std::size_t applied = 0;  // operations other than pushes: each gives at most one step
  std::size_t resultSlot = NoOperand;  // the numbers' index of the value, or NoOperand
  ProgramShape shape{true, 1, false};
  // The operations can run; else the text is evaluated (a shape not
  // runnable, a stack too deep, an operand that cannot be encoded).
  bool usable = true;
  Outcome outcome{Ok, 0.0};  // what the text gives with the table's values of the moment
  bool outcomeKept = true;   // false: it calls a host's function, which every run must call
};

// Records text under table into operations and constants, which have room
// for text.size() + 2 of each; false when memory ran out (ProgramRecorder.cpp).
bool RecordText(std::string_view text, const VariableTable& table, double* constants, std::uint32_t* operations,
                RecordedText& recorded) noexcept;
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
  // Several threads may run one program at once. Its first StepsAfter runs
  // follow the recorded operations, the run after them compiles the steps,
  // and the CompileAfter-th run compiles its machine code into the table's
  // code space. Each is compiled once, by the run that claims it, and
  // published atomically; every other run only reads the program. Inline:
  // it is the whole of a prepared evaluation while the table keeps its shape.
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
  // Runs of the recorded operations after which a program compiles its
  // steps. Compiling them costs about as much as recording the text (a few
  // hundred instructions) and saves a few dozen a run, so a program that is
  // evaluated once or twice never pays for it.
  static constexpr std::uint32_t StepsAfter = 2;
  // Runs after which a program compiles its machine code. A compile costs about
  // 9 us (mostly the system calls that map and unmap the writable view),
  // and machine code saves 3 to 30 ns a run over the fused steps
  // (bench/PreparedBenchmarks.cpp, PrepareRun/63 and /64 against
  // Prepared/none): after this many runs a program has shown that it is
  // evaluated often enough to repay the compile within a few thousand more,
  // and the compile adds at most 9 ns to each run before it.
  static constexpr std::uint32_t CompileAfter = 1024;
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
  exprcalc_expr() = default;
  exprcalc_expr(const exprcalc::RecordedText& recorded, std::string_view text,
                const exprcalc::VariableTable& table) noexcept;
  using ResultCode = exprcalc::ResultCode;
  using VariableTable = exprcalc::VariableTable;
  // Runs the steps, segment by segment, in a frame of Slots numbers.
  template <std::size_t Slots>
  exprcalc::Outcome RunSteps(const exprcalc::Step* steps) const noexcept {
    double slots[Slots];
    exprcalc::Outcome outcome{exprcalc::Ok, 0.0};
    for (std::size_t i = 0; i < stepCount_ && outcome.code == exprcalc::Ok; i += SegmentSteps + 1) {
      outcome = steps[i].run(steps[i], slots);
    }
    return outcome;
  }
  // Preparing (ProgramBlock.cpp): a short text on the stack first, a long
  // one in place; where the parts lie in the block; taking in what the
  // recording gave.
  static exprcalc_expr* PrepareStaged(std::string_view text, const VariableTable& table) noexcept;
  static exprcalc_expr* PrepareInPlace(std::string_view text, const VariableTable& table) noexcept;
  void Place(std::size_t steps, std::size_t constants, std::size_t operations) noexcept;
  void Adopt(const exprcalc::RecordedText& recorded, std::string_view text, const VariableTable& table) noexcept;
  // Whether runs follow the recorded operations, and compile them, while
  // the table keeps its shape. The empty text is evaluated as text: it
  // gives 0 and 0.0 at once.
  static bool RunsOperations(const exprcalc::RecordedText& recorded, std::string_view text) noexcept {
    return recorded.usable && !text.empty();
  }
  // Compiles the recorded operations into steps and publishes them; false
  // when memory ran out (ProgramRecorder.cpp).
  bool BuildSteps(const VariableTable& table) const noexcept;
  std::size_t PushCount() const noexcept;
  // The steps once published, or null: the run that finds StepsAfter runs
  // of the recorded operations done compiles them first.
  const exprcalc::Step* StepsWhenDue(const VariableTable& table) const noexcept;
  // Out of line, every other case (ProgramRunner.cpp): the first runs'
  // kept value in a short function of its own, and after them the text, the
  // recorded operations, the steps, and the runs that compile.
  ResultCode RunOther(const VariableTable& table, double& value) const noexcept;
  ResultCode RunLater(const VariableTable& table, double& value) const noexcept;

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
  // The operations compiled (Steps.h), once a run compiled them: published
  // atomically, after stepCount_ and slotCount_.
  mutable exprcalc::Step* steps_ = nullptr;
  exprcalc::Step* Steps() const noexcept {
    return std::atomic_ref<exprcalc::Step*>(steps_).load(std::memory_order_acquire);
  }
  exprcalc::Step* stepRoom_ = nullptr;  // the room the block keeps for the steps, if any
  // What the text gave when it was prepared, which a run before the steps
  // gives while the table has had no store since (none: it calls a host's
  // function, which every run must call).
  exprcalc::Outcome keptOutcome_{exprcalc::Ok, 0.0};
  std::uint64_t keptWrites_ = 0;
  bool outcomeKept_ = true;
  mutable std::size_t stepCount_ = 0;
  mutable std::size_t slotCount_ = 0;  // the deepest stack of numbers
  // Runs left until the one that compiles the steps, that one included;
  // 0: compiled, or tried and memory ran out (the recorded operations stay).
  mutable std::uint32_t untilSteps_ = 0;
  mutable bool stepsTried_ = false;
  // The machine code (NativeCompiler.h), once a run compiled it: plain
  // fields read and written atomically (std::atomic_ref), so that a program
  // stays trivially copyable.
  mutable exprcalc::NativeFunction native_ = nullptr;
  mutable bool nativeTried_ = false;
  mutable void* nativeRegion_ = nullptr;  // for CodeSpace::Release
  // Runs left before the compile; 0: none is due (compiled,
  // tried, or never to be).
  mutable std::uint32_t untilCompile_ = 0;
  // Why it is not machine code (CodeDenial): NotYet while the compile is due.
  mutable int nativeWhy_ = 0;
  exprcalc::NativeFunction Native() const noexcept {
    return std::atomic_ref<exprcalc::NativeFunction>(native_).load(std::memory_order_acquire);
  }
  char* text_ = nullptr;
  std::size_t length_ = 0;
  std::size_t blockBytes_ = 0;  // the size of the block it lies in, for its release
};

namespace exprcalc {
using Program = ::exprcalc_expr;

// Runs the recorded operations one by one on a stack of numbers: the very
// operations, in their order, with the functions the steps call. A program
// runs them until its steps are compiled (ProgramRunner.cpp).
Outcome RunRecorded(const RecordedProgram& recorded) noexcept;
}  // namespace exprcalc
