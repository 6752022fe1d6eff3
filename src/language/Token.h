// One token of an expression, and one entry of the evaluator's stack: a kind
// (an 8-bit character code) and the number it carries.
#pragma once

#include <cstddef>
#include <cstdint>

namespace exprcalc {

using TokenKind = unsigned char;

namespace kind {
inline constexpr TokenKind None = 0;      // no token: past the end of the input, or an empty entry
inline constexpr TokenKind End = '$';     // end of the expression; also the stack's bottom marker
inline constexpr TokenKind Number = 'i';  // a literal, PAI or a variable's value
inline constexpr TokenKind Operand = 'E'; // an evaluated operand, written only by Reduce
}  // namespace kind

constexpr bool CarriesNumber(TokenKind k) noexcept { return k == kind::Number || k == kind::Operand; }

// No number: where the value of an expression without one would stand.
inline constexpr std::size_t NoOperand = static_cast<std::size_t>(-1);

struct Token {
  TokenKind kind = kind::None;
  double value = 0.0;
};

}  // namespace exprcalc
