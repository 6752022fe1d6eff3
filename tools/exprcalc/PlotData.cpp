// A tick is k times a round step; it is computed as k*m/10^e rather than
// k*(m/10^e) where the step is below 1, so that its label prints as the
// round number it is (0.3, not 0.30000000000000004).
#include "PlotData.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <map>

#include "NumberFormat.h"

namespace calculator {
namespace {

// A sanity bound on tick loops whatever rounding does to the range.
constexpr int MostTickSteps = 64;
constexpr int LargestExactPowerOfTen = 22;
constexpr double MostCountedSteps = 9007199254740992.0;  // 2^53
constexpr double SmallestRoundRange = 1e-302;
// A label longer than this is written in scientific form: 2e-301, 1.5e20.
constexpr std::size_t MostPlainLabelBytes = 10;
constexpr int MostLabelPrecision = 16;

// "1.5e+20" as 1.5e20, "2e-05" as 2e-5.
std::string ShortExponent(std::string text) {
  const std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::size_t digits = e + 1;
  if (digits < text.size() && text[digits] == '+') text.erase(digits, 1);
  if (digits < text.size() && text[digits] == '-') ++digits;
  while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
  return text;
}

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

// Direct where the span is a double, else halved first, so that a range from
// -1e308 to 1e308 does not overflow. An axis from a higher low to a lower
// high runs backwards (a plot from 1 to 0).
double Axis::Fraction(double value) const {
  const double span = high - low;
  if (std::isfinite(span)) return span != 0 ? (value - low) / span : 0.5;
  const double width = high / 2 - low / 2;
  return width != 0 ? (value / 2 - low / 2) / width : 0.5;
}

Axis RoundAxis(double low, double high, int mostTicks, bool fitTicks) {
  Axis axis{low, high, {}, 0};
  const double halfRange = high / 2 - low / 2;
  // A range below the smallest normal double has no round step worth the name.
  if (!(halfRange > 0) || !std::isfinite(halfRange) || mostTicks < 1 || halfRange < SmallestRoundRange) {
    axis.ticks = {low, high};
    return axis;
  }
  const double rough = halfRange / mostTicks * 2;
  if (!std::isfinite(rough)) {
    axis.ticks = {low, high};
    return axis;
  }
  int exponent = static_cast<int>(std::floor(std::log10(rough)));
  const double fraction = rough / std::pow(10.0, exponent);
  double mantissa = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
  if (mantissa == 10) {
    mantissa = 1;
    ++exponent;
  }
  const double step = Tick(1, mantissa, exponent);
  double first = std::ceil(low / step);
  double last = std::floor(high / step);
  // Beyond 2^53 steps from 0 the multiples no longer count one by one.
  if (!(step > 0) || !std::isfinite(step) || !(std::fabs(first) < MostCountedSteps) ||
      !(std::fabs(last) < MostCountedSteps) || last - first > MostTickSteps) {
    axis.ticks = {low, high};
    return axis;
  }
  if (fitTicks) {
    // The axis widens to the ticks around the range where they are doubles.
    const double below = std::floor(low / step);
    const double above = std::ceil(high / step);
    const double lowTick = Tick(below, mantissa, exponent);
    const double highTick = Tick(above, mantissa, exponent);
    if (std::isfinite(lowTick)) {
      axis.low = lowTick;
      first = below;
    }
    if (std::isfinite(highTick)) {
      axis.high = highTick;
      last = above;
    }
  }
  axis.step = step;
  for (double k = first; k <= last; ++k) {
    const double tick = Tick(k, mantissa, exponent);
    if (std::isfinite(tick)) axis.ticks.push_back(tick);
  }
  return axis;
}

std::string TickLabel(const Axis& axis, double tick) {
  std::string plain = FormatNumber(tick);
  if (plain.size() <= MostPlainLabelBytes) return plain;
  // The fewest significant digits that tell this tick from its neighbours.
  const double tolerance = axis.step > 0 ? axis.step / 1000 : 0;
  char buffer[64];
  for (int precision = 0; precision <= MostLabelPrecision; ++precision) {
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, tick, std::chars_format::scientific, precision);
    if (written.ec != std::errc()) break;
    double readBack = 0;
    std::from_chars(buffer, written.ptr, readBack);
    if (precision == MostLabelPrecision || std::fabs(readBack - tick) <= tolerance || readBack == tick) {
      return ShortExponent(std::string(buffer, written.ptr));
    }
  }
  return plain;
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
    return RoundAxis(std::max(low - margin, -DBL_MAX), std::min(high + margin, DBL_MAX), mostTicks, true);
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
