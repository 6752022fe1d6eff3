// A prepared program's memory: one block for a text of up to 256 bytes,
// recorded on the stack first and laid out to the sizes it needs, with room
// for its steps; a longer text recorded in place, its steps compiled at once
// into a block of their own. (ProgramRecorder.cpp records; ProgramRunner.cpp runs.)
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/CodeSpace.h"
#include "base/Memory.h"
#include "native/NativeCompiler.h"
#include "program/Program.h"

namespace {

using exprcalc::Program;
using exprcalc::Step;

// A text of up to this many bytes is recorded on the stack first; its
// program then takes one block of the size it needs, with room for its
// steps, which its third evaluation compiles there. A longer text's program
// is recorded in its block and compiles its steps at once, keeping just
// what they take.
constexpr std::size_t StagedText = 256;

// Room for the operations and constants of a text of n bytes: every token
// takes a byte of text, so it gives at most n + 1 of each.
constexpr std::size_t MostOperations(std::size_t n) noexcept { return n + 2; }
// At most one step per operation (pushes give none), and an end per segment.
constexpr std::size_t MostSteps(std::size_t operations) noexcept {
  return operations + operations / Program::SegmentSteps + 2;
}

// The block's size for a program of the sizes given, laid out as Lay does;
// false when it does not fit in a size_t.
bool BlockBytes(std::size_t steps, std::size_t constants, std::size_t operations, std::size_t text,
                std::size_t& bytes) noexcept {
  std::size_t stepBytes = 0;
  std::size_t numberBytes = 0;
  if (!exprcalc::MultiplySize(steps, sizeof(Step), stepBytes) ||
      !exprcalc::MultiplySize(constants, sizeof(double), numberBytes)) {
    return false;
  }
  bytes = sizeof(Program);
  for (const std::size_t part : {stepBytes, numberBytes, operations * sizeof(std::uint32_t), text}) {
    if (part > SIZE_MAX - bytes) return false;
    bytes += part;
  }
  return true;
}

// The same for a text of up to StagedText bytes, whose parts are too few for
// the sum to overflow.
constexpr std::size_t StagedBlockBytes(std::size_t steps, std::size_t constants, std::size_t operations,
                                       std::size_t text) noexcept {
  return sizeof(Program) + steps * sizeof(Step) + constants * sizeof(double) + operations * sizeof(std::uint32_t) +
         text;
}

// CompileAfter, or fewer runs under the test switch EXPRCALC_COMPILE_AFTER=n
// (1 to CompileAfter; read once), so that tests of the machine code need not
// run each text a thousand times.
std::uint32_t RunsBeforeCompile() noexcept {
  static const std::uint32_t runs = [] {
    const char* setting = std::getenv("EXPRCALC_COMPILE_AFTER");
    if (setting == nullptr) return Program::CompileAfter;
    const unsigned long asked = std::strtoul(setting, nullptr, 10);
    return asked >= 1 && asked < Program::CompileAfter ? static_cast<std::uint32_t>(asked) : Program::CompileAfter;
  }();
  return runs;
}

// Copies count items. A short text's constants and operations are mostly a
// few, which a loop copies for less than a call of memcpy costs.
template <typename T>
void CopyFew(T* to, const T* from, std::size_t count) noexcept {
  if (count > 4) {
    std::memcpy(to, from, count * sizeof(T));
    return;
  }
  for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
}

}  // namespace

// Takes what recording its text gave, and sets when its steps and machine
// code are compiled.
[[gnu::always_inline]] inline void exprcalc_expr::Adopt(const exprcalc::RecordedText& recorded, std::string_view text,
                          const VariableTable& table) noexcept {
  using namespace exprcalc;
  table_ = &table;
  generation_ = table.Generation();
  length_ = text.size();
  usable_ = recorded.usable;
  resultSlot_ = recorded.resultSlot;
  shape_ = recorded.shape;
  operationCount_ = recorded.operationCount;
  constantCount_ = recorded.constantCount;
  keptOutcome_ = recorded.outcome;
  outcomeKept_ = recorded.outcomeKept;
  keptWrites_ = table.Writes();
  if (RunsOperations(recorded, text)) {
    quickGeneration_ = generation_;
    untilSteps_ = StepsAfter + 1;
    // Whether the host and the program allow machine code is asked when it
    // is due (and by Form), not here: most programs never get that far.
    nativeWhy_ = static_cast<int>(CodeDenial::NotYet);
    untilCompile_ = RunsBeforeCompile();
  }
}

// Inline where a block is made, so that the members are written once.
[[gnu::always_inline]] inline exprcalc_expr::exprcalc_expr(const exprcalc::RecordedText& recorded,
                                                           std::string_view text, const VariableTable& table) noexcept {
  Adopt(recorded, text, table);
}

// [program][steps' room][constants][operations][text], each part aligned
// for what it holds (the parts before it are multiples of 8 or of 4 bytes).
void exprcalc_expr::Place(std::size_t steps, std::size_t constants, std::size_t operations) noexcept {
  static_assert(sizeof(Program) % alignof(Step) == 0 && sizeof(Step) % alignof(double) == 0);
  Step* const room = reinterpret_cast<Step*>(this + 1);
  stepRoom_ = steps == 0 ? nullptr : room;
  constants_ = reinterpret_cast<double*>(room + steps);
  operations_ = reinterpret_cast<std::uint32_t*>(constants_ + constants);
  text_ = reinterpret_cast<char*>(operations_ + operations);
}

