// The exprcalc_* exports of judgements: an expression or a statement judged,
// and a statement carried out only when it is whole.
#include "exprcalc.h"
#include "evaluation/Judgement.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"
#include "module/Messages.h"
#include "module/Published.h"
#include "statements/StatementJudgement.h"

namespace {

using exprcalc::Published;

exprcalc_statement_judgement Told(int result, const exprcalc::StatementJudgement& judgement) noexcept {
  exprcalc_statement_judgement told{};
  told.statement = Published(result, judgement.told);
  told.whole = judgement.whole ? 1 : 0;
  told.text_at = judgement.textAt;
  told.text_length = judgement.textLength;
  told.count = Published(judgement.findings, told.findings);
  return told;
}

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_judge(const char* text, exprcalc_judgement* out) {
  const std::string_view expression = exprcalc::TextArgument(text);
  double value = 0.0;
  exprcalc::Judgement judgement;
  const int code = exprcalc::Judge(expression, exprcalc::TheModule().Table(), value, judgement);
  exprcalc_judgement told{};
  told.diagnosis = Published(code, value, judgement.diagnosis, expression.size());
  told.whole = judgement.Whole() ? 1 : 0;
  told.count = Published(judgement.findings, told.findings);
  exprcalc::Store(out, told);
  return code;
}

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_finding_message(int kind) { return exprcalc::FindingMessage(kind); }

EXPRCALC_API int EXPRCALC_CALL exprcalc_judge_statement(const char* statement, exprcalc_statement_judgement* out) {
  exprcalc::StatementJudgement judgement;
  const int result =
      exprcalc::JudgeStatement(exprcalc::TextArgument(statement), exprcalc::TheModule().Table(), judgement);
  exprcalc::Store(out, Told(result, judgement));
  return result;
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_substitute_whole(const char* statement, exprcalc_statement_judgement* out) {
  exprcalc::StatementJudgement judgement;
  const int result =
      exprcalc::SubstituteWhole(exprcalc::TextArgument(statement), exprcalc::TheModule().Table(), judgement);
  exprcalc::Store(out, Told(result, judgement));
  return result;
}

}  // extern "C"
