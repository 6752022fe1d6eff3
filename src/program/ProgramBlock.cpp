// A prepared program's memory: one block for a text of up to 256 bytes,
// recorded on the stack first and laid out to the sizes it needs, with room
// for its steps; a longer text recorded in place, its steps compiled at once
// into a block of their own. (ProgramRecorder.cpp records; ProgramRunner.cpp runs.)
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

#include "base/CodeSpace.h"
#include "base/Memory.h"
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
      !exprcalc::MultiplySize(constants, sizeof(double) + sizeof(std::uint32_t), numberBytes)) {
    return false;
  }
  bytes = sizeof(Program);
  for (const std::size_t part : {stepBytes, numberBytes, operations * sizeof(std::uint32_t), text}) {
    if (part > SIZE_MAX - bytes) return false;
    bytes += part;
  }
  return true;
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
  std::size_t bytes = 0;
  if (!BlockBytes(steps, recorded.constantCount, recorded.operationCount, text.size(), bytes)) return nullptr;
  void* block = Allocate(bytes);
  if (block == nullptr) return nullptr;
  Program* program = new (block) Program;
  program->Place(steps, recorded.constantCount, recorded.operationCount);
  program->Adopt(recorded, text, table);
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
  void* block = Allocate(bytes);
  if (block == nullptr) return nullptr;
  Program* program = new (block) Program;
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
  exprcalc::CodeSpace::Release(program->nativeRegion_);
  program->~exprcalc_expr();
  exprcalc::Release(program);
}
