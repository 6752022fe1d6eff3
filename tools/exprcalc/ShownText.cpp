// Reads the text one character at a time: a valid UTF-8 sequence (by the
// table of well-formed sequences, so overlong forms and surrogates are not
// valid) or a single byte. Every character takes one column; an escape takes
// as many as it has bytes.
#include "ShownText.h"

#include <algorithm>
#include <iterator>

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

void AppendHexDigits(std::string& out, char32_t value, int digits) {
  constexpr std::string_view Digits = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += Digits[(value >> shift) & 0xF];
}

void AppendHex(std::string& out, unsigned char c) {
  out += "\\x";
  AppendHexDigits(out, c, 2);
}

// The characters shown escaped although they are valid, as ranges of code points.
struct Range {
  char32_t first;
  char32_t last;
};
constexpr Range InvisibleRanges[] = {
    {0x00A0, 0x00A0},    // no-break space
    {0x00AD, 0x00AD},    // soft hyphen
    {0x034F, 0x034F},    // combining grapheme joiner
    {0x061C, 0x061C},    // Arabic letter mark
    {0x115F, 0x1160},    // Hangul fillers
    {0x1680, 0x1680},    // Ogham space mark
    {0x180B, 0x180E},    // Mongolian variation selectors and vowel separator
    {0x2000, 0x200F},    // spaces of other widths, zero-width characters, direction marks
    {0x2028, 0x202F},    // line and paragraph separators, direction controls, narrow no-break space
    {0x205F, 0x206F},    // medium mathematical space, word joiner, invisible operators, direction isolates
    {0x3000, 0x3000},    // ideographic space
    {0x3164, 0x3164},    // Hangul filler
    {0xFE00, 0xFE0F},    // variation selectors
    {0xFEFF, 0xFEFF},    // byte-order mark
    {0xFFA0, 0xFFA0},    // halfwidth Hangul filler
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x1D173, 0x1D17A},  // musical formatting
    {0xE0000, 0xE0FFF},  // tags and variation selectors
};

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
  const std::optional<Character> character = c >= 0x80 ? FirstCharacter(text) : std::nullopt;
  if (!character) {
    AppendEscaped(out, c);
    return 1;
  }
  const char32_t codePoint = character->codePoint;
  if (codePoint >= FirstC1Control && codePoint <= LastC1Control) {
    AppendHex(out, c);
    AppendHex(out, ByteAt(text, 1));
  } else if (IsInvisible(codePoint)) {
    const bool beyondFourDigits = codePoint > 0xFFFF;
    out += beyondFourDigits ? "\\U" : "\\u";
    AppendHexDigits(out, codePoint, beyondFourDigits ? 8 : 4);
  } else {
    out.append(text.substr(0, character->length));
  }
  return character->length;
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

std::optional<Character> FirstCharacter(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const unsigned char lead = ByteAt(text, 0);
  if (lead < 0x80) return Character{lead, 1};
  const std::size_t length = SequenceLength(text);
  if (length == 0) return std::nullopt;
  // The lead byte keeps 7 - length bits of the code point, each continuation byte six.
  char32_t codePoint = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) codePoint = (codePoint << 6) | (ByteAt(text, i) & 0x3Fu);
  return Character{codePoint, length};
}

bool IsInvisible(char32_t codePoint) {
  return std::any_of(std::begin(InvisibleRanges), std::end(InvisibleRanges),
                     [codePoint](const Range& range) { return codePoint >= range.first && codePoint <= range.last; });
}

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
