// libFuzzer target: a text is prepared once, then columns are evaluated and
// table changes made in turn, decoded from the input; every row must give
// exactly what exprcalc_set_double of its values and exprcalc_evaluate give,
// and the host functions (FuzzFunctions.h) must be called as many times.
//
// Input: one byte n, then n bytes of text; then per round the columns (a
// byte for their count, a byte for the rows, per column an index byte and a
// byte per row choosing its value, then a byte naming the column that the
// results are written over, if below the count) and one table change (see
// TableChanges.h).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "TableChanges.h"
#include "ExtremeValues.h"
#include "exprcalc.h"

namespace {

using exprcalc::testing::ColumnExtremes;

// Evaluates the columns decoded from in and checks them row by row.
void CheckColumns(const exprcalc_expr* expr, Input& in) {
  const std::size_t count = in.Byte() % 4;
  const std::size_t rows = in.Byte() * 3 % 700;  // past two blocks of rows
  std::vector<int> indexes(count);
  std::vector<std::vector<double>> values(count, std::vector<double>(rows));
  std::vector<const double*> columns(count);
  bool numbers = true;
  for (std::size_t k = 0; k < count; ++k) {
    indexes[k] = in.Byte() % 10;
    double ignored = 0.0;
    numbers = numbers && VarDouble(indexes[k], &ignored) >= 0;
    for (double& value : values[k]) {
      const std::uint8_t pick = in.Byte();
      value = pick < 200 ? Values[pick % std::size(Values)] : ColumnExtremes[pick % std::size(ColumnExtremes)];
    }
    columns[k] = values[k].data();
  }
  std::vector<double> results(rows, 7.0);
  // The results may be written over one of the columns (a byte below count names it).
  const std::size_t aliased = in.Byte();
  if (aliased < count) {
    results = values[aliased];
    columns[aliased] = results.data();
  }
  std::vector<int> codes(rows, -7);
  HostCalls = 0;
  const int first = exprcalc_evaluate_columns(expr, rows, count, indexes.data(), columns.data(), results.data(),
                                              codes.data());
  if (!numbers) {
    if (first != -1) std::abort();
    return;
  }
  const std::size_t columnCalls = HostCalls;
  HostCalls = 0;
  int expectedFirst = 0;
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t k = 0; k < count; ++k) exprcalc_set_double(indexes[k], values[k][r]);
    double value = 1.0;
    const int code = exprcalc_evaluate(expr, &value);
    if (expectedFirst == 0) expectedFirst = code;
    if (code != codes[r] || !SameBits(value, results[r])) {
      std::fprintf(stderr, "row %zu: columns %d %.17g, evaluate %d %.17g\n", r, codes[r], results[r], code, value);
      std::abort();
    }
  }
  if (first != expectedFirst || columnCalls != HostCalls) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  FreeVariable();
  for (const char* name : Names) EnterVarDouble(name, 2.0);
  DefineFunctions();
  const std::string text = in.Bytes(in.Byte());  // a NUL-terminated copy; a NUL inside ends it, as in C
  exprcalc_expr* expr = nullptr;
  if (exprcalc_prepare(text.c_str(), &expr) != EXPRCALC_OK) std::abort();
  do {
    CheckColumns(expr, in);
    Change(in);
  } while (!in.Empty());
  exprcalc_release(expr);
  RemoveFunctions();
  FreeVariable();
  return 0;
}
