// Messages are lower-case phrases without a final stop, so that a caller can
// put them after a place ("line 2, column 5: division by zero").
#include "module/Messages.h"

#include "exprcalc.h"
#include "evaluation/Findings.h"

namespace exprcalc {

const char* ResultMessage(int code) noexcept {
  switch (code) {
    case EXPRCALC_OK: return "evaluated";
    case EXPRCALC_DIVISION_BY_ZERO: return "division by zero (a divisor below 5e-14, or below 1 for %)";
    case EXPRCALC_DOMAIN_ERROR:
      return "argument outside the function's domain (LOG or LOG10 of about 0, ACOS or ASIN beyond 1, "
             "or 0 to a negative power)";
    case EXPRCALC_NEGATIVE_LOGARITHM: return "logarithm of a negative number";
    case EXPRCALC_FUNCTION_FAILED: return "a function of the host's own failed (it returned a code other than 0 to 3)";
    case EXPRCALC_OUT_OF_MEMORY: return "out of memory";
    case EXPRCALC_MALFORMED:
      return "malformed expression (an operator, function or parenthesis without its operand, "
             "or two operands side by side)";
    default: return "unknown result code";
  }
}

const char* StopMessage(int stop) noexcept {
  switch (stop) {
    case EXPRCALC_STOP_END: return "the whole text was read";
    case EXPRCALC_STOP_LINE_END: return "a line end or \"=\" ends the expression";
    case EXPRCALC_STOP_UNKNOWN_VARIABLE: return "no variable of this name is stored";
    case EXPRCALC_STOP_UNKNOWN_NAME: return "neither a built-in name nor a stored variable";
    case EXPRCALC_STOP_UNREADABLE_BYTE: return "a character that expressions do not read";
    case EXPRCALC_STOP_SECOND_POINT: return "a second decimal point in a number";
    case EXPRCALC_STOP_COMMA_IN_FRACTION: return "a comma after a number's decimal point or colon";
    case EXPRCALC_STOP_POINT_AFTER_COLON: return "a decimal point in the minutes or seconds of a number";
    case EXPRCALC_STOP_THIRD_COLON: return "a third colon in a number";
    case EXPRCALC_STOP_OUT_OF_MEMORY: return "out of memory while reading a long number";
    default: return "unknown stop reason";
  }
}

const char* ReasonMessage(int reason) noexcept {
  switch (reason) {
    case EXPRCALC_REASON_STORED: return "stored";
    case EXPRCALC_REASON_REMOVED: return "removed";
    case EXPRCALC_REASON_NOT_A_STATEMENT: return "not a statement (a statement is @NAME = value)";
    case EXPRCALC_REASON_NO_NAME: return "a statement's name must begin with @";
    case EXPRCALC_REASON_EVALUATION: return "the right part could not be evaluated";
    case EXPRCALC_REASON_NO_ROOM: return "no room for a new variable (out of memory)";
    case EXPRCALC_REASON_NOTHING_TO_REMOVE: return "no variable of this name to remove";
    case EXPRCALC_REASON_NOT_WHOLE: return "the statement does not mean what it says (see its findings)";
    default: return "unknown statement reason";
  }
}

const char* FindingMessage(int kind) noexcept {
  const FindingKind* entry = FindFindingKind(kind);
  return entry != nullptr ? entry->message : "unknown finding kind";
}

}  // namespace exprcalc
