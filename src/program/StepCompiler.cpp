// Compiling the recorded operations into steps: a symbolic run of the stack
// in which a push only notes where its number lies, and each operation
// becomes a step that reads its operands from there and writes the slot of
// the stack entry it leaves. A plain step a op b (b a leaf, op one of
// + - * /) may be taken into the step after it when that one uses its value
// at once: (a op b) op c, c op (a op b), function(a op b), and with the plain
// step before it (a op b) op (c op d); a sign may follow a plain step too:
// -(a op b). Each half keeps its own test, in its order.
#include <cassert>

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "program/Program.h"
#include "program/StepKernels.h"
#include "program/Steps.h"

namespace exprcalc {
namespace {

// The leaf that a sign's step names as its unused right operand, and the
// value of a program without one.
constexpr double Zero = 0.0;

template <typename Apply>
void WithFrom(From from, Apply&& apply) noexcept {
  if (from == From::Slot) {
    apply(std::integral_constant<From, From::Slot>{});
  } else {
    apply(std::integral_constant<From, From::Leaf>{});
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
    case '^': apply(std::integral_constant<TokenKind, '^'>{}); return;
    default: apply(std::integral_constant<TokenKind, steps::Negation>{}); return;
  }
}

// The operators of fused steps: a plain step's (the first half: + - * / ^),
// the one that follows it with the plain step's value on the left (a sign
// too), and the one that takes it on the right (+ - * /).
constexpr bool IsFirstHalf(TokenKind op) noexcept {
  return op == '+' || op == '-' || op == '*' || op == '/' || op == '^';
}
constexpr bool IsClosing(TokenKind op) noexcept { return IsFirstHalf(op) || op == steps::Negation; }
constexpr bool IsMiddle(TokenKind op) noexcept { return op == '+' || op == '-' || op == '*' || op == '/'; }

template <typename Apply>
void WithMiddle(TokenKind op, Apply&& apply) noexcept {
  switch (op) {
    case '+': apply(std::integral_constant<TokenKind, '+'>{}); return;
    case '-': apply(std::integral_constant<TokenKind, '-'>{}); return;
    case '*': apply(std::integral_constant<TokenKind, '*'>{}); return;
    default: apply(std::integral_constant<TokenKind, '/'>{}); return;
  }
}
template <typename Apply>
void WithFirstHalf(TokenKind op, Apply&& apply) noexcept {
  if (op == '^') {
    apply(std::integral_constant<TokenKind, '^'>{});
  } else {
    WithMiddle(op, apply);
  }
}
template <typename Apply>
void WithClosing(TokenKind op, Apply&& apply) noexcept {
  if (op == steps::Negation) {
    apply(std::integral_constant<TokenKind, steps::Negation>{});
  } else {
    WithFirstHalf(op, apply);
  }
}

// A number on the symbolic stack: where it lies.
struct Entry {
  From from;
  StepOperand at;
  bool IsSlot(std::size_t slot) const noexcept { return from == From::Slot && at.slot == slot; }
};

// A step just emitted, when it is a plain a op b that a fused step may take in.
struct Plain {
  bool fusable = false;
  TokenKind op = 0;
  Entry a{};
  Entry b{};
  std::size_t target = 0;
};

class StepWriter {
 public:
  explicit StepWriter(Step* steps) noexcept : steps_(steps) {}

  std::size_t Count() const noexcept { return count_; }

  // The step for a function of entry y.
  void Function(TokenKind function, const Entry& y, std::size_t target) noexcept {
    if (last_.fusable && y.IsSlot(last_.target)) {
      const Plain inner = Take();
      Step& step = Emit(target, inner.a.at, inner.b.at);
      WithFunction(function, [&](auto f) {
        WithFirstHalf(inner.op, [&](auto op) {
          WithFrom(inner.a.from, [&](auto a) { step.run = steps::ApplyToInfix<decltype(f), op(), a()>; });
        });
      });
      return;
    }
    Step& step = Emit(target, y.at, {});
    WithFunction(function, [&](auto f) {
      WithFrom(y.from, [&](auto a) { step.run = steps::Apply<decltype(f), a()>; });
    });
  }

  // The step for a host's function of entry y; no other step is fused with it.
  void Host(HostCallback call, void* user, const Entry& y, std::size_t target) noexcept {
    Step& step = Emit(target, y.at, {});
    step.b.call = call;
    step.c.user = user;
    WithFrom(y.from, [&](auto a) { step.run = steps::Host<a()>; });
  }

  // The step for left op right.
  void Infix(TokenKind op, const Entry& left, const Entry& right, std::size_t target) noexcept {
    if (last_.fusable && IsClosing(op) && left.IsSlot(last_.target) && right.from == From::Leaf) {
      const Plain inner = Take();
      Chain<false>(inner, op, right, target);  // (a op1 b) op c
      return;
    }
    if (last_.fusable && IsMiddle(op) && right.IsSlot(last_.target)) {
      if (before_.fusable && left.IsSlot(before_.target) && last_.a.from == From::Leaf) {
        const Plain second = Take();
        const Plain first = Take();
        Step& step = Emit(target, first.a.at, first.b.at);
        step.c = second.a.at;
        step.d = second.b.at;
        WithFirstHalf(first.op, [&](auto op1) {
          WithMiddle(op, [&](auto op2) {
            WithFirstHalf(second.op, [&](auto op3) {
              WithFrom(first.a.from, [&](auto a) { step.run = steps::Quad<op1(), op2(), op3(), a()>; });
            });
          });
        });
        return;
      }
      const Plain inner = Take();
      Chain<true>(inner, op, left, target);  // c op (a op1 b)
      return;
    }
    Step& step = Emit(target, left.at, right.at);
    WithOperator(op, [&](auto o) {
      WithFrom(left.from, [&](auto a) {
        WithFrom(right.from, [&](auto b) { step.run = steps::Infix<o(), a(), b()>; });
      });
    });
    if (IsFirstHalf(op) && right.from == From::Leaf) last_ = {true, op, left, right, target};
  }

