// The form a prepared program runs in: steps that each compute one value
// into a slot of a small frame, reading their operands straight from a slot,
// a constant or a variable's record. The pushes of the recorded operations
// become operands, so a step is an operation and nothing else, and a step
// may fuse two operations in a row (x*c+d). Every step performs the very
// IEEE operations of the recorded ones, in their order, with the same
// functions, so every bit and code agrees.
#pragma once

#include <cstddef>
#include <cstdint>

#include "expr/ResultCode.h"
#include "variables/VariableTable.h"

namespace exprcalc {

// Where an operand is read from.
enum class From : std::uint8_t { Slot, Constant, Variable };

// Where a value lies: a slot, a constant or a variable's record.
struct StepOperand {
  From from;
  std::uint32_t at;
};
// The slot of a program without a value.
inline constexpr std::uint32_t NoValue = static_cast<std::uint32_t>(-1);

struct Frame {
  double* slots;
  const double* constants;
  const VariableTable& table;
};

// The number an operand reads.
[[gnu::always_inline]] inline double Read(const Frame& frame, StepOperand operand) noexcept {
  if (operand.from == From::Slot) return frame.slots[operand.at];
  if (operand.from == From::Constant) return frame.constants[operand.at];
  return frame.table.NumberAt(static_cast<int>(operand.at));
}

struct Step;
using StepFunction = ResultCode (*)(const Step&, const Frame&) noexcept;

struct Step {
  StepFunction run;
  std::uint32_t target;  // the slot written
  std::uint32_t left;    // the operands' slots, constants or records, as run reads them
  std::uint32_t right;
  std::uint32_t third;   // a fused step's operand of its second operation
};

// What the compiler reads from a recorded program: its operations, as in
// Program.h, and where its value stands.
struct Recorded {
  const std::uint32_t* operations;
  std::size_t count;
  std::size_t resultSlot;  // NoOperand when there is no value
};

// Turns the recorded operations into steps (at most one per operation) and
// returns how many; slots receives the frame's size and value where the
// program's value lies after the last step (slot NoValue: it has none).
// Returns NotCompiled for operations that do not form a program (the caller
// then keeps evaluating the text).
inline constexpr std::size_t NotCompiled = static_cast<std::size_t>(-1);
std::size_t CompileSteps(const Recorded& recorded, Step* steps, std::size_t& slots, StepOperand& value) noexcept;

}  // namespace exprcalc
