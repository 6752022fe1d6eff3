// The steps of a diagnostic evaluation around the parse, shared by Explain
// and the judgement: the parse told to an observer that keeps positions,
// then reading on to where the tokenizer stops, whatever ended the parse.
#pragma once

#include <string_view>

#include "evaluation/Evaluate.h"
#include "language/Parse.h"

namespace exprcalc {

// diagnosis must be fresh (Diagnosis{}) and be the one the tracker fills.
template <typename Tracker>
ResultCode ExplainWith(std::string_view expression, TokenReader& input, double& result, Diagnosis& diagnosis,
                       Tracker& tracker) noexcept {
  result = 0.0;
  const ResultCode code = expression.empty() ? Ok : Parse(expression, input, result, tracker);
  while (input.Next().kind != kind::None) {
  }
  diagnosis.read = input.StopOffset();
  diagnosis.stop = input.Stop();
  diagnosis.dropped = input.DroppedTokenOffset();
  diagnosis.textVariable = input.FirstTextVariable();
  // Out of memory: the number that could not be held, or no place at all.
  if (code == OutOfMemory) diagnosis.at = input.Stop() == StopReason::OutOfMemory ? diagnosis.dropped : Nowhere;
  return code;
}

}  // namespace exprcalc
