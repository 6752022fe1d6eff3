// The shift/reduce loop, shared by every kind of evaluation: tokens are read
// one at a time as the parse needs them, so the only working memory is the
// stack: inline for short texts, one heap block otherwise, sized for the most
// entries the text can push. An observer is told what the parse does and
// does its arithmetic (see ParseObserver.h): the plain evaluation's
// observer compiles to nothing.
//
// Finding terminals costs constant time: the top terminal is kept as the
// parse goes, and below any terminal lies at most one evaluated operand ("E")
// before the next terminal, since a shift puts a terminal or a single operand
// on a terminal and every reduction folds its handle into one operand.
#pragma once

#include <cassert>
#include <cstdint>
#include <string_view>

#include "base/Memory.h"
#include "language/ParseObserver.h"
#include "language/Priority.h"
#include "language/Reduce.h"
#include "language/ResultCode.h"
#include "language/Tokenizer.h"

namespace exprcalc {

// Texts up to this length are evaluated without touching the heap.
inline constexpr std::size_t InlineTextLength = 256;

// Every token consumes a byte of text except the end marker, so a text of n
// bytes pushes at most n + 1 entries above the bottom marker.
constexpr std::size_t StackRoomFor(std::size_t length) noexcept { return length + 2; }

inline constexpr std::size_t BytesPerEntry = sizeof(double) + sizeof(TokenKind);

// The memory behind the stack's arrays: inline for short texts, one heap block
// (numbers first, then kinds) otherwise.
class StackMemory {
 public:
  StackMemory() = default;
  StackMemory(const StackMemory&) = delete;
  StackMemory& operator=(const StackMemory&) = delete;
  ~StackMemory() {
    if (heap_ != nullptr) Release(heap_);
  }

  // Points the stack's arrays at room for a text of the given length; false
  // when the room cannot be had.
  bool Obtain(std::size_t textLength, EvalStack& stack) noexcept {
    if (textLength <= InlineTextLength) {
      stack.operand = inlineOperands_;
      stack.kind = inlineKinds_;
      return true;
    }
    if (textLength > SIZE_MAX - 2) return false;
    const std::size_t room = StackRoomFor(textLength);
    std::size_t bytes = 0;
    if (!MultiplySize(room, BytesPerEntry, bytes)) return false;
    heap_ = static_cast<unsigned char*>(Allocate(bytes));
    if (heap_ == nullptr) return false;
    stack.operand = reinterpret_cast<double*>(heap_);
    stack.kind = heap_ + room * sizeof(double);
    return true;
  }

 private:
  double inlineOperands_[StackRoomFor(InlineTextLength)];
  TokenKind inlineKinds_[StackRoomFor(InlineTextLength)];
  unsigned char* heap_ = nullptr;
};

// The nearest entry below index that is not an evaluated operand (at most two
// steps, see above; the bottom marker ends the walk in any case).
inline std::size_t TerminalBelow(const EvalStack& stack, std::size_t index) noexcept {
  std::size_t below = index - 1;
  while (stack.kind[below] == kind::Operand) --below;
  return below;
}

// The parse over one text, told to an observer (see ParseObserver.h): shift
// a token, or walk down to a handle and reduce it, until the end marker
// meets the bottom marker or a token arrives that no rule can take.
template <ParseObserver Observer>
class Parser {
 public:
  Parser(std::size_t textLength, TokenReader& input, Observer& observer, EvalStack& stack) noexcept
      : textLength_(textLength), input_(input), observer_(observer), stack_(stack) {}
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  [[gnu::always_inline]] ResultCode Run(double& result) noexcept {
    stack_.kind[0] = kind::End;
    stack_.depth = 1;
    stack_.operandCount = 0;
    next_ = input_.template Next<AsksPlaces<Observer>>();
    for (;;) {
      const TokenKind top = stack_.kind[topTerminal_];
      if (top == kind::End && next_.kind == kind::End) break;
      const int ip = InputPriority(next_.kind);
      if (ip < 0) break;  // the top terminal always has a priority (see Priority.h)
      bool onArrival = false;
      if (StackPriority(top) <= ip) {
        if (!Shift()) continue;
        onArrival = true;
      }
      if (const ResultCode code = ReduceWalk(onArrival); code != Ok) return code;
    }
    return Finish(result);
  }

