// The two priority functions that carry the grammar: a kind's priority when
// it stands on the stack, and when it arrives from the input. A negative
// priority means the kind has none, and meeting it ends the parse. Both are
// one table lookup, since the parser consults them for every token. The facts
// about the tables that the parser's shortcuts rely on are checked below.
#pragma once

#include <array>

#include "language/BuiltIns.h"
#include "language/Token.h"

namespace exprcalc {

namespace priority {

constexpr int OnStack(TokenKind k) noexcept {
  switch (k) {
    case '$': case '(': return 0;
    case ')': case 'i': return 11;
    case '+': case '-': return 2;
    case '*': case '/': case '%': return 4;
    case '^': return 5;
    default: return IsFunctionKind(k) ? 5 : -1;
  }
}

constexpr int FromInput(TokenKind k) noexcept {
  switch (k) {
    case '$': case ')': return 0;
    case '(': case 'i': return 10;
    case '+': case '-': return 1;
    case '*': case '/': case '%': return 3;
    case '^': return 6;
    default: return IsFunctionKind(k) ? 6 : -1;
  }
}

template <int (*Priority)(TokenKind)>
constexpr std::array<signed char, 256> Tabulate() noexcept {
  std::array<signed char, 256> table{};
  for (int k = 0; k < 256; ++k) table[k] = static_cast<signed char>(Priority(static_cast<TokenKind>(k)));
  return table;
}

inline constexpr std::array<signed char, 256> StackTable = Tabulate<OnStack>();
inline constexpr std::array<signed char, 256> InputTable = Tabulate<FromInput>();

constexpr bool ForEveryKind(bool (*holds)(TokenKind)) noexcept {
  for (int k = 0; k < 256; ++k) {
    if (!holds(static_cast<TokenKind>(k))) return false;
  }
  return true;
}

}  // namespace priority

constexpr int StackPriority(TokenKind k) noexcept { return priority::StackTable[k]; }
constexpr int InputPriority(TokenKind k) noexcept { return priority::InputTable[k]; }

// A number or a ")" is reduced as soon as it is shifted: every kind that can
// arrive after it has a lower input priority, so the next step always reduces.
constexpr bool ReducedOnArrival(TokenKind k) noexcept { return k == kind::Number || k == ')'; }
static_assert(priority::ForEveryKind([](TokenKind k) {
  return InputPriority(k) < StackPriority(kind::Number) && InputPriority(k) < StackPriority(')');
}));
static_assert(priority::ForEveryKind([](TokenKind k) { return !ReducedOnArrival(k) || StackPriority(k) > 0; }));

// Looking for a handle's lower end goes past a terminal only when the stack
// priority below equals the input priority above. A ")" is shifted only onto
// "(" or the bottom marker (every other terminal outranks it), and "(" below ")"
// is the one such pair the walk meets: the handle of ")" reaches down to its "(".
static_assert(priority::ForEveryKind([](TokenKind k) {
  return k == '(' || k == kind::End || StackPriority(k) < 0 || StackPriority(k) > InputPriority(')');
}));
// Every terminal that stays on the stack ranks below an arriving number or
// "(": a number shifted onto a terminal is a handle by itself, and the lower
// end of "( E )" is the entry right below the "(". An operand there, as in
// 2(3), makes the stretch E ( E ), which no rule matches.
static_assert(priority::ForEveryKind([](TokenKind k) {
  return ReducedOnArrival(k) ||
         (StackPriority(k) < InputPriority('(') && StackPriority(k) < InputPriority(kind::Number));
}));

}  // namespace exprcalc
