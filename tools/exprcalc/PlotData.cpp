// A tick is k times a round step; it is computed as k*m/10^e rather than
// k*(m/10^e) where the step is below 1, so that its label prints as the
// round number it is (0.3, not 0.30000000000000004).
#include "PlotData.h"

#include <algorithm>
#include <cmath>
#include <map>


namespace calculator {
namespace {

// A sanity bound on tick loops whatever rounding does to the range.
constexpr int MostTickSteps = 64;
constexpr int LargestExactPowerOfTen = 22;

double Tick(double multiple, double mantissa, int exponent) {
  if (exponent >= 0) return multiple * mantissa * std::pow(10.0, exponent);
  if (-exponent <= LargestExactPowerOfTen) return multiple * mantissa / std::pow(10.0, -exponent);
  return multiple * mantissa * std::pow(10.0, exponent);
}

}  // namespace

std::optional<PlotData> SamplePlot(const RangeGrid& grid, const std::string& name, int nameIndex,
                    const std::vector<std::string>& labels, const std::vector<const exprcalc_expr*>& expressions) {
  PlotData data{name, {}, {}};
  const std::size_t rows = static_cast<std::size_t>(grid.rows);
  data.xs.resize(rows);
  for (std::size_t i = 0; i < rows; ++i) data.xs[i] = grid.At(i);
  const double* column = data.xs.data();
  for (std::size_t k = 0; k < expressions.size(); ++k) {
    PlotSeries series{labels[k], std::vector<double>(rows), std::vector<int>(rows, EXPRCALC_OK)};
    if (exprcalc_evaluate_columns(expressions[k], rows, 1, &nameIndex, &column, series.values.data(),
                                  series.codes.data()) < 0) {
      return std::nullopt;
    }
    data.series.push_back(std::move(series));
  }
  return data;
}

bool Drawn(const PlotSeries& series, std::size_t i) {
  return series.codes[i] == EXPRCALC_OK && std::isfinite(series.values[i]);
}

// Halved first, so that a range from -1e308 to 1e308 does not overflow. An
// axis from a higher low to a lower high runs backwards (a plot from 1 to 0).
double Axis::Fraction(double value) const {
  const double width = high / 2 - low / 2;
  return width != 0 ? (value / 2 - low / 2) / width : 0.5;
}

Axis RoundAxis(double low, double high, int mostTicks, bool fitTicks) {
  Axis axis{low, high, {}};
  const double range = high - low;
  if (!(range > 0) || !std::isfinite(range) || mostTicks < 1) {
    axis.ticks = {low, high};
    return axis;
  }
  const double rough = range / mostTicks;
  int exponent = static_cast<int>(std::floor(std::log10(rough)));
  const double fraction = rough / std::pow(10.0, exponent);
  double mantissa = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
  if (mantissa == 10) {
    mantissa = 1;
    ++exponent;
  }
  const double step = Tick(1, mantissa, exponent);
  const double first = std::ceil(low / step);
  const double last = std::floor(high / step);
  if (!(step > 0) || !std::isfinite(first) || last - first > MostTickSteps) {
    axis.ticks = {low, high};
    return axis;
  }
  if (fitTicks) {
    axis.low = Tick(std::floor(low / step), mantissa, exponent);
    axis.high = Tick(std::ceil(high / step), mantissa, exponent);
  }
  for (double k = fitTicks ? std::floor(low / step) : first; k <= (fitTicks ? std::ceil(high / step) : last); ++k) {
    axis.ticks.push_back(Tick(k, mantissa, exponent));
  }
  return axis;
}

Axis ValueAxis(const PlotData& data, int mostTicks) {
  double low = INFINITY;
  double high = -INFINITY;
  for (const PlotSeries& series : data.series) {
    for (std::size_t i = 0; i < series.values.size(); ++i) {
      if (!Drawn(series, i)) continue;
      low = std::min(low, series.values[i]);
      high = std::max(high, series.values[i]);
    }
  }
  if (low > high) return RoundAxis(-1, 1, mostTicks, true);
  if (low == high) {
    const double margin = std::max(1.0, std::fabs(low) / 10);
    return RoundAxis(low - margin, high + margin, mostTicks, true);
  }
  return RoundAxis(low, high, mostTicks, true);
}

std::string GapNote(const PlotSeries& series) {
  std::map<std::string, std::size_t> reasons;
  std::size_t gaps = 0;
  for (std::size_t i = 0; i < series.values.size(); ++i) {
    if (Drawn(series, i)) continue;
    ++gaps;
    ++reasons[series.codes[i] != EXPRCALC_OK ? exprcalc_message(series.codes[i]) : "not a finite number"];
  }
  if (gaps == 0) return "";
  std::string note = std::to_string(gaps) + " of " + std::to_string(series.values.size()) + " not drawn: ";
  bool first = true;
  for (const auto& [reason, count] : reasons) {
    if (!first) note += ", ";
    first = false;
    note += reason;
    if (reasons.size() > 1) note += " (" + std::to_string(count) + ")";
  }
  return note;
}

}  // namespace calculator
