// A recorded program: the operations that evaluating a text performs, in
// order, over a stack of numbers, as the recorder writes them and every back
// end (steps, machine code, columns) reads them. This header is the whole
// contract: the operation's format, the one Decode, and the program's shape,
// which the recorder measures once so that a back end only asserts it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "language/Arithmetic.h"
#include "language/ResultCode.h"
#include "language/Token.h"
#include "variables/VariableTable.h"

namespace exprcalc {

// An operation is 32 bits: a code in the low byte, and in the high 24 bits
// the index of a constant or of a record, a function's kind, or the place of
// a host's function in the table's list.
namespace operation {
enum Code : std::uint8_t {
  PushConstant, PushVariable, Negate, Function, Malformed,
  // Each operator in three forms, by where its right operand is: the stack,
  // a constant or a variable.
  Add, AddC, AddV, Subtract, SubtractC, SubtractV, Multiply, MultiplyC, MultiplyV,
  Divide, DivideC, DivideV, Remainder, RemainderC, RemainderV, Power, PowerC, PowerV,
  // A call of the host's function at the operand's place, on the top number.
  // (A new kind of operation takes the codes after the last.)
  CallHost,
};
inline constexpr unsigned OperandShift = 8;
inline constexpr std::uint32_t LargestOperand = (std::uint32_t{1} << 24) - 1;
// The deepest stack of numbers a program may use (the recorder leaves a
// deeper one to its text).
inline constexpr std::size_t MostNumbers = 256;
}  // namespace operation

// What an operation does.
enum class OperationKind : std::uint8_t { PushConstant, PushVariable, Negate, Function, Malformed, Infix, CallHost };
// Where an infix operation's right operand is: popped from the stack, or
// read straight from a constant or a variable's record.
enum class RightOperand : std::uint8_t { Stack, Constant, Variable };

// An operation decoded.
struct Operation {
  OperationKind kind;
  Operator op;          // an Infix's operator
  RightOperand right;   // an Infix's right operand
  std::uint32_t index;  // a constant's or record's index, a function's kind, a host function's place

  // The record read by a PushVariable or by an infix operation on a variable.
  bool ReadsVariable() const noexcept {
    return kind == OperationKind::PushVariable || (kind == OperationKind::Infix && right == RightOperand::Variable);
  }
  bool ReadsConstant() const noexcept {
    return kind == OperationKind::PushConstant || (kind == OperationKind::Infix && right == RightOperand::Constant);
  }
};

constexpr std::uint32_t Encode(operation::Code code, std::uint32_t index) noexcept {
  return (index << operation::OperandShift) | code;
}
constexpr operation::Code InfixCode(Operator op, RightOperand right) noexcept {
  return static_cast<operation::Code>(operation::Add + 3 * static_cast<unsigned>(op) + static_cast<unsigned>(right));
}

constexpr operation::Code CodeOf(std::uint32_t word) noexcept { return static_cast<operation::Code>(word & 0xFF); }

// Inline everywhere: every back end decodes each operation in its loop.
[[gnu::always_inline]] constexpr Operation Decode(std::uint32_t word) noexcept {
  const unsigned code = CodeOf(word);
  const std::uint32_t index = word >> operation::OperandShift;
  if (code < operation::Add) {
    return {static_cast<OperationKind>(code), Operator::Add, RightOperand::Stack, index};
  }
  if (code == operation::CallHost) return {OperationKind::CallHost, Operator::Add, RightOperand::Stack, index};
  const unsigned infix = code - operation::Add;
  return {OperationKind::Infix, static_cast<Operator>(infix / 3), static_cast<RightOperand>(infix % 3), index};
}

static_assert([] {
  namespace o = operation;
  constexpr o::Code Forms[][3] = {
      {o::Add, o::AddC, o::AddV},          {o::Subtract, o::SubtractC, o::SubtractV},
      {o::Multiply, o::MultiplyC, o::MultiplyV}, {o::Divide, o::DivideC, o::DivideV},
      {o::Remainder, o::RemainderC, o::RemainderV}, {o::Power, o::PowerC, o::PowerV},
  };
  constexpr RightOperand Rights[] = {RightOperand::Stack, RightOperand::Constant, RightOperand::Variable};
  for (std::size_t op = 0; op < OperatorCount; ++op) {
    for (std::size_t r = 0; r < 3; ++r) {
      if (InfixCode(static_cast<Operator>(op), Rights[r]) != Forms[op][r]) return false;
      const Operation decoded = Decode(Encode(Forms[op][r], 7));
      if (decoded.kind != OperationKind::Infix || decoded.op != static_cast<Operator>(op) ||
          decoded.right != Rights[r] || decoded.index != 7) {
        return false;
      }
    }
  }
  return Decode(Encode(o::Function, 'S')).kind == OperationKind::Function &&
         Decode(Encode(o::Malformed, 0)).kind == OperationKind::Malformed &&
         Decode(Encode(o::CallHost, 127)).kind == OperationKind::CallHost &&
         Decode(Encode(o::CallHost, 127)).index == 127 && CodeOf(Encode(o::CallHost, 5)) == o::PowerV + 1 &&
         Decode(Encode(o::PushVariable, o::LargestOperand)).index == o::LargestOperand;
}(), "the infix codes follow the operators' order, each in its three forms; Decode reads what Encode wrote");

// What running a program takes, measured once when it is recorded.
struct ProgramShape {
  // Every operation finds its operands on the stack and its constant or
  // record, and the result slot is on the stack at the end: only then does a
  // back end run the operations (else the text is evaluated).
  bool runnable = false;
  std::size_t deepest = 1;  // the deepest stack of numbers, at least 1
  bool calls = false;       // it calls a function: a built-in but SQRT and ABS, "%", "^" or the host's
};

// Whether running a program that performs function calls out of line:
// SQRT and ABS are single instructions wherever the program runs.
constexpr bool CallsOut(const Operation& operation) noexcept {
  if (operation.kind == OperationKind::Function) return operation.index != 'Q' && operation.index != 'A';
  if (operation.kind == OperationKind::CallHost) return true;
  return operation.kind == OperationKind::Infix &&
         (operation.op == Operator::Remainder || operation.op == Operator::Power);
}

// Machine code compiled from a program: it returns the code and stores the
// value (0.0 on failure) through its argument.
using NativeFunction = ResultCode (*)(double* value) noexcept;

// A recorded program as the back ends read it. The records stay put while
// the table keeps the generation the program was recorded under.
struct RecordedProgram {
  const std::uint32_t* operations;
  std::size_t count;
  const double* constants;
  std::size_t constantCount;
  std::size_t resultSlot;  // the stack's index of the value, or NoOperand (the value is then 0.0)
  ProgramShape shape;
  const VariableTable& table;

  Operation At(std::size_t i) const noexcept { return Decode(operations[i]); }
  // The bytes of a variable's number in its record.
  const unsigned char* VariableBytes(std::uint32_t record) const noexcept {
    assert(static_cast<int>(record) < table.GetCount());
    return table.NumberBytes(static_cast<int>(record));
  }
  // The host's function at place: its callback and pointer, which stay what
  // they are while the table keeps its generation (defining or removing a
  // function changes it).
  HostCallback HostCall(std::uint32_t place) const noexcept {
    assert(place < table.Functions().Count());
    return table.Functions().CallbackAt(place);
  }
  void* HostUser(std::uint32_t place) const noexcept {
    assert(place < table.Functions().Count());
    return table.Functions().UserAt(place);
  }
};

}  // namespace exprcalc
