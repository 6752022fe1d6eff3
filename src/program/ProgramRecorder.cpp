// Preparing a program: the text is parsed once with a recorder standing in
// for the arithmetic, so every reduction becomes an operation instead of a
// value. Steps on constants are folded where the fold succeeds; a step that
// fails stays in the program, so its code comes at the same point as in a
// plain evaluation (ProgramRunner.cpp runs the program; ProgramBlock.cpp
// lays out its memory).
#include "program/Program.h"

#include <cmath>

#include "language/Parse.h"

namespace exprcalc {

class ProgramRecorder {
 public:
  ProgramRecorder(double* constants, std::uint32_t* operations) noexcept
      : constants_(constants), operations_(operations) {}

  // What the recording gave, once the parse ended.
  const RecordedText& Result() const noexcept { return result_; }

  void Prepare(std::size_t) noexcept {}

  // A number is a literal or PAI, which stays what it is, or a variable,
  // which is read from its record each run (a text variable reads as 0).
  void Shifted(std::size_t, const Token& token, const TokenReader& input) noexcept {
    if (token.kind != kind::Number) return;
    const Resolution name = input.Resolved();
    if (name.kind == Resolution::Kind::NumberRecord) {
      Push(operation::PushVariable, static_cast<std::uint32_t>(name.record));
    } else {
      constants_[result_.constantCount] = token.value;
      Push(operation::PushConstant, static_cast<std::uint32_t>(result_.constantCount++));
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
      Apply(operation::CallHost, static_cast<std::uint32_t>(k - FirstHostKind), 1);
      result_.shape.calls = true;
      result_.outcomeKept = false;
      return {Ok, 0.0};
    }
    const Outcome outcome = ApplyPrefix(k, y);
    if (LastIs(operation::PushConstant, 1) && outcome.code == Ok) {  // y is that constant
      constants_[OperandOf(1)] = outcome.value;
      return outcome;
    }
    if (k == '-') {
      Apply(operation::Negate, 0, 1);
    } else {
      Apply(operation::Function, k, 1);
      if (k != 'Q' && k != 'A') result_.shape.calls = true;  // SQRT and ABS are single instructions
    }
    return Kept(outcome);
  }

  [[gnu::always_inline]] Outcome Infix(double a, TokenKind op, double b) noexcept {
    const Outcome outcome = ApplyInfix(a, op, b);
    const bool constant = LastIs(operation::PushConstant, 1);
    if (constant && LastIs(operation::PushConstant, 2) && outcome.code == Ok) {  // a and b are those constants
      constants_[OperandOf(2)] = outcome.value;
      --result_.constantCount;  // the right operand's, the last one added
      --result_.operationCount;
      --depth_;
      return outcome;
    }
    const Operator infix = OperatorOfSymbol(op);
    if (infix == Operator::Remainder || infix == Operator::Power) result_.shape.calls = true;
    // A right operand that is one constant or variable is read by the operation itself.
    if (constant || LastIs(operation::PushVariable, 1)) {
      const RightOperand right = constant ? RightOperand::Constant : RightOperand::Variable;
      const std::uint32_t operand = OperandOf(1);
      --result_.operationCount;
      --depth_;
      Apply(InfixCode(infix, right), operand, 1);
    } else {
      Apply(InfixCode(infix, RightOperand::Stack), 0, 2);
      if (depth_ > 0) --depth_;
    }
    return Kept(outcome);
  }

  // Only a malformed stretch can fail here: the recorder's arithmetic never
  // does. It is the last operation, and the parse ends here, or in Finished.
  void Failed(const Failure& failure) noexcept {
    Keep();
    ++result_.applied;
    operations_[result_.operationCount++] = Encode(operation::Malformed, 0);
    Kept({failure.code, 0.0});
    Conclude();
  }

  void Finished(const EvalStack&, std::size_t value) noexcept {
    result_.resultSlot = value;
    Keep();
    Conclude();
  }

 private:
  // The first failure is the text's outcome; the parse goes on with the value 0.0.
  Outcome Kept(Outcome outcome) noexcept {
    if (outcome.code != Ok && result_.outcome.code == Ok) result_.outcome = {outcome.code, 0.0};
    return {Ok, outcome.value};
  }

  // The shape is measured as the operations are written. A push counts
  // towards the deepest stack only once the next operation shows that it
  // stays (an infix operation takes a pushed constant or variable in as its
  // right operand, and a fold takes both constants back), so each operation
  // first keeps the depth the one before it left.
  void Keep() noexcept {
    if (depth_ > deepest_) deepest_ = depth_;
  }
  // An operand beyond 24 bits cannot be encoded: the program is then not
  // used, and running it evaluates the text.
  void Push(operation::Code code, std::uint32_t operand) noexcept {
    Keep();
    if (operand > operation::LargestOperand) result_.usable = false;
    operations_[result_.operationCount++] = Encode(code, operand);
    ++depth_;
  }
  // An operation on the top operands numbers (an infix one pops its right
  // operand after): it must find them on the stack.
  void Apply(operation::Code code, std::uint32_t operand, std::size_t operands) noexcept {
    Keep();
    if (depth_ < operands) broken_ = true;
    ++result_.applied;
    operations_[result_.operationCount++] = Encode(code, operand);
  }
  // The result slot must be on the stack at the end, and the stack no deeper than a program may use.
  void Conclude() noexcept {
    result_.shape.runnable = !broken_ && (result_.resultSlot == NoOperand || result_.resultSlot < depth_);
    result_.shape.deepest = deepest_ == 0 ? 1 : deepest_;
    if (deepest_ > Program::MostNumbers || !result_.shape.runnable) result_.usable = false;
  }

  // True when the back-th operation from the end is code: for a push, the
  // back-th number from the top is then that constant or variable.
  bool LastIs(operation::Code code, std::size_t back) const noexcept {
    return result_.operationCount >= back && CodeOf(operations_[result_.operationCount - back]) == code;
  }
  std::uint32_t OperandOf(std::size_t back) const noexcept {
    return Decode(operations_[result_.operationCount - back]).index;
  }

  double* const constants_;
  std::uint32_t* const operations_;
  RecordedText result_;
  std::size_t depth_ = 0;
  std::size_t deepest_ = 0;
  bool broken_ = false;  // an operation without its operands
};
static_assert(ParseObserver<ProgramRecorder>);

}  // namespace exprcalc

bool exprcalc::RecordText(std::string_view text, const VariableTable& table, double* constants,
                          std::uint32_t* operations, RecordedText& recorded) noexcept {
  if (text.empty()) {
    recorded = RecordedText{};
    return true;
  }
  TokenReader input(text, table);
  ProgramRecorder recorder(constants, operations);
  double value = 0.0;
  const ResultCode code = Parse(text, input, value, recorder);
  if (code == OutOfMemory) return false;
  recorded = recorder.Result();
  if (recorded.outcome.code == Ok) recorded.outcome = {code, code == Ok ? value : 0.0};
  return true;
}
