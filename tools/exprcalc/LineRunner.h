// Runs one line through the library: a statement through Substitution, any
// other line through ParseString, printing the value or the error in words.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace calculator {

enum class ValueStyle { Decimal, DegreesMinutesSeconds };

// True when the first non-blank byte is "@" and the line holds "=".
bool IsStatement(std::string_view line);

class LineRunner {
 public:
  LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors);

  // Prints the value of an expression on output, nothing for a statement that
  // succeeds, an error line on errors otherwise. Returns true on success.
  bool Run(const std::string& line, std::string_view origin);

 private:
  void ReportError(const std::string& line, std::string_view origin, std::string_view message);

  ValueStyle style_;
  std::ostream& output_;
  std::ostream& errors_;
};

}  // namespace calculator
