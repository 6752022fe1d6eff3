// The value goes to standard output and the error to standard error; output
// is flushed before an error so that both keep their order on a terminal.
#include "LineRunner.h"

#include "LineSource.h"
#include "Messages.h"
#include "NumberFormat.h"
#include "exprcalc.h"

namespace calculator {

bool IsStatement(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return !rest.empty() && rest.front() == '@' && rest.find('=') != std::string_view::npos;
}

LineRunner::LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors)
    : style_(style), output_(output), errors_(errors) {}

bool LineRunner::Run(const std::string& line, std::string_view origin) {
  if (IsStatement(line)) {
    const int result = Substitution(line.c_str());
    if (result == EXPRCALC_STATEMENT_DONE) return true;
    ReportError(line, origin, StatementErrorText(result));
    return false;
  }
  double value = 0.0;
  const int code = ParseString(line.c_str(), &value);
  if (code != EXPRCALC_OK) {
    ReportError(line, origin, ExpressionErrorText(code));
    return false;
  }
  output_ << (style_ == ValueStyle::DegreesMinutesSeconds ? FormatDms(value) : FormatNumber(value)) << '\n';
  return true;
}

void LineRunner::ReportError(const std::string& line, std::string_view origin, std::string_view message) {
  std::string_view text = TrimLeft(line);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  output_.flush();
  errors_ << ErrorLine(origin, text, message) << std::endl;
}

}  // namespace calculator
