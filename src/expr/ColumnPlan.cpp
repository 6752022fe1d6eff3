// Planning runs the program once on a stack of operands instead of numbers:
// an operation on numbers alone is computed there and then, by the same
// arithmetic as an evaluation, and any other becomes a step whose output
// takes a buffer of its own (a buffer is freed when its value is consumed).
#include "expr/ColumnPlan.h"

#include "expr/Program.h"
#include "expr/Reduce.h"

namespace exprcalc {
namespace {

constexpr std::size_t MostDepth = 64;

class Planner {
 public:
  Planner(const VariableTable& table, const ColumnValues& values, ColumnPlan& plan) noexcept
      : table_(table), values_(values), plan_(plan) {}

  bool Run(const RecordedProgram& program) noexcept {
    for (std::size_t i = 0; i < program.operationCount; ++i) {
      const std::uint32_t operand = program.operations[i] >> Program::OperandShift;
      const auto code = static_cast<Program::Code>(program.operations[i] & 0xFF);
      bool planned = false;
      switch (code) {
        case Program::PushConstant:
          planned = PushNumber(program.constants[operand]);
          break;
        case Program::PushVariable:
          planned = PushVariable(operand);
          break;
        case Program::Negate:
          planned = Prefix('-');
          break;
        case Program::Function:
          planned = Prefix(static_cast<TokenKind>(operand));
          break;
        case Program::Malformed:
          return false;
        default: {
          const std::size_t form = (code - Program::Add) % 3;
          const auto infix = static_cast<Program::Code>(code - form);
          if (form == 1) planned = PushNumber(program.constants[operand]);
          if (form == 2) planned = PushVariable(operand);
          planned = (form == 0 || planned) && Infix(infix);
          break;
        }
      }
      if (!planned) return false;
    }
    if (program.resultSlot == NoOperand) return PushNumber(0.0) && Finish(depth_ - 1);
    return program.resultSlot < depth_ && Finish(program.resultSlot);
  }

 private:
  bool Push(PlanOperand operand) noexcept {
    if (depth_ == MostDepth) return false;
    stack_[depth_++] = operand;
    return true;
  }

  bool PushNumber(double number) noexcept {
    if (plan_.numberCount == ColumnPlan::MostNumbers) return false;
    plan_.numbers[plan_.numberCount] = number;
    return Push({PlanOperand::Number, static_cast<std::uint16_t>(plan_.numberCount++)});
  }

  // A variable reads the last column given for it, else its record.
  bool PushVariable(std::uint32_t record) noexcept {
    for (std::size_t k = values_.count; k-- > 0;) {
      if (values_.indexes[k] != static_cast<int>(record)) continue;
      return k <= UINT16_MAX && Push({PlanOperand::Column, static_cast<std::uint16_t>(k)});
    }
    return PushNumber(table_.NumberAt(static_cast<int>(record)));
  }

  double NumberOf(PlanOperand operand) const noexcept { return plan_.numbers[operand.index]; }

  // The lowest free buffer, taken.
  bool TakeBuffer(std::uint8_t& buffer) noexcept {
    for (std::size_t b = 0; b < ColumnPlan::MostBuffers; ++b) {
      if ((busy_ >> b & 1U) != 0) continue;
      busy_ |= 1U << b;
      if (b >= plan_.bufferCount) plan_.bufferCount = b + 1;
      buffer = static_cast<std::uint8_t>(b);
      return true;
    }
    return false;
  }
  void Release(PlanOperand operand) noexcept {
    if (operand.kind == PlanOperand::Buffer) busy_ &= ~(1U << operand.index);
  }

  bool Emit(PlanStep step) noexcept {
    if (plan_.stepCount == ColumnPlan::MostSteps || !TakeBuffer(step.out)) return false;
    Release(step.a);
    if (step.code < PlanStep::Negate) Release(step.b);
    plan_.steps[plan_.stepCount++] = step;
    return Push({PlanOperand::Buffer, step.out});
  }

  bool Prefix(TokenKind k) noexcept {
    if (depth_ == 0) return false;
    const PlanOperand y = stack_[--depth_];
    if (y.kind == PlanOperand::Number) {
      const Outcome outcome = ApplyPrefix(k, NumberOf(y));
      return outcome.code == Ok && PushNumber(outcome.value);
    }
    PlanStep step;
    step.code = k == '-' ? PlanStep::Negate : PlanStep::Function;
    step.function = static_cast<std::uint8_t>(k);
    step.a = y;
    return Emit(step);
  }

  bool Infix(Program::Code code) noexcept {
    if (depth_ < 2) return false;
    const PlanOperand b = stack_[--depth_];
    const PlanOperand a = stack_[--depth_];
    static constexpr char Operators[] = {'+', '-', '*', '/', '%', '^'};
    const std::size_t which = static_cast<std::size_t>(code - Program::Add) / 3;
    if (a.kind == PlanOperand::Number && b.kind == PlanOperand::Number) {
      const Outcome outcome = ApplyInfix(NumberOf(a), Operators[which], NumberOf(b));
      return outcome.code == Ok && PushNumber(outcome.value);
    }
    PlanStep step;
    step.code = static_cast<PlanStep::Code>(which);
    step.a = a;
    step.b = b;
    return Emit(step);
  }

  // The value at slot goes to the results: the last step writes it there
  // when it computed it, else a copy does.
  bool Finish(std::size_t slot) noexcept {
    const PlanOperand result = stack_[slot];
    if (plan_.stepCount > 0 && result.kind == PlanOperand::Buffer &&
        plan_.steps[plan_.stepCount - 1].out == result.index) {
      plan_.steps[plan_.stepCount - 1].out = ColumnPlan::Results;
      return true;
    }
    if (plan_.stepCount == ColumnPlan::MostSteps) return false;
    PlanStep copy;
    copy.code = PlanStep::Copy;
    copy.out = ColumnPlan::Results;
    copy.a = result;
    plan_.steps[plan_.stepCount++] = copy;
    return true;
  }

  const VariableTable& table_;
  const ColumnValues& values_;
  ColumnPlan& plan_;
  PlanOperand stack_[MostDepth];
  std::size_t depth_ = 0;
  std::uint32_t busy_ = 0;
};

static_assert(ColumnPlan::MostBuffers <= 32, "the busy buffers are bits of one word");

}  // namespace

bool MakeColumnPlan(const RecordedProgram& program, const VariableTable& table, const ColumnValues& values,
                    ColumnPlan& plan) noexcept {
  plan.stepCount = 0;
  plan.numberCount = 0;
  plan.bufferCount = 0;
  return Planner(table, values, plan).Run(program);
}

}  // namespace exprcalc
