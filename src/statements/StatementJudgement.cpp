// The statement is read as Substitute reads it (ReadStatement), and its right
// part judged as any expression; nothing is written until it proves whole.
#include "statements/StatementJudgement.h"

#include "evaluation/Judgement.h"

namespace exprcalc {

SubstituteResult JudgeStatement(std::string_view statement, const VariableTable& table,
                                StatementJudgement& judgement) noexcept {
  judgement = StatementJudgement{};
  const StatementParts parts = ReadStatement(statement);
  StatementDiagnosis& told = judgement.told;
  told = PlacesOf(parts);
  auto end = [&](SubstituteResult result, StatementReason reason, bool whole) {
    told.reason = reason;
    judgement.whole = whole;
    if (reason == StatementReason::Stored && parts.unreadableAt != Nowhere) {
      told.unreadableName = true;
      judgement.findings.Add(EXPRCALC_FINDING_UNREADABLE_NAME, parts.unreadableAt, parts.nameAt);
    }
    return result;
  };
  switch (parts.form) {
    case StatementForm::NotAStatement: return end(NotCarriedOut, StatementReason::NotAStatement, false);
    case StatementForm::NoName: return end(NotCarriedOut, StatementReason::NoName, false);
    case StatementForm::Removal: {
      int type = 0;
      if (table.IndexByKey(parts.name, type) == VariableTable::NotFound) {
        return end(NoSuchVariable, StatementReason::NothingToRemove, true);
      }
      return end(Done, StatementReason::Removed, true);
    }
    case StatementForm::Text:
      judgement.textAt = parts.textAt;
      judgement.textLength = parts.text.size();
      if (parts.cutAt != Nowhere) judgement.findings.Add(EXPRCALC_FINDING_TEXT_CUT, parts.cutAt);
      return end(Done, StatementReason::Stored, parts.cutAt == Nowhere);
    case StatementForm::Expression:
      break;
  }
  Judgement right;
  told.evaluated = true;
  told.code = Judge(parts.right, table, told.value, right);
  told.expression = right.diagnosis;
  judgement.findings.AddAll(right.findings, parts.rightAt);
  if (told.code != Ok) return end(NotCarriedOut, StatementReason::Evaluation, right.Whole());
  return end(Done, StatementReason::Stored, right.Whole());
}

SubstituteResult SubstituteWhole(std::string_view statement, VariableTable& table,
                                 StatementJudgement& judgement) noexcept {
  const SubstituteResult judged = JudgeStatement(statement, table, judgement);
  if (judgement.whole) return Substitute(statement, table, &judgement.told);
  const StatementReason reason = judgement.told.reason;
  if (reason == StatementReason::NotAStatement || reason == StatementReason::NoName) return judged;
  // Not carried out: nothing is stored, so no name is stored unreadably either.
  judgement.told.reason = StatementReason::NotWhole;
  judgement.told.unreadableName = false;
  return NotCarriedOut;
}

}  // namespace exprcalc
