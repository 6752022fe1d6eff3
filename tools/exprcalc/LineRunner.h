// Runs one line through the library: a statement through
// exprcalc_explain_statement, any other line through exprcalc_explain,
// printing the value, or what went wrong, where and why.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "LineSource.h"
#include "Messages.h"

namespace calculator {

enum class ValueStyle { Decimal, DegreesMinutesSeconds };

// True when the first non-blank byte is "@" and the line holds "=".
bool IsStatement(std::string_view line);

// True for a session command: ":" followed by a letter (":30" is a number).
bool IsSessionCommand(std::string_view line);

class LineRunner {
 public:
  LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors);

  // Prints the value of an expression on output, nothing for a statement that
  // succeeds, and reports on errors. A line that was not read to its end, an
  // evaluation or statement that failed and a session command (which only
  // the session runs, never through Run) are errors: nothing is printed on
  // output for them and Run returns false. Warnings do not fail the line.
  bool Run(const std::string& line, const LineOrigin& origin);

  // An expression's value, reported on as Run reports on it; nothing when
  // it is not read to its end or its evaluation fails.
  std::optional<double> Evaluate(const std::string& line, const LineOrigin& origin);

  // Reports what stops an expression from being read to its end, and its
  // warnings; true when it is read to its end, whatever its value.
  bool CheckReading(const std::string& line, const LineOrigin& origin);

 private:
  bool RunExpression(const std::string& line, const LineOrigin& origin);
  bool RunStatement(const std::string& line, const LineOrigin& origin);
  bool Fail(const std::string& line, const LineOrigin& origin, const Report& error);
  void Tell(const std::string& line, const LineOrigin& origin, const Report& report);

  ValueStyle style_;
  std::ostream& output_;
  std::ostream& errors_;
};

}  // namespace calculator
