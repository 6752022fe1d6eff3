// The shift/reduce loop, shared by every kind of evaluation: tokens are read
// one at a time as the parse needs them, so the only working memory is the
// stack: inline for short texts, one heap block otherwise, sized for the most
// entries the text can push. An observer is told what the parse does and
// does its arithmetic: the plain evaluation's observer compiles to nothing.
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
#include "expr/Priority.h"
#include "expr/Reduce.h"
#include "expr/ResultCode.h"
#include "expr/Tokenizer.h"

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

// The parse, told to an observer, which also does its arithmetic (see
// PositionTracker.h and Program.h).
template <typename Observer>
ResultCode Parse(std::string_view expression, TokenReader& input, double& result, Observer& observer) noexcept {
  StackMemory memory;
  EvalStack stack;
  if (!memory.Obtain(expression.size(), stack)) return OutOfMemory;
  const std::size_t room = StackRoomFor(expression.size());
  observer.Prepare(room);

  stack.kind[0] = kind::End;
  stack.depth = 1;
  stack.operandCount = 0;
  std::size_t topTerminal = 0;
  auto fetch = [&] {
    observer.Fetching(input.Position());
    return input.Next();
  };
  Token next = fetch();

  for (;;) {
    const TokenKind top = stack.kind[topTerminal];
    if (top == kind::End && next.kind == kind::End) break;
    const int ip = InputPriority(next.kind);
    if (ip < 0) break;  // the top terminal always has a priority (see Priority.h)
    const int sp = StackPriority(top);

    bool onArrival = false;
    if (sp <= ip) {  // shift
      assert(stack.depth < room);
      const TokenKind shifted = next.kind;
      const std::size_t at = stack.depth++;
      observer.Shifted(at, next);
      if (shifted == kind::Number) {
        stack.operand[stack.operandCount++] = next.value;
        next = fetch();
        // A number is an operand by itself (the one rule it begins) as soon as
        // it lands on a terminal: every kind that can follow it ranks lower
        // (see Priority.h), so the next step would fold it and nothing else.
        if (at - 1 == topTerminal) {
          stack.kind[at] = kind::Operand;
          continue;
        }
        stack.kind[at] = shifted;  // on an operand, as in 2 3: the handle E i below matches no rule
      } else {
        stack.kind[at] = shifted;
        next = fetch();
        // A ")" is the top of a handle at once: reduce it here, unless the text
        // ran out of memory behind it (then the parse ends as it would next step).
        if (shifted != ')' || InputPriority(next.kind) < 0) {
          topTerminal = at;
          continue;
        }
      }
      topTerminal = at;
      onArrival = true;
      // The commonest ")" closes "( E" that stands on a terminal: its handle is
      // known without the walk (see Priority.h for why it starts at the "(").
      if (shifted == ')' && stack.kind[at - 1] == kind::Operand && stack.kind[at - 2] == '(' &&
          stack.kind[at - 3] != kind::Operand) {
        Reduce(at - 2, stack, observer);  // "( E )": it cannot fail
        topTerminal = at - 3;
        continue;
      }
    }

    // Reduce: walk down the terminals from the top to the handle's lower entry.
    std::size_t x = topTerminal;
    for (;;) {
      const std::size_t lower = TerminalBelow(stack, x);
      if (StackPriority(stack.kind[lower]) < InputPriority(stack.kind[x])) {
        const ResultCode code = Reduce(lower + 1, stack, observer);
        if (code != Ok) {
          observer.Failed(code, lower + 1, topTerminal, onArrival, stack);
          return code;
        }
        topTerminal = lower;  // everything above it is now an evaluated operand
        break;
      }
      if (lower == 0) {  // a ")" with no "(" beneath it
        observer.Failed(Malformed, 1, topTerminal, onArrival, stack);
        return Malformed;
      }
      x = lower;
    }
  }

  if (input.OutOfMemory()) return OutOfMemory;
  observer.Finished(stack);
  const std::size_t lowest = LowestOperand(stack);
  result = lowest == NoOperand ? 0.0 : stack.operand[lowest];
  return Ok;
}

}  // namespace exprcalc
