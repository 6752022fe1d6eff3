// A deliberately plain and slow evaluator of expression texts, written step by
// step after the documented algorithm (zero-filled token array, priority-driven
// parse with a handle search, ordered reduction rules), with no shortcut at all.
// DifferentialTest compares the optimised library with it, bit for bit.
#pragma once

namespace exprcalc::literal {

struct Outcome {
  int code;
  double value;
};

// Evaluates a NUL-terminated text the way ParseString must, reading variables
// through the public table functions (GetIndexByKey, VarDouble).
Outcome EvaluateLiterally(const char* text);

}  // namespace exprcalc::literal