  void Malformed() noexcept { Emit(0, {}, {}).run = steps::Malformed; }

 private:
  // The fused step (a op1 b) op c, or c op (a op1 b) when Right.
  template <bool Right>
  void Chain(const Plain& inner, TokenKind op, const Entry& c, std::size_t target) noexcept {
    Step& step = Emit(target, inner.a.at, inner.b.at);
    step.c = c.at;
    auto withSecond = [&](auto&& apply) {
      if constexpr (Right) {
        WithMiddle(op, apply);
      } else {
        WithClosing(op, apply);
      }
    };
    WithFirstHalf(inner.op, [&](auto op1) {
      withSecond([&](auto op2) {
        WithFrom(inner.a.from, [&](auto a) {
          WithFrom(c.from, [&](auto cFrom) { step.run = steps::Chain<op1(), op2(), a(), cFrom(), Right>; });
        });
      });
    });
  }

  // Takes back the last step emitted, a plain one, to fuse it into the next.
  Plain Take() noexcept {
    const Plain taken = last_;
    last_ = before_;
    before_ = {};
    --count_;
    return taken;
  }

  Step& Emit(std::size_t target, StepOperand a, StepOperand b) noexcept {
    before_ = last_;
    last_ = {};
    Step& step = steps_[count_++];
    step = {nullptr, target, a, b, {}, {}};
    return step;
  }

  Step* steps_;
  std::size_t count_ = 0;
  Plain last_;
  Plain before_;
};

// Splits the steps into segments of at most SegmentSteps, each closed by End
// but the last, which finish closes (in place: steps has room for the ends),
// and returns the steps' new count.
std::size_t CloseSegments(Step* steps, std::size_t count, const Step& finish) noexcept {
  constexpr std::size_t Segment = Program::SegmentSteps;
  const std::size_t segments = count == 0 ? 1 : (count + Segment - 1) / Segment;
  const std::size_t total = count + segments;
  std::size_t from = count;
  steps[total - 1] = finish;
  for (std::size_t to = total - 1; to-- > 0;) {
    steps[to] = to % (Segment + 1) == Segment ? Step{steps::End, 0, {}, {}, {}, {}} : steps[--from];
  }
  return total;
}

// A leaf's operand: the bytes of its number.
StepOperand LeafAt(const unsigned char* bytes) noexcept {
  StepOperand operand{};
  operand.leaf = bytes;
  return operand;
}

}  // namespace

std::size_t CompileSteps(const RecordedProgram& recorded, Step* steps, std::size_t& slots) noexcept {
  if (!recorded.shape.runnable) return NotCompiled;
  assert(recorded.shape.deepest <= Program::MostNumbers);
  Entry stack[Program::MostNumbers];
  std::size_t depth = 0;
  StepWriter writer(steps);
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const Operation operation = recorded.At(i);
    const auto leaf = [&](const void* bytes) { return Entry{From::Leaf, LeafAt(static_cast<const unsigned char*>(bytes))}; };
    switch (operation.kind) {
      case OperationKind::PushConstant:
        stack[depth++] = leaf(recorded.constants + operation.index);
        continue;
      case OperationKind::PushVariable:
        stack[depth++] = leaf(recorded.VariableBytes(operation.index));
        continue;
      case OperationKind::Malformed:
        writer.Malformed();
        continue;
      case OperationKind::Negate:
        writer.Infix(steps::Negation, stack[depth - 1], leaf(&Zero), depth - 1);
        break;
      case OperationKind::Function:
        writer.Function(static_cast<TokenKind>(operation.index), stack[depth - 1], depth - 1);
        break;
      case OperationKind::CallHost:
        writer.Host(recorded.HostCall(operation.index), recorded.HostUser(operation.index), stack[depth - 1],
                    depth - 1);
        break;
      case OperationKind::Infix: {
        const TokenKind op = SymbolOf(operation.op);
        if (operation.right == RightOperand::Stack) {
          --depth;
          writer.Infix(op, stack[depth - 1], stack[depth], depth - 1);
        } else if (operation.right == RightOperand::Constant) {
          writer.Infix(op, stack[depth - 1], leaf(recorded.constants + operation.index), depth - 1);
        } else {
          writer.Infix(op, stack[depth - 1], leaf(recorded.VariableBytes(operation.index)), depth - 1);
        }
        break;
      }
    }
    StepOperand written{};
    written.slot = depth - 1;
    stack[depth - 1] = {From::Slot, written};
  }
  // The last step gives the value: a slot's, or a leaf's (none: 0.0).
  Step finish{steps::FinishWithLeaf, 0, {reinterpret_cast<const unsigned char*>(&Zero)}, {}, {}, {}};
  if (recorded.resultSlot != NoOperand) {
    assert(recorded.resultSlot < depth);
    const Entry& entry = stack[recorded.resultSlot];
    if (entry.from == From::Slot) {
      finish = {steps::Finish, entry.at.slot, {}, {}, {}, {}};
    } else {
      finish.a = entry.at;
    }
  }
  slots = recorded.shape.deepest;
  return CloseSegments(steps, writer.Count(), finish);
}

}  // namespace exprcalc
