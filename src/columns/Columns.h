// A prepared expression evaluated once per row of a table of columns: in each
// row some number variables read that row's value of a column instead of
// their record, as if each had been stored with exprcalc_set_double, while
// the table itself is only read.
#pragma once

#include <cstddef>
#include <string_view>

#include "language/NumberSource.h"
#include "language/ResultCode.h"
#include "recorded/Recorded.h"
#include "variables/VariableTable.h"

namespace exprcalc {

// In row r the number variable at indexes[k] reads columns[k][r] (k < count);
// for an index given twice, the last column counts.
struct ColumnValues {
  const int* indexes;
  const double* const* columns;
  std::size_t count;

  // The column that the variable at index reads, or null when none does.
  const double* ColumnOf(int index) const noexcept {
    for (std::size_t k = count; k-- > 0;) {
      if (indexes[k] == index) return columns[k];
    }
    return nullptr;
  }
};

// One row of the columns, as the tokenizer reads a number variable through it.
class RowValues final : public NumberSource {
 public:
  RowValues(const ColumnValues& values, std::size_t row) noexcept : values_(values), row_(row) {}
  double Read(int index, double stored) const noexcept override {
    const double* column = values_.ColumnOf(index);
    return column == nullptr ? stored : column[row_];
  }

 private:
  const ColumnValues& values_;
  std::size_t row_;
};

// A prepared program as the columns run it: its recorded operations while
// they hold under the table (current), and its text, which each row
// evaluates otherwise.
struct ColumnProgram {
  RecordedProgram recorded;
  bool current;
  std::string_view text;
};

struct ColumnPlan;

// Plans program over values (ColumnPlan.h); false when the blocks are left
// to the exact runner. EvaluateColumns plans this way itself.
bool PlanColumns(const ColumnProgram& program, const ColumnValues& values, ColumnPlan& plan) noexcept;

// Evaluates program for rows 0 to rows-1: results[r] and codes[r] receive the
// value and code that running it gives with row r's values stored, bit for
// bit, also after a change of shape. Returns the first row's code that is not
// Ok, or Ok. It needs no memory of its own beyond a bounded stack frame.
ResultCode EvaluateColumns(const ColumnProgram& program, const ColumnValues& values, std::size_t rows,
                           double* results, int* codes) noexcept;

}  // namespace exprcalc
