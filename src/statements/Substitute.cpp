// The right part is evaluated before anything is stored, so "@N = @N + 1"
// reads the old @N.
#include "statements/Substitute.h"

#include "base/SingleByteText.h"
#include "variables/VariableRecord.h"

namespace exprcalc {
namespace {

// Where an expression stops reading name, or Nowhere when it reads all of it.
std::size_t UnreadFrom(std::string_view name) noexcept {
  const std::size_t length = NameLength(name);
  return length == name.size() ? Nowhere : length;
}

// A text runs from after its opening double quote to the first tab or double
// quote; the table keeps its first 222 bytes. It ends before the statement
// does when anything follows that stop (a closing quote that ends the
// statement does not count), or when the table cuts it.
void ReadText(StatementParts& parts) noexcept {
  const std::string_view afterQuote = parts.right.substr(1);
  const std::size_t stop = afterQuote.find_first_of("\t\"");
  parts.textAt = parts.rightAt + 1;
  parts.text = afterQuote.substr(0, stop);
  if (stop != std::string_view::npos && stop + 1 < afterQuote.size()) parts.cutAt = parts.textAt + stop;
  if (parts.text.size() > record::TextSize) {
    parts.text = parts.text.substr(0, record::TextSize);
    parts.cutAt = parts.textAt + record::TextSize;
  }
}

}  // namespace

StatementParts ReadStatement(std::string_view statement) noexcept {
  StatementParts parts;
  const std::size_t equals = statement.find('=');
  if (equals == std::string_view::npos) return parts;
  parts.name = TrimWhiteSpace(statement.substr(0, equals));
  parts.right = TrimWhiteSpace(statement.substr(equals + 1));
  parts.nameAt = static_cast<std::size_t>(parts.name.data() - statement.data());
  parts.rightAt = static_cast<std::size_t>(parts.right.data() - statement.data());
  if (parts.name.empty() || parts.name.front() != '@') {
    parts.form = StatementForm::NoName;
    return parts;
  }
  const std::size_t unread = UnreadFrom(parts.name);
  parts.unreadableAt = unread == Nowhere ? Nowhere : parts.nameAt + unread;
  if (parts.right.empty()) {
    parts.form = StatementForm::Removal;
  } else if (parts.right.front() == '"') {
    parts.form = StatementForm::Text;
    ReadText(parts);
  } else {
    parts.form = StatementForm::Expression;
  }
  return parts;
}

StatementDiagnosis PlacesOf(const StatementParts& parts) noexcept {
  StatementDiagnosis told;
  if (parts.form == StatementForm::NotAStatement) return told;
  told.nameAt = parts.nameAt;
  told.nameLength = parts.name.size();
  told.rightAt = parts.rightAt;
  told.rightLength = parts.right.size();
  return told;
}

SubstituteResult Substitute(std::string_view statement, VariableTable& table, StatementDiagnosis* why) noexcept {
  const StatementParts parts = ReadStatement(statement);
  StatementDiagnosis unused;
  StatementDiagnosis& told = why != nullptr ? *why : unused;
  told = PlacesOf(parts);
  auto end = [&](SubstituteResult result, StatementReason reason) {
    told.reason = reason;
    return result;
  };
  switch (parts.form) {
    case StatementForm::NotAStatement: return end(NotCarriedOut, StatementReason::NotAStatement);
    case StatementForm::NoName: return end(NotCarriedOut, StatementReason::NoName);
    case StatementForm::Removal:
      if (table.RemoveByKey(parts.name) == VariableTable::NotFound) {
        return end(NoSuchVariable, StatementReason::NothingToRemove);
      }
      return end(Done, StatementReason::Removed);
    case StatementForm::Expression:
      told.evaluated = true;
      told.code = why != nullptr ? Explain(parts.right, table, told.value, told.expression)
                                 : Evaluate(parts.right, table, told.value);
      if (told.code != Ok) return end(NotCarriedOut, StatementReason::Evaluation);
      break;
    case StatementForm::Text:
      break;
  }
  const int stored = parts.form == StatementForm::Text ? table.EnterString(parts.name, parts.text)
                                                       : table.EnterDouble(parts.name, told.value);
  if (stored == VariableTable::NoRoom) return end(NotCarriedOut, StatementReason::NoRoom);
  told.unreadableName = parts.unreadableAt != Nowhere;
  return end(Done, StatementReason::Stored);
}

}  // namespace exprcalc
