// Evaluation of one expression text, plain and with a diagnosis.
#include "expr/Evaluate.h"

#include "expr/Explained.h"
#include "expr/Parse.h"
#include "expr/PositionTracker.h"

namespace exprcalc {

ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept {
  result = 0.0;
  if (expression.empty()) return Ok;
  TokenReader input(expression, table);
  Silent silent;
  return Parse(expression, input, result, silent);
}

ResultCode Explain(std::string_view expression, const VariableTable& table, double& result,
                   Diagnosis& diagnosis) noexcept {
  diagnosis = Diagnosis{};
  TokenReader input(expression, table);
  PositionTracker tracker(diagnosis);
  return ExplainWith(expression, input, result, diagnosis, tracker);
}

}  // namespace exprcalc
