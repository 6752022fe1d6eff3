// The value goes to standard output, reports to standard error; output is
// flushed before a report so that both keep their order on a terminal, and
// warnings come before the value they are about. Whether a line is a
// statement is the library's to say (exprcalc_judge_statement).
#include "LineRunner.h"

#include "Findings.h"
#include "NumberFormat.h"
#include "ShownText.h"
#include "exprcalc.h"

namespace calculator {

bool IsSessionCommand(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  if (rest.size() < 2 || rest[0] != ':') return false;
  return (rest[1] >= 'A' && rest[1] <= 'Z') || (rest[1] >= 'a' && rest[1] <= 'z');
}

LineRunner::LineRunner(ValueStyle style, std::ostream& output, std::ostream& errors)
    : style_(style), output_(output), errors_(errors) {}

bool LineRunner::Run(const std::string& line, const LineOrigin& origin) {
  if (const std::size_t nul = line.find('\0'); nul != std::string::npos) return Fail(line, origin, NulByteError(nul));
  if (IsSessionCommand(line)) return Fail(line, origin, SessionCommandError(line));
  exprcalc_statement_judgement judged{};
  exprcalc_judge_statement(line.c_str(), &judged);
  const int reason = judged.statement.reason;
  const bool statement = reason != EXPRCALC_REASON_NOT_A_STATEMENT && reason != EXPRCALC_REASON_NO_NAME;
  return statement ? RunStatement(line, origin) : RunExpression(line, origin);
}

bool LineRunner::RunExpression(const std::string& line, const LineOrigin& origin) {
  const std::optional<double> value = Evaluate(line, origin);
  if (!value) return false;
  output_ << (style_ == ValueStyle::DegreesMinutesSeconds ? FormatDms(*value) : FormatNumber(*value)) << '\n';
  return true;
}

std::optional<double> LineRunner::Evaluate(const std::string& line, const LineOrigin& origin) {
  exprcalc_judgement judgement{};
  exprcalc_judge(line.c_str(), &judgement);
  const exprcalc_diagnosis& d = judgement.diagnosis;
  if (const auto error = ExpressionError(line, d, judgement.whole != 0, FindingsOf(judgement))) {
    Fail(line, origin, *error);
    return std::nullopt;
  }
  for (const Report& note : Notes(line, FindingsOf(judgement), nullptr)) Tell(line, origin, note);
  return d.value;
}

// A failed evaluation is left to the rows, where the variables' values may
// differ; a malformed text fails whatever they are.
bool LineRunner::CheckReading(const std::string& line, const LineOrigin& origin) {
  exprcalc_judgement judgement{};
  exprcalc_judge(line.c_str(), &judgement);
  exprcalc_diagnosis reading = judgement.diagnosis;
  if (reading.code != EXPRCALC_MALFORMED) reading.code = EXPRCALC_OK;
  if (const auto error = ExpressionError(line, reading, judgement.whole != 0, FindingsOf(judgement))) {
    return Fail(line, origin, *error);
  }
  for (const Report& note : Notes(line, FindingsOf(judgement), nullptr)) Tell(line, origin, note);
  return true;
}

bool LineRunner::RunStatement(const std::string& line, const LineOrigin& origin) {
  exprcalc_statement_judgement judgement{};
  exprcalc_substitute_whole(line.c_str(), &judgement);
  if (const auto error = StatementError(line, judgement)) return Fail(line, origin, *error);
  for (const Report& note : Notes(line, FindingsOf(judgement), &judgement.statement)) Tell(line, origin, note);
  const exprcalc_statement_diagnosis& d = judgement.statement;
  if (nameRemovals_ && d.reason == EXPRCALC_REASON_REMOVED && d.name_at <= line.size() &&
      d.name_length <= line.size() - d.name_at) {
    output_ << ShownShort(std::string_view(line).substr(d.name_at, d.name_length), MaxEchoedNameBytes)
            << " removed\n";
  }
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
