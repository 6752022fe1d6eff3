// Both write into a stream that discards what it gets, so that the figures
// are the calculator's work and not the terminal's or the disk's. The
// expressions are the ones a person plots: a polynomial and a sine.
#include "TableBenchmarks.h"

#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "NumberFormat.h"
#include "RangeTable.h"
#include "exprcalc.h"

namespace exprcalc::bench {
namespace {

constexpr std::uint64_t Rows = 100000;
constexpr double Step = 0.001;
const std::vector<std::string> Expressions{"@X^2-3*@X+1", "SIN(@X)*EXP(0-@X/10)"};

class Discarding : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

calculator::RangeGrid Grid() { return calculator::RangeGrid{0, Step * (Rows - 1), Step, Rows, false}; }

void SetRowsPerSecond(benchmark::State& state) {
  state.counters["rows_per_second"] =
      benchmark::Counter(static_cast<double>(Rows) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void TableRows(benchmark::State& state) {
  EnterVarDouble("@X", 0);
  int type = 0;
  calculator::TableColumns columns{"@X", GetIndexByKey("@X", &type), Expressions, {}};
  std::vector<exprcalc_expr*> handles(Expressions.size());
  for (std::size_t k = 0; k < Expressions.size(); ++k) {
    exprcalc_prepare(Expressions[k].c_str(), &handles[k]);
    columns.expressions.push_back(handles[k]);
  }
  Discarding sink;
  std::ostream output(&sink);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        calculator::WriteTable(Grid(), columns, calculator::TableFormat::Tabs, calculator::FormatNumber, output));
  }
  for (exprcalc_expr* handle : handles) exprcalc_release(handle);
  RemoveVariable("@X");
  SetRowsPerSecond(state);
}

// The table's text from values computed beforehand.
void PrintNumbersAlone(benchmark::State& state) {
  const calculator::RangeGrid grid = Grid();
  std::vector<double> cells;
  for (std::uint64_t r = 0; r < Rows; ++r) {
    EnterVarDouble("@X", grid.At(r));
    cells.push_back(grid.At(r));
    for (const std::string& expression : Expressions) {
      double value = 0;
      ParseString(expression.c_str(), &value);
      cells.push_back(value);
    }
  }
  RemoveVariable("@X");
  const std::size_t perRow = Expressions.size() + 1;
  Discarding sink;
  std::ostream output(&sink);
  for (auto _ : state) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      output << calculator::FormatNumber(cells[i]) << ((i + 1) % perRow == 0 ? '\n' : '\t');
    }
  }
  SetRowsPerSecond(state);
}

}  // namespace

void RegisterTableBenchmarks() {
  benchmark::RegisterBenchmark("Table/rows", TableRows)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Table/print-alone", PrintNumbersAlone)->Unit(benchmark::kMillisecond);
}

}  // namespace exprcalc::bench
