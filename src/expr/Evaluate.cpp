// Evaluation of one expression text, plain and with a diagnosis.
#include "expr/Evaluate.h"

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
  result = 0.0;
  TokenReader input(expression, table);
  ResultCode code = Ok;
  if (!expression.empty()) {
    PositionTracker tracker(diagnosis);
    code = Parse(expression, input, result, tracker);
  }
  // Reading goes on to where the tokenizer stops, whatever ended the parse.
  while (input.Next().kind != kind::None) {
  }
  diagnosis.read = input.StopOffset();
  diagnosis.stop = input.Stop();
  diagnosis.dropped = input.DroppedTokenOffset();
  diagnosis.textVariable = input.FirstTextVariable();
  if (code == OutOfMemory) diagnosis.at = input.Stop() == StopReason::OutOfMemory ? diagnosis.dropped : 0;
  return code;
}

}  // namespace exprcalc
