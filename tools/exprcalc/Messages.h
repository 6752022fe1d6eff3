// The words the calculator uses for the library's result codes, and the shape
// of an error line: "exprcalc: ORIGIN: TEXT: MESSAGE".
#pragma once

#include <string>
#include <string_view>

namespace calculator {

// For a ParseString result code other than 0 ("division by zero", ...).
std::string ExpressionErrorText(int code);

// For a Substitution result other than 0 ("statement not carried out", ...).
std::string StatementErrorText(int code);

// origin names where the line came from ("argument 2", "input.txt:7"); it is
// left out when empty, as in the interactive session.
std::string ErrorLine(std::string_view origin, std::string_view text, std::string_view message);

}  // namespace calculator
