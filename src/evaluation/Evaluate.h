// Evaluation of one expression text: an operator-precedence parse over the
// tokenizer's output that computes while it reduces.
#pragma once

#include <cstddef>
#include <string_view>

#include "language/ResultCode.h"
#include "language/Tokenizer.h"
#include "variables/VariableTable.h"

namespace exprcalc {

class NumberSource;

// Returns the result code and writes the value to result (0.0 on every code
// but Ok). Variables are read from table, which is never changed.
ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept;
// As Evaluate, with the number variables reading the numbers that source gives.
ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result,
                    const NumberSource* source) noexcept;

// An offset that points nowhere: the place is not known, or there is none.
inline constexpr std::size_t Nowhere = EXPRCALC_NOWHERE;

// Where and why an evaluation stopped, in byte offsets of its text.
struct Diagnosis {
  std::size_t read = 0;   // where reading stopped (the text's length when all was read)
  StopReason stop = StopReason::EndOfText;
  std::size_t dropped = 0;  // where the token dropped by the stop began (read unless a number was dropped)
  std::size_t at = Nowhere;  // for a failure code: the token where evaluation failed, when its place is known
  bool unclosed = false;     // a "(" was left open and what followed it is not in the value
  std::size_t unclosedAt = Nowhere;    // that "(", when its place is known
  std::size_t textVariable = Nowhere;  // the first text variable read as 0
};

// As Evaluate, with the same code and value bits, and fills diagnosis. It
// tracks positions on a path of its own, so Evaluate never pays for them.
ResultCode Explain(std::string_view expression, const VariableTable& table, double& result,
                   Diagnosis& diagnosis) noexcept;

}  // namespace exprcalc
