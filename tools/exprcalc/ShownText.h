// How the calculator shows bytes that it echoes from its input (error lines,
// hints, :vars): printable ASCII and valid UTF-8 characters as they are,
// control bytes and bytes of invalid UTF-8 escaped, so that an echo can
// neither move the cursor nor change the state of the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace calculator {

// text as shown: "\t", "\n", "\r", "\v", "\f" for those controls, "\xNN" for
// every other C0 control, DEL, each byte of a C1 control (U+0080 to U+009F)
// and each byte that is not part of a valid UTF-8 character.
std::string Shown(std::string_view text);

// The columns that Shown(text) takes on a terminal: one per character.
std::size_t ShownWidth(std::string_view text);

// Shown(text) when text has at most maxBytes bytes, else its first maxBytes
// bytes (never half a character) shown and "...".
std::string ShownShort(std::string_view text, std::size_t maxBytes);

// The most bytes of a name or a numeral that a message or hint echoes.
inline constexpr std::size_t MaxEchoedNameBytes = 40;

// An echo of a line with a caret under one of its bytes: the whole line when
// it has at most MaxExcerptBytes bytes, else about that many bytes around the
// caret with "..." where the line was cut.
inline constexpr std::size_t MaxExcerptBytes = 200;
struct Excerpt {
  std::string text;           // shown
  std::size_t caretColumn{};  // 0-based column of the caret under text
};

// offset may be the line's length: the caret then stands after the last byte.
Excerpt ExcerptAt(std::string_view line, std::size_t offset);

}  // namespace calculator
