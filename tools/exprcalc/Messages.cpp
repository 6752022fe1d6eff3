// Result codes in words. Codes the library does not document are shown as
// numbers rather than hidden, so a new code is never reported as success.
#include "Messages.h"

#include "exprcalc.h"

namespace calculator {

std::string ExpressionErrorText(int code) {
  switch (code) {
    case EXPRCALC_DIVISION_BY_ZERO: return "division by zero";
    case EXPRCALC_DOMAIN_ERROR: return "argument outside the function's domain";
    case EXPRCALC_NEGATIVE_LOGARITHM: return "logarithm of a negative number";
    case EXPRCALC_OUT_OF_MEMORY: return "out of memory";
    case EXPRCALC_MALFORMED: return "malformed expression";
    default: return "evaluation failed with code " + std::to_string(code);
  }
}

std::string StatementErrorText(int code) {
  switch (code) {
    case EXPRCALC_STATEMENT_FAILED: return "statement not carried out";
    case EXPRCALC_STATEMENT_NO_VARIABLE: return "no such variable";
    default: return "statement failed with code " + std::to_string(code);
  }
}

std::string ErrorLine(std::string_view origin, std::string_view text, std::string_view message) {
  std::string line = "exprcalc: ";
  if (!origin.empty()) line.append(origin).append(": ");
  line.append(text).append(": ").append(message);
  return line;
}

}  // namespace calculator
