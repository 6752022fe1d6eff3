// Planning runs the program once on a stack of operands instead of numbers:
// an operation on numbers alone is computed there and then, by the same
// arithmetic as an evaluation, and any other becomes a step, unless the
// same step on the same operands is already planned (its value serves
// again: "@X^2" twice costs one power per row). Then each step's value
// takes a buffer from the step that computes it to its last reader.
#include "columns/ColumnPlan.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"

namespace exprcalc {
namespace {

constexpr std::size_t MostDepth = 64;

class Planner {
 public:
  Planner(const VariableTable& table, const ColumnValues& values, ColumnPlan& plan) noexcept
      : table_(table), values_(values), plan_(plan) {}

  bool Run(const RecordedProgram& program) noexcept {
    for (std::size_t i = 0; i < program.count; ++i) {
      if (!Plan(program, program.At(i))) return false;
    }
    if (program.resultSlot == NoOperand) return PushNumber(0.0) && Finish(depth_ - 1);
    assert(program.resultSlot < depth_);
    return Finish(program.resultSlot);
  }

 private:
  bool Plan(const RecordedProgram& program, const Operation& operation) noexcept {
    switch (operation.kind) {
      case OperationKind::PushConstant:
        return PushNumber(program.constants[operation.index]);
      case OperationKind::PushVariable:
        return PushVariable(operation.index);
      case OperationKind::Negate:
        return Prefix('-');
      case OperationKind::Function:
        return Prefix(static_cast<TokenKind>(operation.index));
      // A host's function is called row by row, by the exact runner.
      case OperationKind::Malformed:
      case OperationKind::CallHost:
        return false;
      case OperationKind::Infix:
        break;
    }
    if (operation.right == RightOperand::Constant && !PushNumber(program.constants[operation.index])) return false;
    if (operation.right == RightOperand::Variable && !PushVariable(operation.index)) return false;
    return Infix(operation.op);
  }

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

  // During the run a Buffer operand names the step whose value it is.
  static bool SameOperand(PlanOperand a, PlanOperand b, const ColumnPlan& plan, const ColumnValues& values) noexcept {
    if (a.kind != b.kind) return false;
    if (a.kind == PlanOperand::Number) {
      return std::memcmp(&plan.numbers[a.index], &plan.numbers[b.index], sizeof(double)) == 0;
    }
    if (a.kind == PlanOperand::Column) return values.columns[a.index] == values.columns[b.index];
    return a.index == b.index;
  }

  bool Emit(PlanStep step) noexcept {
    const bool infix = step.code < PlanStep::Negate;
    for (std::size_t s = 0; s < plan_.stepCount; ++s) {
      const PlanStep& planned = plan_.steps[s];
      if (planned.code == step.code && planned.function == step.function &&
          SameOperand(planned.a, step.a, plan_, values_) &&
          (!infix || SameOperand(planned.b, step.b, plan_, values_))) {
        return Push({PlanOperand::Buffer, static_cast<std::uint16_t>(s)});
      }
    }
    if (plan_.stepCount == ColumnPlan::MostSteps) return false;
    plan_.steps[plan_.stepCount] = step;
    return Push({PlanOperand::Buffer, static_cast<std::uint16_t>(plan_.stepCount++)});
  }

