// The library's messages (exprcalc_message, exprcalc_stop_message,
// exprcalc_reason_message) say what went wrong wherever the library judges;
// the calculator words only what it finds itself: an unclosed "(", digit
// groups, names it cannot echo, and lines that it does not hand over.
#include "Findings.h"

#include <algorithm>

#include "Hints.h"
#include "LineSource.h"
#include "NameText.h"
#include "ShownText.h"

namespace calculator {
namespace {

constexpr std::size_t DigitsPerGroup = 3;
constexpr std::string_view NotCarriedOut = "statement not carried out: ";

bool OnlyWhiteSpaceFrom(std::string_view line, std::size_t at) {
  return at >= line.size() || TrimLeft(line.substr(at)).empty();
}

// The first comma of a numeral in [begin, end) whose digits are not grouped by
// three (a first group of one to three digits, then groups of three), with
// what the numeral reads as.
struct BadGrouping {
  std::size_t comma;
  std::string_view numeral;
  std::string digits;
};

std::optional<BadGrouping> FirstBadGrouping(std::string_view line, std::size_t begin, std::size_t end) {
  std::size_t i = begin;
  while (i < end) {
    const bool numeralStart =
        IsAsciiDigit(line[i]) &&
        (i == begin || !(IsNameByte(line[i - 1]) || line[i - 1] == '@' || line[i - 1] == '.' || line[i - 1] == ','));
    if (!numeralStart) {
      ++i;
      continue;
    }
    std::size_t numeralEnd = i;
    while (numeralEnd < end && (IsAsciiDigit(line[numeralEnd]) || line[numeralEnd] == ',')) ++numeralEnd;
    std::optional<std::size_t> badComma;
    std::size_t groupStart = i;
    for (std::size_t j = i; j <= numeralEnd && !badComma; ++j) {
      if (j < numeralEnd && line[j] != ',') continue;
      const std::size_t length = j - groupStart;
      const bool first = groupStart == i;
      const bool atComma = j < numeralEnd;
      if (first && atComma && length > DigitsPerGroup) badComma = j;
      if (!first && length != DigitsPerGroup) badComma = groupStart - 1;
      groupStart = j + 1;
    }
    if (badComma) {
      const std::string_view numeral = line.substr(i, numeralEnd - i);
      std::string digits;
      for (const char c : numeral) {
        if (c != ',' && !(digits.empty() && c == '0')) digits += c;
      }
      if (digits.empty()) digits = "0";
      return BadGrouping{*badComma, numeral, digits};
    }
    i = numeralEnd;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Report> ReadingError(std::string_view line, const exprcalc_diagnosis& d) {
  const bool stoppedEarly =
      d.stop != EXPRCALC_STOP_END && !(d.stop == EXPRCALC_STOP_LINE_END && OnlyWhiteSpaceFrom(line, d.read));
  if (stoppedEarly) return Report{Report::Kind::Error, d.read, exprcalc_stop_message(d.stop), StopHints(line, d)};
  if (d.unclosed != 0) {
    // The caret goes after the expression when the library cannot say which "(" it was.
    const std::size_t at = d.unclosed_at != EXPRCALC_NOWHERE ? d.unclosed_at : d.read;
    return Report{Report::Kind::Error, at, "this \"(\" is never closed, so what follows it is left out of the value", {}};
  }
  return std::nullopt;
}

std::optional<Report> EvaluationError(std::string_view line, const exprcalc_diagnosis& d) {
  if (d.code == EXPRCALC_OK) return std::nullopt;
  return Report{Report::Kind::Error, d.at, exprcalc_message(d.code), EvaluationHints(line, d)};
}

std::vector<Report> ExpressionWarnings(std::string_view line, const exprcalc_diagnosis& d, std::size_t expressionAt) {
  std::vector<Report> warnings;
  if (d.text_variable != EXPRCALC_NOWHERE && d.text_variable < line.size()) {
    const std::string_view name = line.substr(d.text_variable, NameEnd(line, d.text_variable) - d.text_variable);
    warnings.push_back({Report::Kind::Warning,
                        d.text_variable,
                        ShownShort(name, MaxEchoedNameBytes) + " holds a text, which reads as 0",
                        {}});
  }
  if (const auto grouping = FirstBadGrouping(line, expressionAt, std::min(d.read, line.size()))) {
    const std::string message = "commas group digits by three, so " +
                                ShownShort(grouping->numeral, MaxEchoedNameBytes) + " reads as " +
                                ShownShort(grouping->digits, MaxEchoedNameBytes);
    warnings.push_back({Report::Kind::Warning, grouping->comma, message, {"the decimal point is \".\""}});
  }
  return warnings;
}

std::optional<Report> StatementError(std::string_view line, const exprcalc_statement_diagnosis& d) {
  if (d.result == EXPRCALC_STATEMENT_DONE) return std::nullopt;
  if (d.reason == EXPRCALC_REASON_EVALUATION) {
    return Report{
        Report::Kind::Error, d.expression.at,
        std::string(NotCarriedOut) + exprcalc_reason_message(d.reason) + ": " + exprcalc_message(d.expression.code),
        EvaluationHints(line, d.expression)};
  }
  const std::size_t at = d.name_length != 0 ? d.name_at : FirstNonBlank(line);
  return Report{Report::Kind::Error, at, std::string(NotCarriedOut) + exprcalc_reason_message(d.reason), {}};
}

std::optional<Report> UnreadableNameWarning(std::string_view line, const exprcalc_statement_diagnosis& d) {
  if (d.result != EXPRCALC_STATEMENT_DONE || d.unreadable_name == 0 || d.name_at >= line.size()) return std::nullopt;
  const std::string_view name = line.substr(d.name_at, d.name_length);
  const std::size_t readLength = NameEnd(name, 0);
  return Report{Report::Kind::Warning,
                d.name_at + readLength,
                ShownShort(name, MaxEchoedNameBytes) + " is stored, but expressions cannot read this name",
                {UnreadNameHint(name, readLength)}};
}

Report SessionCommandError(std::string_view line) {
  return {Report::Kind::Error,
          FirstNonBlank(line),
          "a session command, which only the interactive session runs",
          {SessionCommandHint()}};
}

Report NulByteError(std::size_t at) {
  return {Report::Kind::Error, at, "a NUL byte, which expressions and statements do not read", {}};
}

Report StatementNotCarriedOut(Report report) {
  report.message.insert(0, NotCarriedOut);
  return report;
}

}  // namespace calculator
