// Byte classes of the library's single-byte text. Every test is an explicit
// ASCII comparison: nothing depends on the C locale, and no byte of 0x80 or
// above is white space, a letter or a digit, or changes when upper-cased.
#pragma once

#include <string_view>

namespace exprcalc {

// Blank, tab, line feed, vertical tab, form feed and carriage return.
constexpr bool IsWhiteSpace(unsigned char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');  // tab, LF, VT, FF and CR are 9 to 13
}
static_assert('\t' == 9 && '\n' == 10 && '\v' == 11 && '\f' == 12 && '\r' == 13);

constexpr bool IsLetter(unsigned char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsDigit(unsigned char c) noexcept { return c >= '0' && c <= '9'; }

constexpr char UpperCase(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text without white space at either end.
constexpr std::string_view TrimWhiteSpace(std::string_view text) noexcept {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsWhiteSpace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsWhiteSpace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

}  // namespace exprcalc
