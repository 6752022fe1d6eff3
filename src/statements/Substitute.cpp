// A statement is split at its first "="; both parts are stripped of white
// space (never upper-cased) and judged by their first bytes. The right part is
// evaluated before anything is stored, so "@N = @N + 1" reads the old @N.
#include "statements/Substitute.h"

#include "expr/Evaluate.h"
#include "base/SingleByteText.h"

namespace exprcalc {
namespace {

// The text after an opening double quote, up to the first tab or double quote.
std::string_view QuotedText(std::string_view afterQuote) noexcept {
  return afterQuote.substr(0, afterQuote.find_first_of("\t\""));
}

}  // namespace

SubstituteResult Substitute(std::string_view statement, VariableTable& table) noexcept {
  const std::size_t equals = statement.find('=');
  if (equals == std::string_view::npos) return NotCarriedOut;
  const std::string_view name = TrimWhiteSpace(statement.substr(0, equals));
  const std::string_view right = TrimWhiteSpace(statement.substr(equals + 1));
  if (name.empty() || name.front() != '@') return NotCarriedOut;

  if (right.empty()) return table.RemoveByKey(name) == VariableTable::NotFound ? NoSuchVariable : Done;
  if (right.front() == '"') {
    return table.EnterString(name, QuotedText(right.substr(1))) == VariableTable::NoRoom ? NotCarriedOut : Done;
  }
  double value = 0.0;
  if (Evaluate(right, table, value) != Ok) return NotCarriedOut;
  return table.EnterDouble(name, value) == VariableTable::NoRoom ? NotCarriedOut : Done;
}

}  // namespace exprcalc
