// Until the library evaluates columns itself, each row stores its values and
// evaluates; the variables' own values are put back in reverse order, so that
// a repeated index ends with the value it had before.
#include "ColumnEvaluation.h"

#include <vector>

namespace calculator {

int EvaluateColumns(const exprcalc_expr* expr, std::size_t rows, std::size_t count, const int* indexes,
                    const double* const* columns, double* results, int* codes) {
  if (results == nullptr || (count != 0 && (indexes == nullptr || columns == nullptr))) return -1;
  std::vector<double> saved(count);
  for (std::size_t k = 0; k < count; ++k) {
    if (columns[k] == nullptr || VarDouble(indexes[k], &saved[k]) < 0) return -1;
  }
  int first = EXPRCALC_OK;
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < count; ++k) exprcalc_set_double(indexes[k], columns[k][r]);
    const int code = exprcalc_evaluate(expr, &results[r]);
    if (codes != nullptr) codes[r] = code;
    if (first == EXPRCALC_OK) first = code;
  }
  for (std::size_t k = count; k-- > 0;) exprcalc_set_double(indexes[k], saved[k]);
  return first;
}

}  // namespace calculator
