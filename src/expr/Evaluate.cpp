// The shift/reduce loop. Tokens are read one at a time as the parse needs
// them, so the only working memory is the stack: inline for short texts, one
// heap block otherwise, sized for the most entries the text can push.
//
// Finding terminals costs constant time: the top terminal is kept as the
// parse goes, and below any terminal lies at most one evaluated operand ("E")
// before the next terminal, since a shift puts a terminal or a single operand
// on a terminal and every reduction folds its handle into one operand.
#include "expr/Evaluate.h"

#include <cassert>
#include <cstdint>

#include "expr/PositionTracker.h"
#include "expr/Priority.h"
#include "expr/Reduce.h"
#include "expr/ResultCode.h"
#include "expr/Tokenizer.h"
#include "base/Memory.h"

namespace exprcalc {
namespace {

// Texts up to this length are evaluated without touching the heap.
constexpr std::size_t InlineTextLength = 256;

// Every token consumes a byte of text except the end marker, so a text of n
// bytes pushes at most n + 1 entries above the bottom marker.
constexpr std::size_t StackRoomFor(std::size_t length) noexcept { return length + 2; }

constexpr std::size_t BytesPerEntry = sizeof(double) + sizeof(TokenKind);

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
std::size_t TerminalBelow(const EvalStack& stack, std::size_t index) noexcept {
  std::size_t below = index - 1;
  while (stack.kind[below] == kind::Operand) --below;
  return below;
}

// The value of the lowest "E" entry, or 0.0 when there is none.
double LowestOperand(const EvalStack& stack) noexcept {
  std::size_t number = 0;
  for (std::size_t i = 0; i < stack.depth; ++i) {
    if (stack.kind[i] == kind::Operand) return stack.operand[number];
    if (CarriesNumber(stack.kind[i])) ++number;
  }
  return 0.0;
}

// The parse, told to an observer (see PositionTracker.h).
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
      stack.kind[at] = shifted;
      if (shifted == kind::Number) stack.operand[stack.operandCount++] = next.value;
      observer.Shifted(at);
      next = fetch();
      // A number or ")" is the top of a handle at once (see Priority.h), so
      // the reduction that the next step would choose is done right here.
      if (ReducedOnArrival(shifted) && InputPriority(next.kind) >= 0) {
        if (shifted == kind::Number && at - 1 == topTerminal) {
          Reduce(at, stack);  // on a terminal, the number alone is the handle; it cannot fail
          continue;
        }
      } else {
        topTerminal = at;
        continue;
      }
      topTerminal = at;
      onArrival = true;
    }

    // Reduce: walk down the terminals from the top to the handle's lower entry.
    std::size_t x = topTerminal;
    for (;;) {
      const std::size_t lower = TerminalBelow(stack, x);
      if (StackPriority(stack.kind[lower]) < InputPriority(stack.kind[x])) {
        const ResultCode code = Reduce(lower + 1, stack);
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
  result = LowestOperand(stack);
  return Ok;
}

}  // namespace

ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept {
  result = 0.0;
  if (expression.empty()) return Ok;
  TokenReader input(expression, table);
  Silent silent;
  return Parse(expression, input, result, silent);
}

ResultCode Explain(std::string_view expression, const VariableTable& table, double& result,
                   Diagnosis& diagnosis) noexcept {
  diagnosis = Diagnosis{};
  result = 0.0;
  TokenReader input(expression, table);
  ResultCode code = Ok;
  if (!expression.empty()) {
    PositionTracker tracker(expression, diagnosis);
    code = Parse(expression, input, result, tracker);
  }
  // Reading goes on to where the tokenizer stops, whatever ended the parse.
  while (input.Next().kind != kind::None) {
  }
  diagnosis.read = input.StopOffset();
  diagnosis.stop = input.Stop();
  diagnosis.dropped = input.DroppedTokenOffset();
  diagnosis.textVariable = input.FirstTextVariable();
  if (code == OutOfMemory) diagnosis.at = input.Stop() == StopReason::OutOfMemory ? diagnosis.dropped : 0;
  return code;
}

}  // namespace exprcalc
