// The shift/reduce loop. Tokens are read one at a time as the parse needs
// them, so the only working buffer is the stack: inline for short texts, one
// heap block otherwise, sized for the most entries the text can push. The top
// terminal and each handle's lower entry are found through the entries'
// terminalBelow links, so the cost stays linear in the length of the text.
#include "expr/Evaluate.h"

#include <cassert>
#include <cstdint>

#include "expr/Priority.h"
#include "expr/Reduce.h"
#include "expr/ResultCode.h"
#include "expr/Tokenizer.h"
#include "variables/Memory.h"

namespace exprcalc {
namespace {

// Texts up to this length are evaluated without touching the heap.
constexpr std::size_t InlineTextLength = 256;

// Every token consumes a byte of text except the end marker, so a text of n
// bytes pushes at most n + 1 entries above the bottom marker.
constexpr std::size_t StackRoomFor(std::size_t length) noexcept { return length + 2; }

class EvalStack {
 public:
  EvalStack() = default;
  EvalStack(const EvalStack&) = delete;
  EvalStack& operator=(const EvalStack&) = delete;
  ~EvalStack() { Release(heap_); }

  // The entries for a text of the given length, or nullptr when they cannot be had.
  StackEntry* Obtain(std::size_t textLength) noexcept {
    if (textLength <= InlineTextLength) return inline_;
    // Entry indexes are 32-bit; the stack's byte size must fit size_t.
    if (textLength > UINT32_MAX - 2) return nullptr;
    std::size_t bytes = 0;
    if (!MultiplySize(StackRoomFor(textLength), sizeof(StackEntry), bytes)) return nullptr;
    heap_ = static_cast<StackEntry*>(Allocate(bytes));
    return heap_;
  }

 private:
  StackEntry inline_[StackRoomFor(InlineTextLength)];
  StackEntry* heap_ = nullptr;
};

}  // namespace

int Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept {
  result = 0.0;
  if (expression.empty()) return Ok;

  EvalStack buffer;
  StackEntry* stack = buffer.Obtain(expression.size());
  if (stack == nullptr) return OutOfMemory;
  [[maybe_unused]] const std::size_t room = StackRoomFor(expression.size());

  TokenReader input(expression, table);
  stack[0] = {kind::End, 0, 0.0};
  std::size_t depth = 1;
  std::size_t topTerminal = 0;
  Token next = input.Next();

  for (;;) {
    if (input.OutOfMemory()) return OutOfMemory;
    const TokenKind top = stack[topTerminal].kind;
    if (top == kind::End && next.kind == kind::End) break;
    const int sp = StackPriority(top);
    const int ip = InputPriority(next.kind);
    if (sp < 0 || ip < 0) break;

    if (sp <= ip) {  // shift
      assert(depth < room);
      if (next.kind == kind::Number && topTerminal == depth - 1) {
        // Every token that can follow a number has a lower input priority, so
        // the next step would reduce this number alone into an operand, and
        // nothing else happens in between: do it now.
        stack[depth++] = {kind::Operand, 0, next.value};
      } else {
        stack[depth] = {next.kind, static_cast<std::uint32_t>(topTerminal), next.value};
        topTerminal = depth++;
      }
      next = input.Next();
      continue;
    }

    // Reduce: walk down the terminals from the top to the handle's lower entry.
    std::size_t x = topTerminal;
    for (;;) {
      const std::size_t lower = stack[x].terminalBelow;
      if (StackPriority(stack[lower].kind) < InputPriority(stack[x].kind)) {
        const ResultCode code = Reduce(lower + 1, depth, stack);
        if (code != Ok) return code;
        topTerminal = lower;  // everything above it is now an evaluated operand
        break;
      }
      if (lower == 0) return Malformed;  // a ")" with no "(" beneath it
      x = lower;
    }
  }

  for (std::size_t i = 0; i < depth; ++i) {
    if (stack[i].kind == kind::Operand) {
      result = stack[i].value;
      break;
    }
  }
  return Ok;
}

}  // namespace exprcalc
