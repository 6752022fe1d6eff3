// The exprcalc_* exports of prepared expressions: a handle is a Program of
// the table it was prepared in, evaluated again and again.
#include "exprcalc.h"
#include "columns/Columns.h"
#include "program/Program.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"
#include "base/CodeSpace.h"
#include "module/TableCalls.h"

using exprcalc::IsAddress;
using exprcalc::Program;
using exprcalc::TheModule;

namespace {

// No handle (the value is 0.0), or nowhere to store the value.
[[gnu::noinline]] int EvaluateWithoutHandleOrOutput(const exprcalc_expr* expr, double* value) noexcept {
  double discarded = 0.0;
  const int code = IsAddress(expr) ? expr->Run(expr->Table(), discarded) : EXPRCALC_OK;
  exprcalc::Store(value, 0.0);
  return code;
}

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_prepare(const char* text, exprcalc_expr** out) {
  return exprcalc::calls::Prepare(TheModule().ProcessTable(), text, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_evaluate(const exprcalc_expr* expr, double* value) {
  if (IsAddress(expr) && IsAddress(value)) [[likely]] {
    return expr->Run(expr->Table(), *value);
  }
  return EvaluateWithoutHandleOrOutput(expr, value);
}

EXPRCALC_API void EXPRCALC_CALL exprcalc_release(exprcalc_expr* expr) {
  if (IsAddress(expr)) exprcalc::calls::Release(expr);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_set_double(int index, double value) {
  return TheModule().Table().SetDouble(index, value);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_evaluate_columns(const exprcalc_expr* expr, size_t rows, size_t count,
                                                         const int* indexes, const double* const* columns,
                                                         double* results, int* codes) {
  if (!IsAddress(expr) || (rows > 0 && !IsAddress(results))) return -1;
  const exprcalc::VariableTable& table = expr->Table();
  if (count > 0 && (!IsAddress(indexes) || !IsAddress(columns))) return -1;
  for (std::size_t k = 0; k < count; ++k) {
    double ignored = 0.0;
    if (table.DoubleAt(indexes[k], ignored) == exprcalc::VariableTable::NotFound) return -1;
    if (rows > 0 && !IsAddress(columns[k])) return -1;
  }
  const exprcalc::ColumnValues values{indexes, columns, count};
  const exprcalc::ColumnProgram program{expr->Recording(table), expr->Current(table), expr->Text()};
  return exprcalc::EvaluateColumns(program, values, rows, results, IsAddress(codes) ? codes : nullptr);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_code_form(const exprcalc_expr* expr, int* why) {
  int reason = EXPRCALC_CODE_RUNS;
  int form = EXPRCALC_FORM_MACHINE_CODE;
  if (IsAddress(expr)) {
    form = expr->Form(expr->Table(), reason);
  } else {
    reason = static_cast<int>(exprcalc::CodeSpace::ProcessDenial());
    if (reason != EXPRCALC_CODE_RUNS) form = EXPRCALC_FORM_STEPS;
  }
  exprcalc::Store(why, reason);
  return form;
}

}  // extern "C"
