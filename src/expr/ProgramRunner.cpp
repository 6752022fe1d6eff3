// Running a program: a loop over the recorded operations with the same
// functions in the same order as the plain evaluation, so every bit and code
// agrees. A program that no longer holds (the table changed shape, or it
// could not be encoded) evaluates its text instead.
#include "expr/Program.h"

#include "expr/Evaluate.h"
#include "expr/Reduce.h"

exprcalc::ResultCode exprcalc_expr::Run(const VariableTable& table, double& result) const noexcept {
  using namespace exprcalc;
  if (!Current(table)) return Evaluate(Text(), table, result);
  result = 0.0;
  // The top number is kept apart from the ones below it (numbers[0..depth)),
  // so that most operations touch no memory but their operand.
  double numbers[MostNumbers + 1];
  std::size_t depth = 0;
  double top = 0.0;
  Outcome outcome{Ok, 0.0};
  auto variable = [&](std::uint32_t index) { return table.NumberAt(static_cast<int>(index)); };
  auto pop = [&] { return numbers[--depth]; };
  const std::uint32_t* const end = operations_ + operationCount_;
  for (const std::uint32_t* next = operations_; next != end; ++next) {
    const std::uint32_t operand = *next >> OperandShift;
    switch (static_cast<Code>(*next & 0xFF)) {
      case PushConstant: numbers[depth++] = top; top = constants_[operand]; continue;
      case PushVariable: numbers[depth++] = top; top = variable(operand); continue;
      case Negate: top = top * -1.0; continue;
      case Function: outcome = ApplyPrefix(static_cast<TokenKind>(operand), top); break;
      case Malformed: return exprcalc::Malformed;
      case Add: top = Sum(pop(), top); continue;
      case AddC: top = Sum(top, constants_[operand]); continue;
      case AddV: top = Sum(top, variable(operand)); continue;
      case Subtract: top = pop() - top; continue;
      case SubtractC: top = top - constants_[operand]; continue;
      case SubtractV: top = top - variable(operand); continue;
      case Multiply: top = Product(pop(), top); continue;
      case MultiplyC: top = Product(top, constants_[operand]); continue;
      case MultiplyV: top = Product(top, variable(operand)); continue;
      case Divide: outcome = ApplyInfix(pop(), '/', top); break;
      case DivideC: outcome = ApplyInfix(top, '/', constants_[operand]); break;
      case DivideV: outcome = ApplyInfix(top, '/', variable(operand)); break;
      case Remainder: outcome = ApplyInfix(pop(), '%', top); break;
      case RemainderC: outcome = ApplyInfix(top, '%', constants_[operand]); break;
      case RemainderV: outcome = ApplyInfix(top, '%', variable(operand)); break;
      case Power: outcome = ApplyInfix(pop(), '^', top); break;
      case PowerC: outcome = ApplyInfix(top, '^', constants_[operand]); break;
      case PowerV: outcome = ApplyInfix(top, '^', variable(operand)); break;
    }
    if (outcome.code != Ok) return outcome.code;
    top = outcome.value;
  }
  // numbers[0] holds the value below the first one pushed; the first number is numbers[1].
  numbers[depth] = top;
  if (resultSlot_ != NoOperand) result = numbers[resultSlot_ + 1];
  return Ok;
}

