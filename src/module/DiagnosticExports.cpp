// The exprcalc_* exports: the version, the messages, and the diagnostic
// counterparts of ParseString and Substitution. Same shape as the classic
// exports: read the arguments, one call into the module, copy out, return.
#include "exprcalc.h"
#include "expr/Evaluate.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"
#include "module/Messages.h"

namespace {

using exprcalc::Diagnosis;
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

// The public form of a diagnosis; offsets move by shift (the right part's place in a statement).
exprcalc_diagnosis Published(int code, double value, const Diagnosis& d, std::size_t length,
                             std::size_t shift = 0) noexcept {
  exprcalc_diagnosis out{};
  out.code = code;
  out.value = value;
  out.read = d.read + shift;
  out.stop = static_cast<int>(d.stop);
  out.at = code == EXPRCALC_OK ? 0 : d.at + shift;
  out.dropped = d.dropped + shift;
  out.unclosed = d.unclosed ? 1 : 0;
  out.text_variable = d.textVariable == EXPRCALC_NOWHERE ? EXPRCALC_NOWHERE : d.textVariable + shift;
  out.length = length;
  out.unclosed_at = d.unclosedAt == EXPRCALC_NOWHERE ? EXPRCALC_NOWHERE : d.unclosedAt + shift;
  return out;
}

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_version(void) { return EXPRCALC_VERSION_NUMBER; }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_message(int code) { return exprcalc::ResultMessage(code); }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_stop_message(int stop) { return exprcalc::StopMessage(stop); }

EXPRCALC_API const char* EXPRCALC_CALL exprcalc_reason_message(int reason) {
  return exprcalc::ReasonMessage(reason);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_explain(const char* text, exprcalc_diagnosis* out) {
  const std::string_view expression = exprcalc::TextArgument(text);
  double value = 0.0;
  Diagnosis diagnosis;
  const int code = exprcalc::TheModule().Explain(expression, value, diagnosis);
  exprcalc::Store(out, Published(code, value, diagnosis, expression.size()));
  return code;
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_explain_statement(const char* statement, exprcalc_statement_diagnosis* out) {
  const std::string_view text = exprcalc::TextArgument(statement);
  exprcalc::StatementDiagnosis why;
  const int result = exprcalc::TheModule().Substitute(text, &why);
  exprcalc_statement_diagnosis told{};
  told.result = result;
  told.reason = static_cast<int>(why.reason);
  told.name_at = why.nameAt;
  told.name_length = why.nameLength;
  told.unreadable_name = why.unreadableName ? 1 : 0;
  told.right_at = why.rightAt;
  if (why.evaluated) {
    told.expression = Published(why.code, why.value, why.expression, why.rightLength, why.rightAt);
  }
  exprcalc::Store(out, told);
  return result;
}

}  // extern "C"
