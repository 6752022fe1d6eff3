// The value goes to standard output, reports to standard error; output is
// flushed before a report so that both keep their order on a terminal, and
// warnings come before the value they are about.
#include "LineRunner.h"

#include <vector>

#include "Findings.h"
#include "NameText.h"
#include "NumberFormat.h"
#include "exprcalc.h"

namespace calculator {
namespace {

// The right part of a statement as the library takes it: after the first "=",
// without white space at either end. Its offset in the line and its text.
struct RightPart {
  std::size_t at;
  std::string text;
};

RightPart RightPartOf(std::string_view statement) {
  std::size_t begin = statement.find('=') + 1;
  std::size_t end = statement.size();
  while (begin < end && IsWhiteSpace(statement[begin])) ++begin;
  while (end > begin && IsWhiteSpace(statement[end - 1])) --end;
  return {begin, std::string(statement.substr(begin, end - begin))};
}

// The diagnosis of a part of a line, its offsets moved to count from the line's start.
exprcalc_diagnosis Shifted(exprcalc_diagnosis d, std::size_t shift) {
  d.read += shift;
  d.dropped += shift;
  if (d.code != EXPRCALC_OK) d.at += shift;
  if (d.text_variable != EXPRCALC_NOWHERE) d.text_variable += shift;
  if (d.unclosed_at != EXPRCALC_NOWHERE) d.unclosed_at += shift;
  return d;
}

}  // namespace

bool IsStatement(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return !rest.empty() && rest.front() == '@' && rest.find('=') != std::string_view::npos;
}

bool IsSessionCommand(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return rest.size() >= 2 && rest[0] == ':' && IsAsciiLetter(rest[1]);
}

LineRunner::LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors)
    : style_(style), output_(output), errors_(errors) {}

bool LineRunner::Run(const std::string& line, const LineOrigin& origin) {
  if (const std::size_t nul = line.find('\0'); nul != std::string::npos) return Fail(line, origin, NulByteError(nul));
  if (IsSessionCommand(line)) return Fail(line, origin, SessionCommandError(line));
  return IsStatement(line) ? RunStatement(line, origin) : RunExpression(line, origin);
}

bool LineRunner::RunExpression(const std::string& line, const LineOrigin& origin) {
  const std::optional<double> value = Evaluate(line, origin);
  if (!value) return false;
  output_ << (style_ == ValueStyle::DegreesMinutesSeconds ? FormatDms(*value) : FormatNumber(*value)) << '\n';
  return true;
}

std::optional<double> LineRunner::Evaluate(const std::string& line, const LineOrigin& origin) {
  exprcalc_diagnosis d{};
  exprcalc_explain(line.c_str(), &d);
  if (const auto error = ReadingError(line, d)) {
    Fail(line, origin, *error);
    return std::nullopt;
  }
  if (const auto error = EvaluationError(line, d)) {
    Fail(line, origin, *error);
    return std::nullopt;
  }
  for (const Report& warning : ExpressionWarnings(line, d, 0)) Tell(line, origin, warning);
  return d.value;
}

bool LineRunner::CheckReading(const std::string& line, const LineOrigin& origin) {
  exprcalc_diagnosis d{};
  exprcalc_explain(line.c_str(), &d);
  if (const auto error = ReadingError(line, d)) return Fail(line, origin, *error);
  for (const Report& warning : ExpressionWarnings(line, d, 0)) Tell(line, origin, warning);
  return true;
}

// A right part that is not read to its end is refused before the statement
// runs: the library would store the value of what it read ("@A = 1.5e3"
// would store 1.5).
bool LineRunner::RunStatement(const std::string& line, const LineOrigin& origin) {
  const RightPart right = RightPartOf(line);
  std::vector<Report> warnings;
  const bool evaluated = !right.text.empty() && right.text.front() != '"';
  if (evaluated) {
    exprcalc_diagnosis part{};
    exprcalc_explain(right.text.c_str(), &part);
    const exprcalc_diagnosis d = Shifted(part, right.at);
    if (const auto error = ReadingError(line, d)) return Fail(line, origin, StatementNotCarriedOut(*error));
    warnings = ExpressionWarnings(line, d, right.at);
  }
  exprcalc_statement_diagnosis d{};
  exprcalc_explain_statement(line.c_str(), &d);
  if (const auto error = StatementError(line, d)) return Fail(line, origin, *error);
  if (const auto warning = UnreadableNameWarning(line, d)) warnings.push_back(*warning);
  for (const Report& warning : warnings) Tell(line, origin, warning);
  return true;
}

bool LineRunner::Fail(const std::string& line, const LineOrigin& origin, const Report& error) {
  Tell(line, origin, error);
  return false;
}

void LineRunner::Tell(const std::string& line, const LineOrigin& origin, const Report& report) {
  output_.flush();
  errors_ << FormatReport(origin, line, report) << std::flush;
}

}  // namespace calculator
