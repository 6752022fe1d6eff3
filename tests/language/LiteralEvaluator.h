// A deliberately plain and slow evaluator of expression texts, the oracle of
// DifferentialTest. It tokenizes the whole text first into a zero-filled
// array of 2n tokens; parses with a stack of 2n + 16 entries, finding the top
// terminal by a scan from the bottom and the handle by walking down the
// terminals while the two priority tables say so; and folds each handle by
// trying the eighteen reduction rules in order at every position, as many as
// match. None of the library's shortcuts (lazy tokens, constant-time
// terminals, one rule per handle, folding on shift) is taken, so an agreement
// bit for bit with the library checks each of them.
#pragma once

#include <cstddef>

namespace exprcalc::literal {

struct Outcome {
  int code;
  double value;
  // Code 0: an operator (other than a "+" sign) stays on the final stack below
  // the value's entry, since the "(" after it is never closed.
  bool unapplied = false;
};

// The places that exprcalc_explain must name, found on the literal parse.
struct Places {
  std::size_t at = 0;          // a failure code's token (0 on success)
  bool unclosed = false;       // a "(" left open loses what follows it
  std::size_t unclosedAt = static_cast<std::size_t>(-1);  // the first such "("
};

// Evaluates a NUL-terminated text the way ParseString must, reading variables
// through the public table functions (GetIndexByKey, VarDouble); with places,
// also says where it failed or which "(" it left open.
Outcome EvaluateLiterally(const char* text, Places* places = nullptr);

}  // namespace exprcalc::literal
