// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded), programs whose stack is too
// deep for the small frame, and programs of several segments. The common
// case is inline in Program.h.
#include "expr/Evaluate.h"
#include "expr/Program.h"

exprcalc::Outcome exprcalc_expr::RunOther(const VariableTable& table) const noexcept {
  if (!Current(table)) {
    double result = 0.0;
    const exprcalc::ResultCode code = exprcalc::Evaluate(Text(), table, result);
    return {code, result};
  }
  if (slotCount_ > SmallFrame) return RunSteps<MostNumbers>();
  return RunSteps<SmallFrame>();
}
