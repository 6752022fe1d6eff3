// A column plan: a program's operations made ready, once per call, to run
// over blocks of rows. Numbers that are the same in every row (constants,
// variables that read their record) are folded into one number where the
// operation succeeds; every other operation becomes a step that reads its
// operands straight from a column, a number or a block buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "columns/Columns.h"
#include "language/Arithmetic.h"
#include "recorded/Recorded.h"

namespace exprcalc {

// What a step reads in each row: one of the plan's numbers, a column of the
// call, or one of the block's buffers.
struct PlanOperand {
  enum Kind : std::uint8_t { Number, Column, Buffer };
  Kind kind = Number;
  std::uint16_t index = 0;
};

struct PlanStep {
  // The infix steps first, in the operators' order (see below), then the rest.
  enum Code : std::uint8_t { Add, Subtract, Multiply, Divide, Remainder, Power, Negate, Function, Copy };
  static constexpr Code InfixOf(Operator op) noexcept { return static_cast<Code>(op); }
  Code code = Copy;
  std::uint8_t function = 0;  // a Function's kind
  std::uint8_t out = 0;       // the buffer written, or Results
  PlanOperand a;
  PlanOperand b;              // the right operand of an infix step
};

struct ColumnPlan {
  static constexpr std::size_t MostSteps = 128;
  static constexpr std::size_t MostNumbers = 128;
  static constexpr std::size_t MostBuffers = 16;
  static constexpr std::uint8_t Results = 0xFF;

  PlanStep steps[MostSteps];
  double numbers[MostNumbers];
  std::size_t stepCount = 0;
  std::size_t numberCount = 0;
  std::size_t bufferCount = 0;  // buffers 0 to bufferCount - 1 are written
  bool checkNaN = false;        // a block whose values hold a NaN runs exactly (sums, products)
};

static_assert(PlanStep::Add == static_cast<int>(Operator::Add) && PlanStep::Subtract == static_cast<int>(Operator::Subtract) &&
                  PlanStep::Multiply == static_cast<int>(Operator::Multiply) &&
                  PlanStep::Divide == static_cast<int>(Operator::Divide) &&
                  PlanStep::Remainder == static_cast<int>(Operator::Remainder) &&
                  PlanStep::Power == static_cast<int>(Operator::Power) && PlanStep::Negate == OperatorCount,
              "an infix step's code is its operator's, and the infix steps come first");

// Makes the plan; false when the program is better left to the exact runner:
// an operation fails in every row, the text is malformed, or the plan would
// need more steps, numbers or buffers than it holds.
bool MakeColumnPlan(const RecordedProgram& program, const ColumnValues& values, ColumnPlan& plan) noexcept;

// Runs the plan over rows start to start + n - 1 (n at most the buffers'
// stride), writing the values to target, which overlaps no column. False
// when a row of the block may differ from its exact evaluation (a row fails,
// or a NaN arose where the plan cannot vouch for its bits): the caller then
// runs the block exactly.
bool RunPlanBlock(const ColumnPlan& plan, const ColumnValues& values, std::size_t start, std::size_t n,
                  double* buffers, std::size_t stride, double* target) noexcept;

// Whether RunPlanBlock takes the AVX2 code: where the processor has it,
// unless EXPRCALC_COLUMNS=baseline is in the environment.
bool ColumnsUseAvx2() noexcept;

}  // namespace exprcalc
