// The form a prepared program runs in: steps that each compute one value
// into a slot of a small frame, reading their operands straight from a slot
// or from a leaf: a constant of the program or a variable's record, both read
// through a pointer fixed when the program is compiled (a record does not
// move while the table keeps its generation). The pushes of the recorded
// operations become operands, so a step is an operation and nothing else, and
// a step may fuse up to three operations: x*c+d, (a+b)*(c-d), LOG(x+1). Every
// step performs the very IEEE operations of the recorded ones, in their
// order, with the same functions, so every bit and code agrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "language/ResultCode.h"
#include "recorded/Recorded.h"

namespace exprcalc {

// Where an operand is read from.
enum class From : std::uint8_t { Slot, Leaf };

// An operand: the bytes of a leaf's number, or a slot of the frame; which
// one, the step's form says. A call of a host's function holds the callback
// and its pointer in operands of its own.
union StepOperand {
  const unsigned char* leaf;
  std::size_t slot;
  HostCallback call;
  void* user;
};

[[gnu::always_inline]] inline double LoadLeaf(const unsigned char* leaf) noexcept {
  double value;
  std::memcpy(&value, leaf, sizeof value);
  return value;
}

template <From F>
[[gnu::always_inline]] inline double Read(const double* slots, StepOperand operand) noexcept {
  if constexpr (F == From::Slot) {
    return slots[operand.slot];
  } else {
    return LoadLeaf(operand.leaf);
  }
}

struct Step;
// A step's function: the program's outcome from this step on.
using StepFunction = Outcome (*)(const Step&, double* slots) noexcept;

struct Step {
  StepFunction run;
  std::size_t target;  // the slot written
  StepOperand a;       // the operands, in the order the step's form reads them
  StepOperand b;
  StepOperand c;
  StepOperand d;
};

// Turns the recorded operations into steps (at most one per operation, and
// the segments' ends, the last of which gives the program's value) and
// returns how many; slots receives the frame's size.
// Returns NotCompiled for a program whose shape is not runnable (the caller
// then keeps evaluating the text).
inline constexpr std::size_t NotCompiled = static_cast<std::size_t>(-1);
std::size_t CompileSteps(const RecordedProgram& recorded, Step* steps, std::size_t& slots) noexcept;

}  // namespace exprcalc
