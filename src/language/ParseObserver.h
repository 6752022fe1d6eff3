// What the parse tells an observer and asks of it, stated once for every
// observer. Each evaluation is the one parse (Parse.h) with an observer that
// does its arithmetic and watches: Silent for the plain evaluation (it
// compiles to nothing), PositionTracker for the diagnosis, ProgramRecorder
// for a prepared program.
#pragma once

#include <concepts>
#include <cstddef>

#include "language/Reduce.h"
#include "language/Tokenizer.h"

namespace exprcalc {

// No stack entry: the token to blame has not been shifted.
inline constexpr std::size_t NoEntry = static_cast<std::size_t>(-1);

// Why and where the parse failed.
struct Failure {
  ResultCode code;
  // The stack entry of the token to blame: for an arithmetic code, the
  // operator of "E op E" or the function or sign of "F E"; for a malformed
  // stretch, its top terminal. NoEntry: the token read next is to blame.
  std::size_t entry;
  std::size_t place;  // where the token read next begins (TokenReader::Place)
  TokenKind next;     // that token's kind
};

// The hooks, in the order the parse calls them. Stack entries are numbered
// from the bottom marker (0) upward; an entry's number is reused once a
// reduction has folded it.
//  - Prepare(room): first of all; the stack will hold at most room entries.
//  - Shifted(entry, token, input): token, just read, becomes entry; where it
//    begins is input.Place() and what a name stood for input.Resolved(). A
//    number lands as an operand ("E") when it lands on a terminal.
//  - Prefix(k, y), Infix(a, op, b): the arithmetic of each reduction, in the
//    parse's order. A reduction folds the entries from its first one upward
//    into one operand that takes the first entry's number.
//  - Failed(failure): the parse stops on a code; nothing follows it.
//  - Finished(stack, value): the parse ended without a code (at the end
//    marker, or at a token it cannot take); stack holds what is left: the
//    bottom marker, operands and the terminals never reduced, and value is
//    the index among its numbers of the value's (LowestOperand). Not called
//    when memory ran out.
template <typename Observer>
concept ParseObserver = requires(Observer& observer, std::size_t entry, const Token& token, const TokenReader& input,
                                 TokenKind k, double y, const Failure& failure, const EvalStack& stack) {
  { observer.Prepare(entry) } -> std::same_as<void>;
  { observer.Shifted(entry, token, input) } -> std::same_as<void>;
  { observer.Prefix(k, y) } -> std::same_as<Outcome>;
  { observer.Infix(y, k, y) } -> std::same_as<Outcome>;
  { observer.Failed(failure) } -> std::same_as<void>;
  { observer.Finished(stack, entry) } -> std::same_as<void>;
};

// The plain evaluation's observer: the arithmetic and nothing else.
struct Silent : Arithmetic {
  void Prepare(std::size_t) noexcept {}
  void Shifted(std::size_t, const Token&, const TokenReader&) noexcept {}
  void Failed(const Failure&) noexcept {}
  void Finished(const EvalStack&, std::size_t) noexcept {}
};
static_assert(ParseObserver<Silent>);

// Whether an observer asks the reader where tokens begin or what names stood
// for; the reader keeps that only for those that do.
template <typename Observer>
inline constexpr bool AsksPlaces = true;
template <>
inline constexpr bool AsksPlaces<Silent> = false;

}  // namespace exprcalc
