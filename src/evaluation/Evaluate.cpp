// Evaluation of one expression text, plain and with a diagnosis.
#include "evaluation/Evaluate.h"

#include "language/NumberSource.h"
#include "evaluation/Explained.h"
#include "language/Parse.h"
#include "evaluation/PositionTracker.h"

namespace exprcalc {

namespace {
[[gnu::always_inline]] inline ResultCode EvaluateReading(std::string_view expression, const VariableTable& table,
                                                         double& result, const NumberSource* source) noexcept {
  result = 0.0;
  if (expression.empty()) return Ok;
  TokenReader input(expression, table, source);
  Silent silent;
  silent.functions = &table.Functions();
  return Parse(expression, input, result, silent);
}
}  // namespace

ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result) noexcept {
  return EvaluateReading(expression, table, result, nullptr);
}

ResultCode Evaluate(std::string_view expression, const VariableTable& table, double& result,
                    const NumberSource* source) noexcept {
  return EvaluateReading(expression, table, result, source);
}

ResultCode Explain(std::string_view expression, const VariableTable& table, double& result,
                   Diagnosis& diagnosis) noexcept {
  diagnosis = Diagnosis{};
  TokenReader input(expression, table);
  PositionTracker tracker(diagnosis);
  tracker.functions = &table.Functions();
  return ExplainWith(expression, input, result, diagnosis, tracker);
}

}  // namespace exprcalc
