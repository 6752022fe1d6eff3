// Preparing a program: the text is parsed once with a recorder standing in
// for the arithmetic, so every reduction becomes an operation instead of a
// value. Steps on constants are folded where the fold succeeds; a step that
// fails stays in the program, so its code comes at the same point as in a
// plain evaluation (ProgramRunner.cpp runs the program; ProgramBlock.cpp
// lays out its memory).
#include "program/Program.h"

#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "language/Parse.h"
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

  // Each operation's value is worked out too, with the values the table
  // holds now, so that the program keeps what its text gives now: a failure
  // is kept and the parse goes on (its course never depends on the values).
  Outcome Prefix(TokenKind k, double y) noexcept {
    if (k == '+') return {Ok, y};  // the operand as it is
    // A function of the host's own is called each time the program runs,
    // never folded, and not while preparing: an application is one call.
    if (IsHostKind(k)) {
      Emit(operation::CallHost, static_cast<std::uint32_t>(k - FirstHostKind), 0);
      program_.outcomeKept_ = false;
      return {Ok, 0.0};
    }
    const Outcome outcome = ApplyPrefix(k, y);
    if (LastIs(operation::PushConstant, 1) && outcome.code == Ok) {  // y is that constant
      program_.constants_[OperandOf(1)] = outcome.value;
      return outcome;
    }
    if (k == '-') {
      Emit(operation::Negate, 0, 0);
    } else {
      Emit(operation::Function, k, 0);
    }
    return Kept(outcome);
  }

  Outcome Infix(double a, TokenKind op, double b) noexcept {
    const Outcome outcome = ApplyInfix(a, op, b);
    const bool constant = LastIs(operation::PushConstant, 1);
    if (constant && LastIs(operation::PushConstant, 2) && outcome.code == Ok) {  // a and b are those constants
      program_.constants_[OperandOf(2)] = outcome.value;
      --program_.constantCount_;  // the right operand's, the last one added
      --program_.operationCount_;
      --depth_;
      return outcome;
    }
    // A right operand that is one constant or variable is read by the operation itself.
    const Operator infix = OperatorOfSymbol(op);
    if (constant || LastIs(operation::PushVariable, 1)) {
      const RightOperand right = constant ? RightOperand::Constant : RightOperand::Variable;
      const std::uint32_t operand = OperandOf(1);
      --program_.operationCount_;
      --depth_;
      Emit(InfixCode(infix, right), operand, 0);
    } else {
      Emit(InfixCode(infix, RightOperand::Stack), 0, -1);
    }
    return Kept(outcome);
  }

  // Only a malformed stretch can fail here: the recorder's arithmetic never
  // does. The parse ends here, or in Finished.
  void Failed(const Failure& failure) noexcept {
    Emit(operation::Malformed, 0, 0);
    Kept({failure.code, 0.0});
    Conclude();
  }

  void Finished(const EvalStack& stack) noexcept {
    program_.resultSlot_ = LowestOperand(stack);
    Conclude();
  }

 private:
  // The first failure is the text's outcome; the parse goes on with the value 0.0.
  Outcome Kept(Outcome outcome) noexcept {
    if (outcome.code != Ok && program_.keptOutcome_.code == Ok) program_.keptOutcome_ = {outcome.code, 0.0};
    return {Ok, outcome.value};
  }

  void PushConstant(double value) noexcept {
    program_.constants_[program_.constantCount_] = value;
    Emit(operation::PushConstant, static_cast<std::uint32_t>(program_.constantCount_++), +1);
  }

  // An operand beyond 24 bits cannot be encoded: the program is then not
  // used, and running it evaluates the text.
  // The shape is measured here, as each operation is written: an operation
  // must find its operands on the stack, and the stack's depth counts once
  // the next operation shows that the push before it stays (an infix
  // operation takes a pushed constant or variable in as its right operand,
  // and a fold takes both constants back). A malformed operation is the
  // last one recorded.
  void Emit(operation::Code code, std::uint32_t operand, int depthChange) noexcept {
    if (operand > operation::LargestOperand) program_.usable_ = false;
    const std::uint32_t word = Encode(code, operand);
    program_.operations_[program_.operationCount_++] = word;
    if (!ended_) {
      Commit();
      ended_ = code == operation::Malformed;
      if (depthChange <= 0 && !ended_ && depth_ < (depthChange < 0 ? 2u : 1u)) broken_ = true;
      if (CallsOut(Decode(word))) program_.shape_.calls = true;
    }
    depth_ = static_cast<std::size_t>(static_cast<long long>(depth_) + depthChange);
    if (depth_ > Program::MostNumbers) program_.usable_ = false;
  }
  void Commit() noexcept {
    if (!ended_ && depth_ > deepest_) deepest_ = depth_;
  }
  // The result slot must be on the stack at the end.
  void Conclude() noexcept {
    Commit();
    ProgramShape& shape = program_.shape_;
    shape.runnable = !broken_ && (program_.resultSlot_ == NoOperand || program_.resultSlot_ < depth_);
    shape.deepest = deepest_ == 0 ? 1 : deepest_;
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
  std::size_t deepest_ = 0;
  bool broken_ = false;  // an operation without its operands
  bool ended_ = false;   // a malformed operation was written
};
static_assert(ParseObserver<ProgramRecorder>);

}  // namespace exprcalc

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

// Records the text into the program, and sets when its steps and machine
// code are compiled; false when memory ran out.
bool exprcalc_expr::Record(std::string_view text, const VariableTable& table) noexcept {
  using namespace exprcalc;
  generation_ = table.Generation();
  table_ = &table;
  length_ = text.size();
  if (text.empty()) {
    resultSlot_ = NoOperand;
    shape_ = ProgramShape{true, 1, false};
    return true;
  }
  TokenReader input(text, table);
  ProgramRecorder recorder(*this);
  double value = 0.0;
  const ResultCode code = Parse(text, input, value, recorder);
  if (code == OutOfMemory) return false;
  if (keptOutcome_.code == Ok) keptOutcome_ = {code, code == Ok ? value : 0.0};
  keptWrites_ = table.Writes();
  if (!shape_.runnable) usable_ = false;
  if (usable_) {
    quickGeneration_ = generation_;
    untilSteps_ = StepsAfter + 1;
    const CodeDenial why = NativeDenial(operationCount_);
    nativeWhy_ = static_cast<int>(why == CodeDenial::None ? CodeDenial::NotYet : why);
    untilCompile_ = why == CodeDenial::None ? RunsBeforeCompile() : 0;
  }
  return true;
}
