// Compiling the recorded operations into steps: a symbolic run of the stack
// in which a push only notes where its number lies, and each operation
// becomes a step that reads its operands from there and writes the slot of
// the stack entry it leaves. An operation that takes the value of the step
// just before it as its left operand, the other from a constant or variable,
// is fused with it into one step (x*c+d, a+b+c), as is one that takes that
// value as its right operand (c*(x+d)), and a function of such a value
// (LOG(x+1)); each half keeps its own test.
#include <algorithm>
#include <type_traits>

#include "expr/BuiltIns.h"
#include "expr/Parse.h"
#include "expr/Program.h"
#include "expr/Reduce.h"
#include "expr/Steps.h"

namespace exprcalc {
namespace {

template <From F>
[[gnu::always_inline]] inline double Read(const Frame& frame, std::uint32_t at) noexcept {
  if constexpr (F == From::Slot) {
    return frame.slots[at];
  } else if constexpr (F == From::Constant) {
    return frame.constants[at];
  } else {
    return frame.table.NumberAt(static_cast<int>(at));
  }
}

template <TokenKind Op, From L, From R>
ResultCode InfixStep(const Step& step, const Frame& frame) noexcept {
  const Outcome outcome = ApplyOperator<Op>(Read<L>(frame, step.left), Read<R>(frame, step.right));
  frame.slots[step.target] = outcome.value;
  return outcome.code;
}

// (left op1 right) op2 third, in that order.
template <TokenKind Op1, TokenKind Op2, From L, From R, From T>
ResultCode LeftChainStep(const Step& step, const Frame& frame) noexcept {
  const Outcome first = ApplyOperator<Op1>(Read<L>(frame, step.left), Read<R>(frame, step.right));
  if (first.code != Ok) return first.code;
  const Outcome second = ApplyOperator<Op2>(first.value, Read<T>(frame, step.third));
  frame.slots[step.target] = second.value;
  return second.code;
}

// third op2 (left op1 right), the parenthesis first.
template <TokenKind Op1, TokenKind Op2, From L, From R, From T>
ResultCode RightChainStep(const Step& step, const Frame& frame) noexcept {
  const Outcome first = ApplyOperator<Op1>(Read<L>(frame, step.left), Read<R>(frame, step.right));
  if (first.code != Ok) return first.code;
  const Outcome second = ApplyOperator<Op2>(Read<T>(frame, step.third), first.value);
  frame.slots[step.target] = second.value;
  return second.code;
}

template <typename Function, From L>
ResultCode FunctionStep(const Step& step, const Frame& frame) noexcept {
  const double y = Read<L>(frame, step.left);
  const ResultCode code = Function::Test(y);
  if (code != Ok) return code;
  frame.slots[step.target] = Function::Value(y);
  return Ok;
}

// function(left op right): a function of a sum, product, difference or quotient.
template <typename Function, TokenKind Op, From L, From R>
ResultCode FunctionOfInfixStep(const Step& step, const Frame& frame) noexcept {
  const Outcome first = ApplyOperator<Op>(Read<L>(frame, step.left), Read<R>(frame, step.right));
  if (first.code != Ok) return first.code;
  const ResultCode code = Function::Test(first.value);
  if (code != Ok) return code;
  frame.slots[step.target] = Function::Value(first.value);
  return Ok;
}

template <From L>
ResultCode NegateStep(const Step& step, const Frame& frame) noexcept {
  frame.slots[step.target] = Read<L>(frame, step.left) * -1.0;
  return Ok;
}

ResultCode MalformedStep(const Step&, const Frame&) noexcept { return Malformed; }

template <typename Apply>
void WithFrom(From from, Apply&& apply) noexcept {
  switch (from) {
    case From::Slot: apply(std::integral_constant<From, From::Slot>{}); return;
    case From::Constant: apply(std::integral_constant<From, From::Constant>{}); return;
    default: apply(std::integral_constant<From, From::Variable>{}); return;
  }
}

// Fused halves take constants and variables only, so that few forms are built.
template <typename Apply>
void WithLeaf(From from, Apply&& apply) noexcept {
  if (from == From::Constant) {
    apply(std::integral_constant<From, From::Constant>{});
  } else {
    apply(std::integral_constant<From, From::Variable>{});
  }
}

template <typename Apply>
void WithOperator(TokenKind op, Apply&& apply) noexcept {
  switch (op) {
    case '+': apply(std::integral_constant<TokenKind, '+'>{}); return;
    case '-': apply(std::integral_constant<TokenKind, '-'>{}); return;
    case '*': apply(std::integral_constant<TokenKind, '*'>{}); return;
    case '/': apply(std::integral_constant<TokenKind, '/'>{}); return;
    case '%': apply(std::integral_constant<TokenKind, '%'>{}); return;
    default: apply(std::integral_constant<TokenKind, '^'>{}); return;
  }
}

// The operators that fused steps take: those computed inline.
template <typename Apply>
void WithFusedOperator(TokenKind op, Apply&& apply) noexcept {
  switch (op) {
    case '+': apply(std::integral_constant<TokenKind, '+'>{}); return;
    case '-': apply(std::integral_constant<TokenKind, '-'>{}); return;
    case '*': apply(std::integral_constant<TokenKind, '*'>{}); return;
    default: apply(std::integral_constant<TokenKind, '/'>{}); return;
  }
}
constexpr bool IsFusedOperator(TokenKind op) noexcept { return op == '+' || op == '-' || op == '*' || op == '/'; }

constexpr TokenKind OperatorOf(Program::Code infix) noexcept {
  switch (infix) {
    case Program::Add: return '+';
    case Program::Subtract: return '-';
    case Program::Multiply: return '*';
    case Program::Divide: return '/';
    case Program::Remainder: return '%';
    default: return '^';
  }
}

using Operand = StepOperand;

// The last step emitted, when it is a plain infix step that a fused one may take in.
struct LastInfix {
  bool fusable = false;
  TokenKind op = 0;
  Operand left{};
  Operand right{};
  std::uint32_t target = 0;
};

bool IsLeaf(const Operand& operand) noexcept { return operand.from != From::Slot; }

}  // namespace

std::size_t CompileSteps(const Recorded& recorded, Step* steps, std::size_t& slots, StepOperand& value) noexcept {
  Operand stack[Program::MostNumbers];
  std::size_t depth = 0;
  std::size_t deepest = 0;
  std::size_t count = 0;
  LastInfix last;
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const std::uint32_t operand = recorded.operations[i] >> Program::OperandShift;
    const auto code = static_cast<Program::Code>(recorded.operations[i] & 0xFF);
    const bool fusable = last.fusable;
    last.fusable = false;
    if (code == Program::PushConstant || code == Program::PushVariable) {
      if (depth == Program::MostNumbers) return NotCompiled;
      stack[depth++] = {code == Program::PushConstant ? From::Constant : From::Variable, operand};
      deepest = std::max(deepest, depth);
      last.fusable = fusable;  // a push leaves the slots alone
      continue;
    }
    if (code == Program::Malformed) {
      steps[count++] = {MalformedStep, 0, 0, 0, 0};
      continue;
    }
    if (depth == 0) return NotCompiled;
    const auto target = static_cast<std::uint32_t>(depth - 1);
    Step& step = steps[count];
    step = {nullptr, target, stack[depth - 1].at, 0, 0};
    if (code == Program::Negate) {
      WithFrom(stack[depth - 1].from, [&](auto l) { step.run = NegateStep<decltype(l)::value>; });
    } else if (code == Program::Function && fusable && stack[depth - 1].from == From::Slot &&
               stack[depth - 1].at == last.target && IsFusedOperator(last.op)) {
      // Replaces the step before, which computed the operand, with one that does both.
      Step& fused = steps[--count];
      fused = {nullptr, target, last.left.at, last.right.at, 0};
      WithFunction(static_cast<TokenKind>(operand), [&](auto function) {
        WithFusedOperator(last.op, [&](auto op) {
          WithLeaf(last.left.from, [&](auto l) {
            WithLeaf(last.right.from, [&](auto r) {
              fused.run = FunctionOfInfixStep<decltype(function), decltype(op)::value, decltype(l)::value,
                                              decltype(r)::value>;
            });
          });
        });
      });
    } else if (code == Program::Function) {
      WithFunction(static_cast<TokenKind>(operand), [&](auto function) {
        WithFrom(stack[depth - 1].from, [&](auto l) { step.run = FunctionStep<decltype(function), decltype(l)::value>; });
      });
    } else {
      const auto form = (code - Program::Add) % 3;
      const TokenKind op = OperatorOf(static_cast<Program::Code>(code - form));
      Operand left = stack[depth - 1];
      Operand right{form == 1 ? From::Constant : From::Variable, operand};
      if (form == 0) {
        if (depth < 2) return NotCompiled;
        left = stack[depth - 2];
        right = stack[depth - 1];
        --depth;
      }
      step.target = static_cast<std::uint32_t>(depth - 1);
      step.left = left.at;
      step.right = right.at;
      const bool leftChain = fusable && left.from == From::Slot && left.at == last.target && IsLeaf(right);
      const bool rightChain = fusable && right.from == From::Slot && right.at == last.target;
      if ((leftChain || rightChain) && IsFusedOperator(op) && IsFusedOperator(last.op)) {
        // Replaces the step before with one that does both.
        Step& fused = steps[--count];
        fused = {nullptr, step.target, last.left.at, last.right.at, leftChain ? right.at : left.at};
        WithFusedOperator(last.op, [&](auto op1) {
          WithFusedOperator(op, [&](auto op2) {
            WithLeaf(last.left.from, [&](auto l) {
              WithLeaf(last.right.from, [&](auto r) {
                if (leftChain) {
                  WithLeaf(right.from, [&](auto t) {
                    fused.run = LeftChainStep<decltype(op1)::value, decltype(op2)::value, decltype(l)::value,
                                              decltype(r)::value, decltype(t)::value>;
                  });
                } else {  // the left operand may be a slot: (a+b)*(c-d)
                  WithFrom(left.from, [&](auto t) {
                    fused.run = RightChainStep<decltype(op1)::value, decltype(op2)::value, decltype(l)::value,
                                               decltype(r)::value, decltype(t)::value>;
                  });
                }
              });
            });
          });
        });
      } else {
        WithOperator(op, [&](auto o) {
          WithFrom(left.from, [&](auto l) {
            WithFrom(right.from, [&](auto r) {
              step.run = InfixStep<decltype(o)::value, decltype(l)::value, decltype(r)::value>;
            });
          });
        });
        last = {IsLeaf(left) && IsLeaf(right), op, left, right, step.target};
      }
    }
    stack[depth - 1] = {From::Slot, static_cast<std::uint32_t>(depth - 1)};
    ++count;
  }
  value = {From::Slot, NoValue};
  if (recorded.resultSlot != NoOperand) {
    if (recorded.resultSlot >= depth) return NotCompiled;
    value = {stack[recorded.resultSlot].from, stack[recorded.resultSlot].at};
  }
  slots = std::max<std::size_t>(deepest, 1);
  return count;
}

}  // namespace exprcalc
