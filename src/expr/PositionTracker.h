// What the parse tells an observer, and the two observers: Silent, for the
// classic evaluation, which compiles to nothing; and PositionTracker, for the
// diagnostic one, which keeps the text offset of every stack entry so that a
// failure can name the token where it happened.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/Memory.h"
#include "expr/Evaluate.h"
#include "expr/Reduce.h"

namespace exprcalc {

struct Silent : Arithmetic {
  bool Prepare(std::size_t /*room*/) noexcept { return true; }
  void Fetching(std::size_t /*position*/) noexcept {}
  void Shifted(std::size_t /*entry*/, const Token&) noexcept {}
  // A reduction of the handle from start failed with code; onArrival: the
  // handle's top entry was shifted just now, top: the handle's top terminal.
  void Failed(ResultCode, std::size_t /*start*/, std::size_t /*top*/, bool /*onArrival*/,
              const EvalStack&) noexcept {}
  void Finished(const EvalStack&) noexcept {}
};

class PositionTracker : public Arithmetic {
 public:
  PositionTracker(std::string_view text, Diagnosis& diagnosis) noexcept : text_(text), diagnosis_(diagnosis) {}
  PositionTracker(const PositionTracker&) = delete;
  PositionTracker& operator=(const PositionTracker&) = delete;
  ~PositionTracker() { Release(heap_); }

  // Room for the offsets of room stack entries. Without it positions are not
  // tracked (at stays Nowhere), but the evaluation goes on unchanged.
  bool Prepare(std::size_t room) noexcept {
    if (room <= std::size(inline_)) {
      offsets_ = inline_;
    } else if (std::size_t bytes = 0; MultiplySize(room, sizeof(std::size_t), bytes)) {
      heap_ = static_cast<std::size_t*>(Allocate(bytes));
      offsets_ = heap_;
    }
    return true;
  }

  // The next token begins at the first byte that is not a blank.
  void Fetching(std::size_t position) noexcept {
    while (position < text_.size() && (text_[position] == ' ' || text_[position] == '\t')) ++position;
    nextOffset_ = position;
  }

  void Shifted(std::size_t entry, const Token&) noexcept {
    if (offsets_ != nullptr) offsets_[entry] = nextOffset_;
  }

  void Failed(ResultCode code, std::size_t start, std::size_t top, bool onArrival, const EvalStack& stack) noexcept {
    if (offsets_ == nullptr) return;
    if (code != Malformed) {  // the operator of "E op E", or the function of "F E"
      diagnosis_.at = offsets_[stack.kind[start] == kind::Operand ? start + 1 : start];
    } else if (onArrival || nextOffset_ >= text_.size()) {
      diagnosis_.at = offsets_[top];  // the token just shifted, or the handle's top at the end of the text
    } else {
      diagnosis_.at = nextOffset_;  // the token whose arrival asked for the reduction
    }
  }

  // A "(" left on the stack above the value's operand (the lowest one), or
  // with no operand at all, means that what followed it is not in the value.
  void Finished(const EvalStack& stack) noexcept {
    bool operandBelow = false;
    for (std::size_t i = 1; i < stack.depth && !diagnosis_.unclosed; ++i) {
      if (stack.kind[i] == kind::Operand) operandBelow = true;
      if (stack.kind[i] == '(') diagnosis_.unclosed = operandBelow || !OperandAbove(stack, i);
      if (diagnosis_.unclosed && offsets_ != nullptr) diagnosis_.unclosedAt = offsets_[i];
    }
  }

 protected:
  std::string_view Text() const noexcept { return text_; }
  // Where the token at entry began, or Nowhere when positions are not tracked.
  std::size_t OffsetOf(std::size_t entry) const noexcept { return offsets_ != nullptr ? offsets_[entry] : Nowhere; }
  // Where the token about to be read (or just shifted) begins.
  std::size_t NextOffset() const noexcept { return nextOffset_; }

 private:
  static bool OperandAbove(const EvalStack& stack, std::size_t index) noexcept {
    for (std::size_t i = index + 1; i < stack.depth; ++i) {
      if (stack.kind[i] == kind::Operand) return true;
    }
    return false;
  }

  std::string_view text_;
  Diagnosis& diagnosis_;
  std::size_t nextOffset_ = 0;
  std::size_t* offsets_ = nullptr;
  std::size_t* heap_ = nullptr;
  std::size_t inline_[258];
};

}  // namespace exprcalc
