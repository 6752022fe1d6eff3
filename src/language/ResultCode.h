// The codes an evaluation ends with; the value is 0.0 on every code but Ok.
#pragma once

#include "exprcalc.h"

namespace exprcalc {

enum ResultCode : int {
  Ok = EXPRCALC_OK,
  DivisionByZero = EXPRCALC_DIVISION_BY_ZERO,
  DomainError = EXPRCALC_DOMAIN_ERROR,
  NegativeLogarithm = EXPRCALC_NEGATIVE_LOGARITHM,
  FunctionFailed = EXPRCALC_FUNCTION_FAILED,
  OutOfMemory = EXPRCALC_OUT_OF_MEMORY,
  Malformed = EXPRCALC_MALFORMED,
};

// What one reduction computed: a code, and the value when the code is Ok.
struct Outcome {
  ResultCode code;
  double value;
};

}  // namespace exprcalc
