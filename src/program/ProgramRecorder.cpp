// Preparing a program: the text is parsed once with a recorder standing in
// for the arithmetic, so every reduction becomes an operation instead of a
// value. Steps on constants are folded where the fold succeeds; a step that
// fails stays in the program, so its code comes at the same point as in a
// plain evaluation (see ProgramRunner.cpp for the other half).
#include "program/Program.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/Memory.h"
#include "language/Parse.h"
#include "base/CodeSpace.h"
#include "native/NativeCompiler.h"

namespace exprcalc {

class ProgramRecorder {
 public:
  explicit ProgramRecorder(Program& program) noexcept : program_(program) {}

  void Prepare(std::size_t) noexcept {}

  // A number is a literal or PAI, which stays what it is, or a variable,
  // which is read from its record each run (a text variable reads as 0).
  void Shifted(std::size_t, const Token& token, const TokenReader& input) noexcept {
    if (token.kind != kind::Number) return;
    const Resolution name = input.Resolved();
    if (name.kind == Resolution::Kind::NumberRecord) {
      Emit(operation::PushVariable, static_cast<std::uint32_t>(name.record), +1);
    } else {
      PushConstant(token.value);
    }
  }

  Outcome Prefix(TokenKind k, double) noexcept {
    if (k == '+') return {Ok, 0.0};  // the operand as it is
    // A function of the host's own is called each time the program runs,
    // never folded: an application is one call.
    if (IsHostKind(k)) {
      Emit(operation::CallHost, static_cast<std::uint32_t>(k - FirstHostKind), 0);
      return {Ok, 0.0};
    }
    if (LastIs(operation::PushConstant, 1)) {
      const Outcome folded = ApplyPrefix(k, program_.constants_[OperandOf(1)]);
      if (folded.code == Ok) {
        program_.constants_[OperandOf(1)] = folded.value;
        return {Ok, 0.0};
      }
    }
    if (k == '-') {
      Emit(operation::Negate, 0, 0);
    } else {
      Emit(operation::Function, k, 0);
    }
    return {Ok, 0.0};
  }

  Outcome Infix(double, TokenKind op, double) noexcept {
    if (LastIs(operation::PushConstant, 1) && LastIs(operation::PushConstant, 2)) {
      const Outcome folded = ApplyInfix(program_.constants_[OperandOf(2)], op, program_.constants_[OperandOf(1)]);
      if (folded.code == Ok) {
        program_.constants_[OperandOf(2)] = folded.value;
        --program_.constantCount_;  // the right operand's, the last one added
        --program_.operationCount_;
        --depth_;
        return {Ok, 0.0};
      }
    }
    // A right operand that is one constant or variable is read by the operation itself.
    const Operator infix = OperatorOfSymbol(op);
    if (LastIs(operation::PushConstant, 1) || LastIs(operation::PushVariable, 1)) {
      const RightOperand right = LastIs(operation::PushConstant, 1) ? RightOperand::Constant : RightOperand::Variable;
      const std::uint32_t operand = OperandOf(1);
      --program_.operationCount_;
      --depth_;
      Emit(InfixCode(infix, right), operand, 0);
    } else {
      Emit(InfixCode(infix, RightOperand::Stack), 0, -1);
    }
    return {Ok, 0.0};
  }

  // Only a malformed stretch can fail here: the recorder's arithmetic never does.
  void Failed(const Failure&) noexcept { Emit(operation::Malformed, 0, 0); }

  void Finished(const EvalStack& stack) noexcept { program_.resultSlot_ = LowestOperand(stack); }

 private:
  void PushConstant(double value) noexcept {
    program_.constants_[program_.constantCount_] = value;
    Emit(operation::PushConstant, static_cast<std::uint32_t>(program_.constantCount_++), +1);
  }

  // An operand beyond 24 bits cannot be encoded: the program is then not
  // used, and running it evaluates the text.
  void Emit(operation::Code code, std::uint32_t operand, int depthChange) noexcept {
    if (operand > operation::LargestOperand) program_.usable_ = false;
    program_.operations_[program_.operationCount_++] = Encode(code, operand);
    depth_ = static_cast<std::size_t>(static_cast<long long>(depth_) + depthChange);
    if (depth_ > Program::MostNumbers) program_.usable_ = false;
  }

  // True when the back-th operation from the end is code: for a push, the
  // back-th number from the top is then that constant or variable.
  bool LastIs(operation::Code code, std::size_t back) const noexcept {
    return program_.operationCount_ >= back &&
           CodeOf(program_.operations_[program_.operationCount_ - back]) == code;
  }
  std::uint32_t OperandOf(std::size_t back) const noexcept {
    return Decode(program_.operations_[program_.operationCount_ - back]).index;
  }

  Program& program_;
  std::size_t depth_ = 0;
};
static_assert(ParseObserver<ProgramRecorder>);

}  // namespace exprcalc

