// Names in a line as the expression reader sees them: "@" or a letter, then
// letters and digits. A name that goes on with another byte, such as "_",
// is read only up to that byte; the calculator points such bytes out.
#pragma once

#include <cstddef>
#include <string_view>

#include "LineSource.h"

namespace calculator {

constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsNameByte(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// A byte that a writer may have meant as part of a name but that no
// expression reads there: not white space, a letter, a digit, nor a byte of
// the language's numbers and operators.
inline bool IsStrayNameByte(char c) {
  constexpr std::string_view LanguageBytes = "@.:,+-*/%^()=";
  return !IsWhiteSpace(c) && !IsNameByte(c) && LanguageBytes.find(c) == std::string_view::npos;
}

// The end of the name that begins at at (its "@" and its letters and digits).
constexpr std::size_t NameEnd(std::string_view line, std::size_t at) {
  std::size_t end = at;
  if (end < line.size() && line[end] == '@') ++end;
  while (end < line.size() && IsNameByte(line[end])) ++end;
  return end;
}

// The name as written from at: what NameEnd reads, and the stray bytes,
// letters and digits that follow it ("@MY_RATE").
inline std::size_t WrittenNameEnd(std::string_view line, std::size_t at) {
  std::size_t end = NameEnd(line, at);
  while (end < line.size() && (IsNameByte(line[end]) || IsStrayNameByte(line[end]))) ++end;
  return end;
}

}  // namespace calculator
