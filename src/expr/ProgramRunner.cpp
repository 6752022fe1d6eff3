// Running a program, the rare cases: its text, once the table changed shape
// (or for a program that could not be encoded), and programs whose stack is
// too deep for the small frame. The common case is inline in Program.h.
#include "expr/Evaluate.h"
#include "expr/Program.h"

exprcalc::ResultCode exprcalc_expr::RunText(const VariableTable& table, double& result) const noexcept {
  return exprcalc::Evaluate(Text(), table, result);
}

exprcalc::ResultCode exprcalc_expr::RunDeep(double& result) const noexcept {
  return RunSteps<MostNumbers>(result);
}
