// The shape of what the calculator reports about a line on standard error:
//   exprcalc: PLACE: [warning: ]MESSAGE
//     the line, shown
//     ^
//     hint: ...
// The words of the message come from the library (exprcalc_message and its
// kin) wherever the library judges; the calculator words only what it judges
// itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "LineSource.h"

namespace calculator {

struct Report {
  enum class Kind { Error, Warning };
  Kind kind = Kind::Error;
  std::size_t at = 0;  // the byte of the line the caret points to (the line's length: after its end)
  std::string message;
  std::vector<std::string> hints;
};

// "FILE:LINE:COLUMN", "argument N, column COLUMN" or, in the session,
// "column COLUMN". Columns are 1-based and count bytes.
std::string Place(const LineOrigin& origin, std::size_t column);

// The report's lines, each ending in a line end.
std::string FormatReport(const LineOrigin& origin, std::string_view line, const Report& report);

// "exprcalc: TEXT: MESSAGE", TEXT shown and shortened: a line the session
// does not run, such as an unknown command.
std::string ErrorLine(std::string_view text, std::string_view message);

}  // namespace calculator
