// A table of expressions over a range of a number variable: a header line,
// then one line per row with the variable's value and each expression's
// value, or its error in words. Rows are evaluated and written a block at a
// time, so that any number of rows runs in the same memory.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "RangeGrid.h"
#include "exprcalc.h"

namespace calculator {

enum class TableFormat {
  Tabs,  // cells separated by tabs, header cells shown as the error lines show text
  Csv,   // comma-separated values, quoted where needed, lines ending in CRLF
};

struct TableColumns {
  std::string name;                               // the variable, as written
  int nameIndex = -1;                             // its index in the table
  std::vector<std::string> texts;                 // each expression, as written
  std::vector<const exprcalc_expr*> expressions;  // each prepared
};

using ValueWriter = std::string (*)(double);

enum class TableOutcome {
  AllValues,           // every cell of every row written holds a value
  FailedRows,          // some cell holds an error
  NotANumberVariable,  // the library refused the variable's index: the rows stop there
};

// Writes the table until its last row or until output fails.
TableOutcome WriteTable(const RangeGrid& grid, const TableColumns& columns, TableFormat format, ValueWriter writeValue,
                std::ostream& output);

}  // namespace calculator
