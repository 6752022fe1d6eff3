// Numbers the values a program computes, so that the native compiler knows
// which computations repeat (the same operation on the same operands, as x^2
// in 3*x^2 + x^2): the first one keeps its value and the others read it. Every
// operation is a function of its operands' bits, so the value read is the one
// the repeat would compute; a repeat comes after the first, which would have
// failed first. The sine and the cosine of one value are a pair: the C
// library's sincos gives both, with the bits of sin and cos. A host's
// function is never taken as a repeat: each application is a call of its
// own, so every call gets a value of its own.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recorded/Recorded.h"

namespace exprcalc {

class ValueNumbers {
 public:
  static constexpr std::size_t MostOperations = 258;  // a text of 256 bytes records at most 257
  static constexpr std::uint32_t NoSlot = static_cast<std::uint32_t>(-1);

  // Numbers the values of the operations before the first malformed one,
  // of a runnable program of at most MostOperations.
  void Number(const RecordedProgram& recorded) noexcept {
    assert(recorded.shape.runnable && recorded.count <= MostOperations);
    std::uint32_t stack[MostOperations];
    std::size_t depth = 0;
    for (std::size_t i = 0; i < recorded.count; ++i) {
      const Operation operation = recorded.At(i);
      if (operation.kind == OperationKind::Malformed) break;
      if (operation.kind == OperationKind::PushConstant || operation.kind == OperationKind::PushVariable) {
        stack[depth++] = Intern(Leaf(recorded, operation.kind, operation.index), false);
        numberOf_[i] = stack[depth - 1];
        continue;
      }
      assert(depth > 0);
      Key key{};
      if (operation.kind == OperationKind::CallHost) {
        key = {0x400 | operation.index, stack[depth - 1], i};  // i: no other operation's key
      } else if (operation.kind != OperationKind::Infix) {
        const bool sign = operation.kind == OperationKind::Negate;
        key = {sign ? std::uint32_t{'~'} : 0x100 | operation.index, stack[depth - 1], 0};
      } else {
        const std::uint32_t op = 0x200 | InfixCode(operation.op, RightOperand::Stack);
        if (operation.right == RightOperand::Stack) {
          --depth;
          key = {op, stack[depth - 1], stack[depth]};
        } else {
          const bool constant = operation.right == RightOperand::Constant;
          const OperationKind leaf = constant ? OperationKind::PushConstant : OperationKind::PushVariable;
          key = {op, stack[depth - 1], Intern(Leaf(recorded, leaf, operation.index), false)};
        }
      }
      stack[depth - 1] = Intern(key, true);
      numberOf_[i] = stack[depth - 1];
    }
  }

  // The number of the value the i-th operation leaves on the stack.
  std::uint32_t Of(std::size_t operation) const noexcept { return numberOf_[operation]; }
  bool Repeats(std::uint32_t number) const noexcept { return computed_[number] > 1; }
  // The number of the cosine of the value whose sine number is, or the other
  // way round, when the program computes both; NoNumber otherwise.
  static constexpr std::uint32_t NoNumber = static_cast<std::uint32_t>(-1);
  std::uint32_t Partner(std::uint32_t number) const noexcept {
    const Key& key = keys_[number];
    if (key.op != (0x100u | 'S') && key.op != (0x100u | 'C')) return NoNumber;
    const Key partner{key.op == (0x100u | 'S') ? 0x100u | 'C' : 0x100u | 'S', key.a, 0};
    for (std::size_t n = 0; n < count_; ++n) {
      if (keys_[n] == partner) return static_cast<std::uint32_t>(n);
    }
    return NoNumber;
  }
  // A value read from a slot of its own: one that repeats or is half a pair.
  bool Kept(std::uint32_t number) const noexcept { return Repeats(number) || Partner(number) != NoNumber; }
  std::size_t KeptCount() const noexcept {
    std::size_t kept = 0;
    for (std::size_t n = 0; n < count_; ++n) kept += Kept(static_cast<std::uint32_t>(n)) ? 1 : 0;
    return kept;
  }
  // The slot that holds a kept value once it was computed, or NoSlot.
  std::uint32_t& SlotOf(std::uint32_t number) noexcept { return slot_[number]; }

 private:
  // An operation and its operands' numbers; a leaf's bits or record index.
  struct Key {
    std::uint32_t op;
    std::uint64_t a;
    std::uint64_t b;
    bool operator==(const Key&) const = default;
  };
  static constexpr std::size_t MostValues = 2 * MostOperations + 2;

  static Key Leaf(const RecordedProgram& recorded, OperationKind push, std::uint32_t operand) noexcept {
    if (push == OperationKind::PushVariable) return {1, operand, 0};
    std::uint64_t bits = 0;
    std::memcpy(&bits, recorded.constants + operand, sizeof bits);
    return {2, bits, 0};
  }

  std::uint32_t Intern(const Key& key, bool computed) noexcept {
    std::size_t n = 0;
    while (n < count_ && !(keys_[n] == key)) ++n;
    if (n == count_) {
      keys_[count_] = key;
      computed_[count_] = 0;
      slot_[count_++] = NoSlot;
    }
    if (computed) ++computed_[n];
    return static_cast<std::uint32_t>(n);
  }

  Key keys_[MostValues];
  std::uint32_t computed_[MostValues];  // how many operations compute the value
  std::uint32_t slot_[MostValues];
  std::size_t count_ = 0;
  std::uint32_t numberOf_[MostOperations];
};

}  // namespace exprcalc
