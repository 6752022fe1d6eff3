// The evaluator's stack entries and the reduction that folds a stretch at the
// top of the stack into evaluated operands ("E"), computing as it goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "expr/ResultCode.h"
#include "expr/Token.h"

namespace exprcalc {

// A divisor or logarithm argument of smaller magnitude counts as zero.
inline constexpr double ZeroThreshold = 5e-14;

// One entry of the evaluator's stack: a token, and for an entry that is not
// an evaluated operand the index of the nearest such entry below it, which
// lets the parser find its handles in constant time.
// Left uninitialised on purpose: the parser writes each entry before reading it.
struct StackEntry {
  TokenKind kind;
  std::uint32_t terminalBelow;
  double value;
};
static_assert(sizeof(StackEntry) == 16);

// Folds entries start to depth-1 by the reduction rules, writing one "E" entry
// per rule applied from start upward. Entries at depth and above read as kind
// 0. On return depth is start plus the number of rules applied, also after a
// failure; the result is the code of the first failing rule, or Ok.
ResultCode Reduce(std::size_t start, std::size_t& depth, StackEntry* stack) noexcept;

}  // namespace exprcalc
