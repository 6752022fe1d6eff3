// Runs one line through the library: a statement (as the library judges
// lines) through exprcalc_substitute_whole, any other line through
// exprcalc_judge, printing the value, or what went wrong, where and why.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "LineSource.h"
#include "Messages.h"

namespace calculator {

enum class ValueStyle { Decimal, DegreesMinutesSeconds };

// True for a session command: ":" followed by a letter (":30" is a number).
bool IsSessionCommand(std::string_view line);

class LineRunner {
 public:
  LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors);

  // Prints the value of an expression on output, nothing for a statement that
  // succeeds, and reports on errors. A line that the library does not judge
  // whole, an evaluation or statement that failed and a session command
  // (which only the session runs, never through Run) are errors: nothing is
  // printed on output for them and Run returns false; a statement that is
  // not whole is not carried out. The library's notes are warnings, which do
  // not fail the line.
  bool Run(const std::string& line, const LineOrigin& origin);

  // An expression's value, reported on as Run reports on it; nothing when
  // the library does not judge it whole or its evaluation fails.
  std::optional<double> Evaluate(const std::string& line, const LineOrigin& origin);

  // Reports why the library does not judge an expression whole, or finds it
  // malformed, and its notes; true otherwise, whatever its evaluation gives
  // (a division by zero may depend on the values of its variables).
  bool CheckReading(const std::string& line, const LineOrigin& origin);

  // Whether a statement that removes a variable says so on output ("@A
  // removed"): at a terminal, where "@A =" would otherwise pass in silence.
  void NameRemovals(bool named) { nameRemovals_ = named; }

 private:
  bool RunExpression(const std::string& line, const LineOrigin& origin);
  bool RunStatement(const std::string& line, const LineOrigin& origin);
  bool Fail(const std::string& line, const LineOrigin& origin, const Report& error);
  void Tell(const std::string& line, const LineOrigin& origin, const Report& report);

  ValueStyle style_;
  std::ostream& output_;
  std::ostream& errors_;
  bool nameRemovals_ = false;
};

}  // namespace calculator
