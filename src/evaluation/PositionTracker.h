// The diagnostic evaluation's observer: it keeps the text offset of every
// stack entry, so that a failure can name the token where it happened and an
// unclosed "(" where it stands.
#pragma once

#include <cstddef>

#include "base/Memory.h"
#include "evaluation/Evaluate.h"
#include "language/ParseObserver.h"

namespace exprcalc {

class PositionTracker : public Arithmetic {
 public:
  explicit PositionTracker(Diagnosis& diagnosis) noexcept : diagnosis_(diagnosis) {}
  PositionTracker(const PositionTracker&) = delete;
  PositionTracker& operator=(const PositionTracker&) = delete;
  ~PositionTracker() { Release(heap_); }

  // Room for the offsets of room stack entries. Without it positions are not
  // tracked (at stays Nowhere), but the evaluation goes on unchanged.
  void Prepare(std::size_t room) noexcept {
    if (room <= std::size(inline_)) {
      offsets_ = inline_;
    } else if (std::size_t bytes = 0; MultiplySize(room, sizeof(std::size_t), bytes)) {
      heap_ = static_cast<std::size_t*>(Allocate(bytes));
      offsets_ = heap_;
    }
  }

  void Shifted(std::size_t entry, const Token&, const TokenReader& input) noexcept {
    if (offsets_ != nullptr) offsets_[entry] = input.Place();
  }

  void Failed(const Failure& failure) noexcept {
    if (offsets_ == nullptr) return;
    diagnosis_.at = failure.entry == NoEntry ? failure.place : offsets_[failure.entry];
  }

  // A "(" left on the stack above the value's operand (the lowest one), or
  // with no operand at all, means that what followed it is not in the value.
  void Finished(const EvalStack& stack, std::size_t) noexcept {
    bool operandBelow = false;
    for (std::size_t i = 1; i < stack.depth && !diagnosis_.unclosed; ++i) {
      if (stack.kind[i] == kind::Operand) operandBelow = true;
      if (stack.kind[i] == '(') diagnosis_.unclosed = operandBelow || !OperandAbove(stack, i);
      if (diagnosis_.unclosed && offsets_ != nullptr) diagnosis_.unclosedAt = offsets_[i];
    }
  }

 protected:
  // Where the token at entry began, or Nowhere when positions are not tracked.
  std::size_t OffsetOf(std::size_t entry) const noexcept { return offsets_ != nullptr ? offsets_[entry] : Nowhere; }

 private:
  static bool OperandAbove(const EvalStack& stack, std::size_t index) noexcept {
    for (std::size_t i = index + 1; i < stack.depth; ++i) {
      if (stack.kind[i] == kind::Operand) return true;
    }
    return false;
  }

  Diagnosis& diagnosis_;
  std::size_t* offsets_ = nullptr;
  std::size_t* heap_ = nullptr;
  std::size_t inline_[258];
};

static_assert(ParseObserver<PositionTracker>);

}  // namespace exprcalc
