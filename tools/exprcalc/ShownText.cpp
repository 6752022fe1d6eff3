// Reads the text one character at a time: a valid UTF-8 sequence (by the
// table of well-formed sequences, so overlong forms and surrogates are not
// valid) or a single byte. Every character takes one column; an escape takes
// as many as it has bytes.
#include "ShownText.h"

#include <algorithm>

namespace calculator {
namespace {

constexpr std::string_view Ellipsis = "...";
constexpr unsigned char FirstC1Control = 0x80;
constexpr unsigned char LastC1Control = 0x9F;
constexpr unsigned char Delete = 0x7F;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

unsigned char ByteAt(std::string_view text, std::size_t i) { return static_cast<unsigned char>(text[i]); }

// The length of the valid UTF-8 sequence of 2 to 4 bytes that text begins with; 0 when there is none.
std::size_t SequenceLength(std::string_view text) {
  const unsigned char lead = ByteAt(text, 0);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the bounds of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong form
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || ByteAt(text, 1) < low || ByteAt(text, 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(ByteAt(text, i))) return 0;
  }
  return length;
}

void AppendHex(std::string& out, unsigned char c) {
  constexpr std::string_view Digits = "0123456789ABCDEF";
  out += "\\x";
  out += Digits[c >> 4];
  out += Digits[c & 0xF];
}

void AppendEscaped(std::string& out, unsigned char c) {
  switch (c) {
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\v': out += "\\v"; return;
    case '\f': out += "\\f"; return;
    default: AppendHex(out, c);
  }
}

// The first character of text (never empty) shown, appended to out; returns its length in bytes.
std::size_t AppendCharacter(std::string& out, std::string_view text) {
  const unsigned char c = ByteAt(text, 0);
  if (c >= ' ' && c < Delete) {
    out += static_cast<char>(c);
    return 1;
  }
  const std::size_t length = c >= 0x80 ? SequenceLength(text) : 0;
  if (length == 0) {
    AppendEscaped(out, c);
    return 1;
  }
  const bool isC1Control =
      length == 2 && c == 0xC2 && ByteAt(text, 1) >= FirstC1Control && ByteAt(text, 1) <= LastC1Control;
  if (isC1Control) {
    AppendHex(out, c);
    AppendHex(out, ByteAt(text, 1));
  } else {
    out.append(text.substr(0, length));
  }
  return length;
}

// The columns of one shown character: one, or the bytes of an escape.
std::size_t CharacterWidth(std::string_view shown) { return shown.front() == '\\' ? shown.size() : 1; }

// Moves a cut forward past the continuation bytes of a character it would split.
std::size_t CharacterStart(std::string_view text, std::size_t cut) {
  constexpr std::size_t LongestSequence = 4;
  for (std::size_t moved = 1; moved < LongestSequence && cut < text.size() && IsContinuation(ByteAt(text, cut));
       ++moved) {
    ++cut;
  }
  return cut;
}

}  // namespace

std::string Shown(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) text.remove_prefix(AppendCharacter(out, text));
  return out;
}

std::size_t ShownWidth(std::string_view text) {
  std::size_t width = 0;
  std::string character;
  while (!text.empty()) {
    character.clear();
    text.remove_prefix(AppendCharacter(character, text));
    width += CharacterWidth(character);
  }
  return width;
}

std::string ShownShort(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return Shown(text);
  return Shown(text.substr(0, CharacterStart(text, maxBytes))) + std::string(Ellipsis);
}

Excerpt ExcerptAt(std::string_view line, std::size_t offset) {
  offset = std::min(offset, line.size());
  std::size_t begin = 0;
  std::size_t end = line.size();
  if (line.size() > MaxExcerptBytes) {
    // The caret a third of the way in: what led to the place matters most.
    const std::size_t before = MaxExcerptBytes / 3;
    begin = offset > before ? offset - before : 0;
    end = std::min(line.size(), begin + MaxExcerptBytes);
    begin = end - MaxExcerptBytes;
    begin = std::min(CharacterStart(line, begin), offset);
    end = std::max(CharacterStart(line, end), offset);
  }
  Excerpt excerpt;
  if (begin > 0) excerpt.text = Ellipsis;
  excerpt.caretColumn = excerpt.text.size() + ShownWidth(line.substr(begin, offset - begin));
  excerpt.text += Shown(line.substr(begin, end - begin));
  if (end < line.size()) excerpt.text += Ellipsis;
  return excerpt;
}

}  // namespace calculator
