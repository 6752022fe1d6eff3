// The exprcalc_* exports: the version, the messages, and the diagnostic
// counterparts of ParseString and Substitution. Same shape as the classic
// exports: read the arguments, one call into the module, copy out, return.
#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"
#include "module/Messages.h"
#include "module/Published.h"
#include "module/TableCalls.h"

namespace {

using exprcalc::StopReason;

static_assert(static_cast<int>(StopReason::EndOfText) == EXPRCALC_STOP_END &&
              static_cast<int>(StopReason::LineEnd) == EXPRCALC_STOP_LINE_END &&
              static_cast<int>(StopReason::UnknownVariable) == EXPRCALC_STOP_UNKNOWN_VARIABLE &&
              static_cast<int>(StopReason::UnknownName) == EXPRCALC_STOP_UNKNOWN_NAME &&
              static_cast<int>(StopReason::UnreadableByte) == EXPRCALC_STOP_UNREADABLE_BYTE &&
              static_cast<int>(StopReason::SecondPoint) == EXPRCALC_STOP_SECOND_POINT &&
              static_cast<int>(StopReason::CommaInFraction) == EXPRCALC_STOP_COMMA_IN_FRACTION &&
              static_cast<int>(StopReason::PointAfterColon) == EXPRCALC_STOP_POINT_AFTER_COLON &&
              static_cast<int>(StopReason::ThirdColon) == EXPRCALC_STOP_THIRD_COLON &&
              static_cast<int>(StopReason::OutOfMemory) == EXPRCALC_STOP_OUT_OF_MEMORY);

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_version(void) { return EXPRCALC_VERSION_NUMBER; }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_message(int code) { return exprcalc::ResultMessage(code); }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_stop_message(int stop) { return exprcalc::StopMessage(stop); }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_reason_message(int reason) {
  return exprcalc::ReasonMessage(reason);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_explain(const char* text, exprcalc_diagnosis* out) {
  return exprcalc::calls::Explain(exprcalc::TheModule().Table(), text, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_explain_statement(const char* statement, exprcalc_statement_diagnosis* out) {
  return exprcalc::calls::ExplainStatement(exprcalc::TheModule().Table(), statement, out);
}

}  // extern "C"
