// The names are looked up by code point; a character of the invisible ranges
// that has no name of its own is named by what it is shown as.
#include "CharacterNames.h"

#include "ShownText.h"

namespace calculator {
namespace {

struct Named {
  char32_t first;
  char32_t last;
  std::string_view name;
  std::string_view instead;  // what to write in its place
};

constexpr std::string_view Blank = "write a plain blank";
constexpr std::string_view Delete = "delete it";

constexpr Named Names[] = {
    {0x001B, 0x001B, "an escape character", Delete},
    {0x0000, 0x001F, "a control character", Delete},
    {0x007F, 0x009F, "a control character", Delete},
    {0x00A0, 0x00A0, "a no-break space", Blank},
    {0x00AD, 0x00AD, "a soft hyphen", Delete},
    {0x00B2, 0x00B2, "a superscript two", "write ^2 to raise to a power"},
    {0x00B3, 0x00B3, "a superscript three", "write ^3 to raise to a power"},
    {0x00B7, 0x00B7, "a middle dot", "write * to multiply"},
    {0x00B9, 0x00B9, "a superscript one", "write ^1 to raise to a power"},
    {0x00D7, 0x00D7, "a multiplication sign", "write * to multiply"},
    {0x00F7, 0x00F7, "a division sign", "write / to divide"},
    {0x2000, 0x200A, "a space of another width", Blank},
    {0x200B, 0x200B, "a zero-width space", Delete},
    {0x200C, 0x200D, "a zero-width joiner", Delete},
    {0x200E, 0x200F, "a direction mark", Delete},
    {0x2010, 0x2015, "a dash", "write - to subtract"},
    {0x201C, 0x201D, "a typographic double quote", "a text begins with a plain \""},
    {0x2028, 0x2029, "a line or paragraph separator", Delete},
    {0x202A, 0x202E, "a direction control", Delete},
    {0x202F, 0x202F, "a narrow no-break space", Blank},
    {0x205F, 0x205F, "a medium mathematical space", Blank},
    {0x2060, 0x2060, "a word joiner", Delete},
    {0x2070, 0x2079, "a superscript digit", "write ^ and the digit to raise to a power"},
    {0x2061, 0x2064, "an invisible operator", "write the operator itself"},
    {0x2066, 0x2069, "a direction control", Delete},
    {0x2212, 0x2212, "a minus sign", "write - to subtract"},
    {0x2215, 0x2215, "a division slash", "write / to divide"},
    {0x2217, 0x2217, "an asterisk operator", "write * to multiply"},
    {0x22C5, 0x22C5, "a dot operator", "write * to multiply"},
    {0x3000, 0x3000, "an ideographic space", Blank},
    {0xFEFF, 0xFEFF, "a byte-order mark", Delete},
};

std::string CodePointText(char32_t codePoint) {
  constexpr std::string_view Digits = "0123456789ABCDEF";
  std::string text;
  for (; codePoint != 0 || text.size() < 4; codePoint >>= 4) text.insert(text.begin(), Digits[codePoint & 0xF]);
  return "U+" + text;
}

}  // namespace

std::optional<std::string> CharacterHint(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::optional<Character> character = FirstCharacter(text);
  if (!character) {
    return "the byte here (" + Shown(text.substr(0, 1)) + ") is not part of a UTF-8 character; delete it";
  }
  const char32_t codePoint = character->codePoint;
  for (const Named& named : Names) {
    if (codePoint >= named.first && codePoint <= named.last) {
      return "the character here is " + std::string(named.name) + " (" + CodePointText(codePoint) + "); " +
             std::string(named.instead);
    }
  }
  if (IsInvisible(codePoint)) {
    return "the character here is an invisible one (" + CodePointText(codePoint) + "); delete it";
  }
  return std::nullopt;
}

}  // namespace calculator