exprcalc_expr* exprcalc_expr::Prepare(std::string_view text, const VariableTable& table,
                                      exprcalc_table* owner) noexcept {
  using namespace exprcalc;
  // Every token takes a byte of text, so a text of n bytes gives at most n + 1
  // operations and as many constants (at most 13 bytes per byte of text).
  const std::size_t most = text.size() + 2;
  std::size_t bytes = 0;
  if (!MultiplySize(most, sizeof(double) + sizeof(std::uint32_t), bytes) || bytes > SIZE_MAX - sizeof(Program) - most) {
    return nullptr;
  }
  bytes += sizeof(Program) + most;
  void* block = Allocate(bytes);
  if (block == nullptr) return nullptr;
  Program* program = new (block) Program;
  program->constants_ = reinterpret_cast<double*>(program + 1);
  program->operations_ = reinterpret_cast<std::uint32_t*>(program->constants_ + most);
  program->text_ = reinterpret_cast<char*>(program->operations_ + most);
  if (!text.empty()) std::memcpy(program->text_, text.data(), text.size());
  program->length_ = text.size();
  program->generation_ = table.Generation();
  program->table_ = &table;

  if (!text.empty()) {
    TokenReader input(text, table);
    ProgramRecorder recorder(*program);
    double ignored = 0.0;
    if (Parse(text, input, ignored, recorder) == OutOfMemory) {
      Release(program);
      return nullptr;
    }
    program->shape_ = MeasureShape(program->operations_, program->operationCount_, program->resultSlot_,
                                   program->constantCount_, static_cast<std::size_t>(table.GetCount()),
                                   table.Functions().Count());
    if (!program->Compile(table)) {
      Release(program);
      return nullptr;
    }

  } else {
    program->resultSlot_ = NoOperand;
    program->shape_ = MeasureShape(nullptr, 0, NoOperand, 0, 0, 0);
  }
  program->owner_ = owner;
  return program;
}

namespace {

// CompileAfter, or fewer runs under the test switch EXPRCALC_COMPILE_AFTER=n
// (1 to CompileAfter; read once), so that tests of the machine code need not
// run each text a thousand times.
std::uint32_t RunsBeforeCompile() noexcept {
  static const std::uint32_t runs = [] {
    const char* setting = std::getenv("EXPRCALC_COMPILE_AFTER");
    if (setting == nullptr) return exprcalc::Program::CompileAfter;
    const unsigned long asked = std::strtoul(setting, nullptr, 10);
    return asked >= 1 && asked < exprcalc::Program::CompileAfter ? static_cast<std::uint32_t>(asked)
                                                                  : exprcalc::Program::CompileAfter;
  }();
  return runs;
}

}  // namespace

// The steps take a block of their own, sized by the operations recorded (at
// most one step each); false when it cannot be had. Operations that do not
// compile leave the program following its text. Every program has its steps:
// machine code comes later, once runs show it pays, and may never come.
bool exprcalc_expr::Compile(const VariableTable& table) noexcept {
  using namespace exprcalc;
  if (!usable_) return true;
  // At most one step per operation, and an end per segment. Fused steps
  // are fewer: a short program is compiled on the stack and keeps just its
  // steps; a long one gives back the room it did not use.
  const std::size_t most = operationCount_ + operationCount_ / SegmentSteps + 2;
  constexpr std::size_t StackSteps = 64;
  Step onStack[StackSteps];
  std::size_t bytes = 0;
  if (!MultiplySize(most, sizeof(Step), bytes)) return false;
  Step* compiled = most <= StackSteps ? onStack : static_cast<Step*>(Allocate(bytes));
  if (compiled == nullptr) return false;
  stepCount_ = CompileSteps(Recording(table), compiled, slotCount_);
  const std::size_t kept = stepCount_ == NotCompiled ? 0 : stepCount_;
  if (compiled == onStack) {
    // Where the constants left room in the block (there is one per byte of
    // text), the steps go there: no second allocation to make and free.
    const std::size_t room = (length_ + 2 - constantCount_) * sizeof(double);
    if (kept > 0) {
      steps_ = kept * sizeof(Step) <= room ? reinterpret_cast<Step*>(constants_ + constantCount_)
                                           : static_cast<Step*>(Allocate(kept * sizeof(Step)));
      if (steps_ == nullptr) return false;
      std::memcpy(steps_, onStack, kept * sizeof(Step));
    }
  } else {
    steps_ = static_cast<Step*>(exprcalc::Shrink(compiled, kept * sizeof(Step)));
  }
  if (stepCount_ == NotCompiled) {
    usable_ = false;
  } else {
    quickGeneration_ = generation_;
    const CodeDenial why = NativeDenial(operationCount_);
    nativeWhy_ = static_cast<int>(why == CodeDenial::None ? CodeDenial::NotYet : why);
    untilCompile_ = why == CodeDenial::None ? RunsBeforeCompile() : 0;
  }
  return true;
}

void exprcalc_expr::Release(exprcalc_expr* program) noexcept {
  if (program == nullptr) return;
  if (program->steps_ != nullptr && !program->StepsInBlock()) exprcalc::Release(program->steps_);
  exprcalc::CodeSpace::Release(program->nativeRegion_);
  program->~exprcalc_expr();
  exprcalc::Release(program);
}