exprcalc_expr* exprcalc_expr::Prepare(std::string_view text, const VariableTable& table,
                                      exprcalc_table* owner) noexcept {
  using namespace exprcalc;
  Program* program = text.size() <= StagedText ? PrepareStaged(text, table) : PrepareInPlace(text, table);
  if (program != nullptr) program->owner_ = owner;
  return program;
}

// Recorded on the stack, then moved into a block of the size it needs.
exprcalc_expr* exprcalc_expr::PrepareStaged(std::string_view text, const VariableTable& table) noexcept {
  using namespace exprcalc;
  double constants[MostOperations(StagedText)];
  std::uint32_t operations[MostOperations(StagedText)];
  RecordedText recorded;
  if (!RecordText(text, table, constants, operations, recorded)) return nullptr;
  const std::size_t steps = RunsOperations(recorded, text) ? MostSteps(recorded.applied) : 0;
  const std::size_t bytes = StagedBlockBytes(steps, recorded.constantCount, recorded.operationCount, text.size());
  std::size_t capacity = 0;
  void* block = AllocateReusable(bytes, capacity);
  if (block == nullptr) return nullptr;
  Program* program = new (block) Program(recorded, text, table);
  program->blockBytes_ = capacity;
  program->Place(steps, recorded.constantCount, recorded.operationCount);
  CopyFew(program->constants_, constants, recorded.constantCount);
  CopyFew(program->operations_, operations, recorded.operationCount);
  if (!text.empty()) std::memcpy(program->text_, text.data(), text.size());
  return program;
}

// Recorded in a block with room for the most operations the text can give;
// the steps are compiled at once and take a block of their own.
exprcalc_expr* exprcalc_expr::PrepareInPlace(std::string_view text, const VariableTable& table) noexcept {
  using namespace exprcalc;
  const std::size_t most = MostOperations(text.size());
  std::size_t bytes = 0;
  if (!BlockBytes(0, most, most, text.size(), bytes)) return nullptr;
  std::size_t capacity = 0;
  void* block = AllocateReusable(bytes, capacity);
  if (block == nullptr) return nullptr;
  Program* program = new (block) Program;
  program->blockBytes_ = capacity;
  program->Place(0, most, most);
  std::memcpy(program->text_, text.data(), text.size());
  RecordedText recorded;
  if (!RecordText(text, table, program->constants_, program->operations_, recorded)) {
    Release(program);
    return nullptr;
  }
  program->Adopt(recorded, text, table);
  if (program->untilSteps_ != 0 && !program->BuildSteps(table)) {
    Release(program);
    return nullptr;
  }
  program->untilSteps_ = 0;
  return program;
}

// The pushes among the operations, which give no step (for a check).
std::size_t exprcalc_expr::PushCount() const noexcept {
  std::size_t pushes = 0;
  for (std::size_t i = 0; i < operationCount_; ++i) {
    const exprcalc::OperationKind kind = exprcalc::Decode(operations_[i]).kind;
    pushes += kind == exprcalc::OperationKind::PushConstant || kind == exprcalc::OperationKind::PushVariable ? 1 : 0;
  }
  return pushes;
}

// The steps go into the room the block keeps for them, or else take a block
// of their own, sized by the operations recorded; false when it cannot be
// had. Only the run that claimed the compile writes them, and they are
// published last.
bool exprcalc_expr::BuildSteps(const VariableTable& table) const noexcept {
  using namespace exprcalc;
  Step* steps = stepRoom_;
  if (steps == nullptr) {
    std::size_t bytes = 0;
    if (!MultiplySize(MostSteps(operationCount_), sizeof(Step), bytes)) return false;
    steps = static_cast<Step*>(Allocate(bytes));
    if (steps == nullptr) return false;
  }
  stepCount_ = CompileSteps(Recording(table), steps, slotCount_);
  assert(stepCount_ != NotCompiled && stepCount_ > 0);  // the shape was runnable when it was recorded
  assert(stepCount_ <= MostSteps(operationCount_ - PushCount()));
  // A block of its own gives back the room the fused steps did not use.
  if (steps != stepRoom_) steps = static_cast<Step*>(exprcalc::Shrink(steps, stepCount_ * sizeof(Step)));
  std::atomic_ref<Step*>(steps_).store(steps, std::memory_order_release);
  return true;
}

void exprcalc_expr::Release(exprcalc_expr* program) noexcept {
  if (program == nullptr) return;
  if (program->steps_ != nullptr && program->steps_ != program->stepRoom_) exprcalc::Release(program->steps_);
  if (program->nativeRegion_ != nullptr) exprcalc::CodeSpace::Release(program->nativeRegion_);
  const std::size_t bytes = program->blockBytes_;
  program->~exprcalc_expr();
  exprcalc::ReleaseReusable(program, bytes);
}
