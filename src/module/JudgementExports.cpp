// The exprcalc_* exports of judgements: an expression or a statement judged,
// and a statement carried out only when it is whole (see TableCalls.h).
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "module/Messages.h"
#include "module/TableCalls.h"

using exprcalc::TheModule;
namespace calls = exprcalc::calls;

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_judge(const char* text, exprcalc_judgement* out) {
  return calls::Judge(TheModule().Table(), text, out);
}

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_finding_message(int kind) { return exprcalc::FindingMessage(kind); }

EXPRCALC_API int EXPRCALC_CALL exprcalc_judge_statement(const char* statement, exprcalc_statement_judgement* out) {
  return calls::JudgeStatement(TheModule().Table(), statement, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_substitute_whole(const char* statement, exprcalc_statement_judgement* out) {
  return calls::SubstituteWhole(TheModule().Table(), statement, out);
}

}  // extern "C"
