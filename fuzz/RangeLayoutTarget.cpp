// libFuzzer target: the calculator's range commands laid out for any range
// and any values. A range and series of values (raw doubles or extremes:
// +-inf, NaN, 1e+-308, subnormals, a constant series) are decoded and drawn
// as a terminal plot and as an SVG picture, and a table is written over a
// step grid. Besides the sanitizers, the checks are: no "nan" or "inf" in
// any SVG coordinate, no "nan" or "inf" tick label, and each table row's
// variable cell reads back to the grid's value of that row.
//
// Input: a byte of choices, FROM, TO and STEP (each a choice byte and, for
// a raw double, 8 bytes), the terminal's size, then per series a label and a
// value per sample.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "NumberFormat.h"
#include "PlotData.h"
#include "RangeGrid.h"
#include "RangeTable.h"
#include "SvgPlot.h"
#include "TerminalPlot.h"
#include "exprcalc.h"

namespace {

using namespace calculator;

constexpr double Extremes[] = {0.0,
                               -0.0,
                               1.0,
                               -1.0,
                               1e308,
                               -1e308,
                               std::numeric_limits<double>::max(),
                               -std::numeric_limits<double>::max(),
                               1e-308,
                               std::numeric_limits<double>::denorm_min(),
                               -std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::min(),
                               1e-300,
                               1e300,
                               0.1,
                               1e15,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
constexpr int Codes[] = {EXPRCALC_OK, EXPRCALC_OK, EXPRCALC_OK, EXPRCALC_DIVISION_BY_ZERO, EXPRCALC_DOMAIN_ERROR};
constexpr const char* TableExpressions[] = {"@X", "1/@X", "@X*10^300", "SQRT(@X)", "@X^2"};
constexpr std::uint64_t MostFuzzRows = 1500;
constexpr std::uint8_t Raw = 0xFF;

double Value(Input& in) {
  const std::uint8_t pick = in.Byte();
  if (pick != Raw) return Extremes[pick % std::size(Extremes)];
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | in.Byte();
  return std::bit_cast<double>(bits);
}

[[noreturn]] void Fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s\n%s\n", what, text.c_str());
  std::abort();
}

// Every number an SVG attribute holds is a plain decimal.
void CheckSvg(const std::string& svg) {
  for (const char* attribute : {" x=\"", " y=\"", " x1=\"", " y1=\"", " x2=\"", " y2=\"", " cx=\"", " cy=\"",
                                " points=\"", " width=\"", " height=\""}) {
    const std::string name(attribute);
    for (std::size_t at = svg.find(name); at != std::string::npos; at = svg.find(name, at + 1)) {
      const std::size_t begin = at + name.size();
      const std::size_t end = svg.find('"', begin);
      const std::string value = svg.substr(begin, end - begin);
      if (value.find_first_not_of("0123456789.,- %") != std::string::npos) Fail("an SVG coordinate:", value);
    }
  }
}

void CheckPlot(const PlotData& data, const TerminalLook& look) {
  const Axis values = ValueAxis(data, 8);
  for (const double tick : values.ticks) {
    if (!std::isfinite(tick)) Fail("a tick that is not finite", FormatNumber(tick));
    const std::string label = TickLabel(values, tick);
    if (label.find("nan") != std::string::npos || label.find("inf") != std::string::npos) Fail("a tick label", label);
  }
  DrawTerminalPlot(data, look);
  CheckSvg(DrawSvgPlot(data, data.series.empty() ? "" : data.series.front().label));
}

// The table's first column against the grid, row by row.
void CheckTable(const RangeGrid& grid, int nameIndex, Input& in) {
  const std::size_t count = 1 + in.Byte() % 2;
  std::vector<std::string> texts;
  std::vector<exprcalc_expr*> prepared;
  for (std::size_t k = 0; k < count; ++k) {
    texts.emplace_back(TableExpressions[in.Byte() % std::size(TableExpressions)]);
    exprcalc_expr* expression = nullptr;
    if (exprcalc_prepare(texts.back().c_str(), &expression) != EXPRCALC_OK) std::abort();
    prepared.push_back(expression);
  }
  const TableColumns columns{"@X", nameIndex, texts, {prepared.begin(), prepared.end()}};
  std::ostringstream table;
  if (WriteTable(grid, columns, TableFormat::Tabs, FormatNumber, table) == TableOutcome::NotANumberVariable) {
    std::abort();
  }
  for (exprcalc_expr* expression : prepared) exprcalc_release(expression);
  std::istringstream lines(table.str());
  std::string line;
  std::getline(lines, line);  // the header
  for (std::uint64_t row = 0; row < grid.rows; ++row) {
    if (!std::getline(lines, line)) Fail("a row missing", table.str());
    const std::string cell = line.substr(0, line.find('\t'));
    double read = 0;
    const auto result = std::from_chars(cell.data(), cell.data() + cell.size(), read);
    const double expected = grid.At(row);
    if (!std::isfinite(expected)) Fail("a row that is not finite", cell);
    if (result.ec != std::errc() || std::bit_cast<std::uint64_t>(read) != std::bit_cast<std::uint64_t>(expected)) {
      Fail("a row's value", cell);
    }
  }
  if (std::getline(lines, line)) Fail("a row too many", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t choices = in.Byte();
  const double from = Value(in);
  const double to = Value(in);
  const double step = Value(in);
  TerminalLook look;
  look.columns = in.Byte() % 200;
  look.lines = in.Byte() % 80;
  look.unicode = (choices & 1) != 0;
  look.colour = (choices & 2) != 0;

  FreeVariable();
  EnterVarDouble("@X", 0);
  int type = 0;
  const int nameIndex = GetIndexByKey("@X", &type);
  const auto stepped = StepGrid(from, to, step, 1 + in.Byte() % MostFuzzRows);
  if (const auto* grid = std::get_if<RangeGrid>(&stepped)) CheckTable(*grid, nameIndex, in);

  const std::size_t samples = (choices & 4) != 0 ? SvgSamples() : TerminalSamples(look, 1 + in.Byte() % 24);
  const auto sampled = SampleGrid(from, to, samples);
  if (const auto* grid = std::get_if<RangeGrid>(&sampled)) {
    PlotData plot{"@X", {}, {}};
    for (std::uint64_t i = 0; i < grid->rows; ++i) plot.xs.push_back(grid->At(i));
    const std::size_t count = 1 + in.Byte() % 3;
    for (std::size_t s = 0; s < count; ++s) {
      PlotSeries series{in.Bytes(in.Byte() % 120), {}, {}};
      const bool constant = (in.Byte() & 1) != 0;
      const double first = Value(in);
      for (std::size_t i = 0; i < plot.xs.size(); ++i) {
        series.values.push_back(constant || in.Empty() ? first : Value(in));
        series.codes.push_back(Codes[in.Byte() % std::size(Codes)]);
      }
      plot.series.push_back(std::move(series));
    }
    CheckPlot(plot, look);
  }
  FreeVariable();
  return 0;
}