 private:
  // Shifts the token read and reads the next one. True when what was shifted
  // is the top of a handle that the walk must now find.
  [[gnu::always_inline]] bool Shift() noexcept {
    const TokenKind shifted = next_.kind;
    const std::size_t at = stack_.depth++;
    assert(at < StackRoomFor(textLength_));
    observer_.Shifted(at, next_, input_);
    if (shifted == kind::Number) {
      stack_.operand[stack_.operandCount++] = next_.value;
      next_ = input_.template Next<AsksPlaces<Observer>>();
      // A number is an operand by itself (the one rule it begins) as soon as
      // it lands on a terminal: every kind that can follow it ranks lower
      // (see Priority.h), so the next step would fold it and nothing else.
      if (at - 1 == topTerminal_) {
        stack_.kind[at] = kind::Operand;
        return false;
      }
      stack_.kind[at] = shifted;  // on an operand, as in 2 3: the handle E i below matches no rule
      topTerminal_ = at;
      return true;
    }
    stack_.kind[at] = shifted;
    next_ = input_.template Next<AsksPlaces<Observer>>();
    topTerminal_ = at;
    // A ")" is the top of a handle at once: reduce it here, unless the text
    // ran out of memory behind it (then the parse ends as it would next step).
    if (shifted != ')' || InputPriority(next_.kind) < 0) return false;
    // The commonest ")" closes "( E" that stands on a terminal: its handle is
    // known without the walk (see Priority.h for why it starts at the "(").
    if (stack_.kind[at - 1] == kind::Operand && stack_.kind[at - 2] == '(' && stack_.kind[at - 3] != kind::Operand) {
      Reduce(at - 2, stack_, observer_);  // "( E )": it cannot fail
      topTerminal_ = at - 3;
      return false;
    }
    return true;
  }

  // Walks down the terminals from the top to the handle's lower entry and
  // reduces the handle. onArrival: its top was shifted just now.
  [[gnu::always_inline]] ResultCode ReduceWalk(bool onArrival) noexcept {
    std::size_t x = topTerminal_;
    for (;;) {
      const std::size_t lower = TerminalBelow(stack_, x);
      if (StackPriority(stack_.kind[lower]) < InputPriority(stack_.kind[x])) {
        const ResultCode code = Reduce(lower + 1, stack_, observer_);
        if (code != Ok) return Fail(code, lower + 1, onArrival);
        topTerminal_ = lower;  // everything above it is now an evaluated operand
        return Ok;
      }
      if (lower == 0) return Fail(Malformed, 1, onArrival);  // a ")" with no "(" beneath it
      x = lower;
    }
  }

  // Tells the observer which token a failed reduction of the handle from
  // start blames: the operator of "E op E" or the function or sign of "F E"
  // for an arithmetic code. A malformed stretch blames the token just
  // shifted, or the handle's top at the end of the text, or else the token
  // whose arrival asked for the reduction.
  [[gnu::always_inline]] ResultCode Fail(ResultCode code, std::size_t start, bool onArrival) noexcept {
    std::size_t entry = NoEntry;
    if (code != Malformed) {
      entry = stack_.kind[start] == kind::Operand ? start + 1 : start;
    } else if (onArrival || input_.Place() >= textLength_) {
      entry = topTerminal_;
    }
    observer_.Failed({code, entry, input_.Place(), next_.kind});
    return code;
  }

  // The value is the lowest operand left on the stack.
  [[gnu::always_inline]] ResultCode Finish(double& result) noexcept {
    if (input_.OutOfMemory()) return OutOfMemory;
    const std::size_t lowest = LowestOperand(stack_);
    observer_.Finished(stack_, lowest);
    result = lowest == NoOperand ? 0.0 : stack_.operand[lowest];
    return Ok;
  }

  const std::size_t textLength_;
  TokenReader& input_;
  Observer& observer_;
  EvalStack& stack_;
  std::size_t topTerminal_ = 0;
  Token next_;
};

template <ParseObserver Observer>
[[gnu::always_inline]] inline ResultCode Parse(std::string_view expression, TokenReader& input, double& result, Observer& observer) noexcept {
  StackMemory memory;
  EvalStack stack;
  if (!memory.Obtain(expression.size(), stack)) return OutOfMemory;
  observer.Prepare(StackRoomFor(expression.size()));
  Parser<Observer> parser(expression.size(), input, observer, stack);
  return parser.Run(result);
}

}  // namespace exprcalc
