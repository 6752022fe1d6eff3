// The steps' code: one function per form of step, its operators, functions
// and operand kinds fixed at compile time, so that a step is straight-line
// arithmetic. A step that succeeds hands over to the next step itself (a
// tail call, a jump in optimised builds), so running a program costs one
// call per segment rather than one per step; a segment ends with End, which
// returns to the runner (see Program.h), and the last with Finish, which
// returns the program's value. Segments are short, so that builds without
// tail calls nest only a few calls deep. A step that fails returns its code,
// and the steps after it are not run.
#pragma once

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "language/HostKinds.h"
#include "program/Steps.h"

namespace exprcalc::steps {

// A sign as an operator of steps: the evaluator's sign of a, b unused.
inline constexpr TokenKind Negation = '~';

template <TokenKind Op>
[[gnu::always_inline]] inline Outcome Operate(double a, double b) noexcept {
  if constexpr (Op == Negation) {
    return {Ok, Negated(a)};
  } else {
    return ApplyOperator<Op>(a, b);
  }
}

// Stores a step's value and runs the next step.
[[gnu::always_inline]] inline Outcome Next(const Step& step, double* slots, double value) noexcept {
  slots[step.target] = value;
  const Step& next = (&step)[1];
  return next.run(next, slots);
}

inline Outcome Failure(ResultCode code) noexcept { return {code, 0.0}; }

inline Outcome End(const Step&, double*) noexcept { return {Ok, 0.0}; }
// The program's value: a slot's, or a leaf's for a program that is one number.
inline Outcome Finish(const Step& step, double* slots) noexcept { return {Ok, slots[step.target]}; }
inline Outcome FinishWithLeaf(const Step& step, double*) noexcept { return {Ok, LoadLeaf(step.a.leaf)}; }

inline Outcome Malformed(const Step&, double*) noexcept { return Failure(exprcalc::Malformed); }

// a op b.
template <TokenKind Op, From A, From B>
Outcome Infix(const Step& step, double* slots) noexcept {
  const Outcome outcome = Operate<Op>(Read<A>(slots, step.a), Read<B>(slots, step.b));
  if (outcome.code != Ok) return Failure(outcome.code);
  return Next(step, slots, outcome.value);
}

// (a op1 b) op2 c, or c op2 (a op1 b) when Right, the parenthesis first; b is a leaf.
template <TokenKind Op1, TokenKind Op2, From A, From C, bool Right>
Outcome Chain(const Step& step, double* slots) noexcept {
  const Outcome first = Operate<Op1>(Read<A>(slots, step.a), LoadLeaf(step.b.leaf));
  if (first.code != Ok) return Failure(first.code);
  const double c = Read<C>(slots, step.c);
  const Outcome second = Right ? Operate<Op2>(c, first.value) : Operate<Op2>(first.value, c);
  if (second.code != Ok) return Failure(second.code);
  return Next(step, slots, second.value);
}

// (a op1 b) op2 (c op3 d), in that order; b, c and d are leaves.
template <TokenKind Op1, TokenKind Op2, TokenKind Op3, From A>
Outcome Quad(const Step& step, double* slots) noexcept {
  const Outcome left = Operate<Op1>(Read<A>(slots, step.a), LoadLeaf(step.b.leaf));
  if (left.code != Ok) return Failure(left.code);
  const Outcome right = Operate<Op3>(LoadLeaf(step.c.leaf), LoadLeaf(step.d.leaf));
  if (right.code != Ok) return Failure(right.code);
  const Outcome both = Operate<Op2>(left.value, right.value);
  if (both.code != Ok) return Failure(both.code);
  return Next(step, slots, both.value);
}

template <typename Function, From A>
Outcome Apply(const Step& step, double* slots) noexcept {
  const double y = Read<A>(slots, step.a);
  const ResultCode code = Function::Test(y);
  if (code != Ok) return Failure(code);
  return Next(step, slots, Function::Value(y));
}

// function(a op b): a function of the value of an operation; b is a leaf.
template <typename Function, TokenKind Op, From A>
Outcome ApplyToInfix(const Step& step, double* slots) noexcept {
  const Outcome first = Operate<Op>(Read<A>(slots, step.a), LoadLeaf(step.b.leaf));
  if (first.code != Ok) return Failure(first.code);
  const ResultCode code = Function::Test(first.value);
  if (code != Ok) return Failure(code);
  return Next(step, slots, Function::Value(first.value));
}

// A host's function of a: one call of its callback (b) with its pointer (c).
template <From A>
Outcome Host(const Step& step, double* slots) noexcept {
  const Outcome outcome = CallHost(step.b.call, step.c.user, Read<A>(slots, step.a));
  if (outcome.code != Ok) return Failure(outcome.code);
  return Next(step, slots, outcome.value);
}

}  // namespace exprcalc::steps
