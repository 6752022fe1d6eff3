// How the calculator shows bytes that it echoes from its input (error lines,
// hints, :vars): printable ASCII and valid UTF-8 characters as they are,
// control bytes and bytes of invalid UTF-8 escaped, so that an echo can
// neither move the cursor nor change the state of the terminal, and
// characters that cannot be seen (a no-break space, a zero-width space, a
// byte-order mark, a direction control) escaped, so that a reader sees what
// the caret points to.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace calculator {

// A valid UTF-8 character at the start of a text.
struct Character {
  char32_t codePoint;
  std::size_t length;  // in bytes, 1 to 4
};

// The character that text begins with; nullopt when text is empty or its
// first byte does not begin a valid UTF-8 sequence.
std::optional<Character> FirstCharacter(std::string_view text);

// Whether a valid character is shown escaped as "\uXXXX" (or "\UXXXXXXXX"):
// the white space other than the blank, the zero-width and format characters.
bool IsInvisible(char32_t codePoint);

// text as shown: "\t", "\n", "\r", "\v", "\f" for those controls, "\xNN" for
// every other C0 control, DEL, each byte of a C1 control (U+0080 to U+009F)
// and each byte that is not part of a valid UTF-8 character, "\u00A0" for an
// invisible character.
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
