// Evaluation of one expression text: an operator-precedence parse over the
// tokenizer's output that computes while it reduces.
#pragma once

#include <string_view>

#include "expr/ResultCode.h"
#include "variables/VariableTable.h"

namespace exprcalc {

// Returns the result code and writes the value to result (0.0 on every code
// but Ok). Variables are read from table, which is never changed.
ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept;

}  // namespace exprcalc
