// Names for the characters that a line can hold without its writer seeing
// them or telling them from what they look like: a no-break space, a
// zero-width space, a byte-order mark, a control character, a minus sign
// that is not "-". The calculator names them where reading stops at one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace calculator {

// A hint naming the character (or the byte that is not UTF-8) that text
// begins with, and what to write instead; nullopt for any other character.
std::optional<std::string> CharacterHint(std::string_view text);

}  // namespace calculator