  bool Prefix(TokenKind k) noexcept {
    assert(depth_ > 0);
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

  bool Infix(Operator op) noexcept {
    assert(depth_ >= 2);
    const PlanOperand b = stack_[--depth_];
    const PlanOperand a = stack_[--depth_];
    if (a.kind == PlanOperand::Number && b.kind == PlanOperand::Number) {
      const Outcome outcome = ApplyInfix(NumberOf(a), SymbolOf(op), NumberOf(b));
      return outcome.code == Ok && PushNumber(outcome.value);
    }
    PlanStep step;
    step.code = PlanStep::InfixOf(op);
    // A divisor that is one number for every row and counts as zero fails
    // in every row: that is left to the exact runner.
    if (step.code == PlanStep::Divide && b.kind == PlanOperand::Number && CountsAsZero(NumberOf(b))) return false;
    step.a = a;
    step.b = b;
    plan_.checkNaN = plan_.checkNaN || step.code == PlanStep::Add || step.code == PlanStep::Multiply;
    return Emit(step);
  }

  // The value at slot goes to the results: the last step writes it there
  // when it computed it, else a copy does. Then the buffers are given out.
  bool Finish(std::size_t slot) noexcept {
    const PlanOperand result = stack_[slot];
    const std::size_t count = plan_.stepCount;
    const bool last = count > 0 && result.kind == PlanOperand::Buffer && result.index == count - 1;
    if (!last) {
      if (count == ColumnPlan::MostSteps) return false;
      PlanStep copy;
      copy.code = PlanStep::Copy;
      copy.a = result;
      plan_.steps[plan_.stepCount++] = copy;
    }
    if (!GiveBuffers()) return false;
    plan_.steps[plan_.stepCount - 1].out = ColumnPlan::Results;
    return true;
  }

  // Each step's value holds a buffer until its last reader has run; a
  // step's own buffer is none of its operands' (the loops count on it).
  bool GiveBuffers() noexcept {
    const std::size_t count = plan_.stepCount;
    std::uint8_t lastReader[ColumnPlan::MostSteps];
    std::uint8_t bufferOf[ColumnPlan::MostSteps];
    FindLastReaders(lastReader);
    std::uint32_t busy = 0;
    for (std::size_t s = 0; s < count; ++s) {
      assert(s < ColumnPlan::MostSteps);
      PlanStep& step = plan_.steps[s];
      if (s + 1 < count) {  // (the last step writes the results)
        if (!TakeBuffer(busy, bufferOf[s])) return false;
        step.out = bufferOf[s];
      }
      for (PlanOperand* operand : {&step.a, &step.b}) {
        if (operand->kind != PlanOperand::Buffer || !Reads(step, *operand)) continue;
        const std::size_t producer = operand->index;
        operand->index = bufferOf[producer];
        if (lastReader[producer] == s) busy &= ~(1U << bufferOf[producer]);
      }
      if (lastReader[s] == s && s + 1 < count) busy &= ~(1U << bufferOf[s]);
    }
    return true;
  }

  // The last step that reads each step's value (the step itself when none does).
  void FindLastReaders(std::uint8_t* lastReader) const noexcept {
    for (std::size_t s = 0; s < plan_.stepCount; ++s) {
      lastReader[s] = static_cast<std::uint8_t>(s);
      for (const PlanOperand* operand : {&plan_.steps[s].a, &plan_.steps[s].b}) {
        if (operand->kind == PlanOperand::Buffer && Reads(plan_.steps[s], *operand)) {
          lastReader[operand->index] = static_cast<std::uint8_t>(s);
        }
      }
    }
  }

  // The lowest buffer not busy, now busy; false when every one is.
  bool TakeBuffer(std::uint32_t& busy, std::uint8_t& buffer) noexcept {
    std::size_t free = 0;
    while (free < ColumnPlan::MostBuffers && (busy >> free & 1U) != 0) ++free;
    if (free == ColumnPlan::MostBuffers) return false;
    busy |= 1U << free;
    buffer = static_cast<std::uint8_t>(free);
    if (free >= plan_.bufferCount) plan_.bufferCount = free + 1;
    return true;
  }

  // Whether step reads operand (a prefix step or a copy reads a alone).
  static bool Reads(const PlanStep& step, const PlanOperand& operand) noexcept {
    return &operand == &step.a || step.code < PlanStep::Negate;
  }

  const VariableTable& table_;
  const ColumnValues& values_;
  ColumnPlan& plan_;
  PlanOperand stack_[MostDepth];
  std::size_t depth_ = 0;
};

static_assert(ColumnPlan::MostBuffers <= 32, "the busy buffers are bits of one word");

}  // namespace

bool MakeColumnPlan(const RecordedProgram& program, const ColumnValues& values, ColumnPlan& plan) noexcept {
  plan.stepCount = 0;
  plan.numberCount = 0;
  plan.bufferCount = 0;
  plan.checkNaN = false;
  return program.shape.runnable && Planner(program.table, values, plan).Run(program);
}

}  // namespace exprcalc
