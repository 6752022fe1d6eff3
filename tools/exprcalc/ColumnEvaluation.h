// Evaluates a prepared expression over columns of values for number
// variables, row by row, as exprcalc_set_double + exprcalc_evaluate would.
#pragma once

#include <cstddef>

#include "exprcalc.h"

namespace calculator {

// The library's exprcalc_evaluate_columns, with its arguments and results:
// row r reads columns[k][r] for the variable at indexes[k]; results and codes
// (which may be null) receive that row's value and code. Returns 0, the first
// non-zero row code, or -1 (nothing written) for an index that is not a
// number variable or a needed pointer that is null. Every variable keeps its
// value afterwards.
int EvaluateColumns(const exprcalc_expr* expr, std::size_t rows, std::size_t count, const int* indexes,
                    const double* const* columns, double* results, int* codes);

}  // namespace calculator
