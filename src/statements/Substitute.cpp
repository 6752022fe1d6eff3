// A statement is split at its first "="; both parts are stripped of white
// space (never upper-cased) and judged by their first bytes. The right part is
// evaluated before anything is stored, so "@N = @N + 1" reads the old @N.
#include "statements/Substitute.h"

#include "base/SingleByteText.h"

namespace exprcalc {
namespace {

// The text after an opening double quote, up to the first tab or double quote.
std::string_view QuotedText(std::string_view afterQuote) noexcept {
  return afterQuote.substr(0, afterQuote.find_first_of("\t\""));
}

// An expression reads a name as "@" and the letters and digits after it.
bool ExpressionsCanRead(std::string_view name) noexcept {
  for (char c : name.substr(1)) {
    if (!IsLetter(static_cast<unsigned char>(c)) && !IsDigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

SubstituteResult Substitute(std::string_view statement, VariableTable& table, StatementDiagnosis* why) noexcept {
  StatementDiagnosis unused;
  StatementDiagnosis& told = why != nullptr ? *why : unused;
  auto end = [&](SubstituteResult result, StatementReason reason) {
    told.reason = reason;
    return result;
  };
  const std::size_t equals = statement.find('=');
  if (equals == std::string_view::npos) return end(NotCarriedOut, StatementReason::NotAStatement);
  const std::string_view name = TrimWhiteSpace(statement.substr(0, equals));
  const std::string_view right = TrimWhiteSpace(statement.substr(equals + 1));
  told.nameAt = static_cast<std::size_t>(name.data() - statement.data());
  told.nameLength = name.size();
  told.rightAt = static_cast<std::size_t>(right.data() - statement.data());
  told.rightLength = right.size();
  if (name.empty() || name.front() != '@') return end(NotCarriedOut, StatementReason::NoName);

  if (right.empty()) {
    if (table.RemoveByKey(name) == VariableTable::NotFound) return end(NoSuchVariable, StatementReason::NothingToRemove);
    return end(Done, StatementReason::Removed);
  }
  if (right.front() != '"') {
    told.evaluated = true;
    told.code = why != nullptr ? Explain(right, table, told.value, told.expression) : Evaluate(right, table, told.value);
    if (told.code != Ok) return end(NotCarriedOut, StatementReason::Evaluation);
  }
  const int stored = right.front() == '"' ? table.EnterString(name, QuotedText(right.substr(1)))
                                          : table.EnterDouble(name, told.value);
  if (stored == VariableTable::NoRoom) return end(NotCarriedOut, StatementReason::NoRoom);
  told.unreadableName = !ExpressionsCanRead(name);
  return end(Done, StatementReason::Stored);
}

}  // namespace exprcalc
