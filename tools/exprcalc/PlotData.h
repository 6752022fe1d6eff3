// What a plot shows, whatever draws it: each expression sampled over the
// range with one column evaluation, the range of the values drawn, axes
// with ticks at round numbers, and why samples were left out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RangeGrid.h"
#include "exprcalc.h"

namespace calculator {

struct PlotSeries {
  std::string label;          // the expression, as written
  std::vector<double> values;
  std::vector<int> codes;     // 0 where values holds the row's value
};

struct PlotData {
  std::string name;  // the variable, as written
  std::vector<double> xs;
  std::vector<PlotSeries> series;
};

// Evaluates each expression at every sample of grid (NAME at nameIndex);
// nothing when the variable at nameIndex is not a number variable.
std::optional<PlotData> SamplePlot(const RangeGrid& grid, const std::string& name, int nameIndex,
                    const std::vector<std::string>& labels, const std::vector<const exprcalc_expr*>& expressions);

// Whether a sample is drawn: its code is 0 and its value finite.
bool Drawn(const PlotSeries& series, std::size_t i);

struct Axis {
  double low = 0;
  double high = 1;
  std::vector<double> ticks;  // round numbers from low to high, all finite
  double step = 0;            // between ticks; 0 when the ticks are only the ends

  // Where value lies between low (0) and high (1).
  double Fraction(double value) const;
};

// Ticks at multiples of 1, 2 or 5 times a power of ten, at most about
// mostTicks of them, or only low and high where no round step fits. fitTicks
// widens the axis to the ticks around the range where those are finite.
Axis RoundAxis(double low, double high, int mostTicks, bool fitTicks);

// A tick's label: as values print where that is short, else in scientific
// form with the fewest digits that tell the ticks apart (2e-301, 1.5e20).
std::string TickLabel(const Axis& axis, double tick);

// The axis of the values drawn (from -1 to 1 when nothing is drawn).
Axis ValueAxis(const PlotData& data, int mostTicks);

// "" when every sample is drawn, else how many are not and why:
// "3 not drawn: division by zero".
std::string GapNote(const PlotSeries& series);

}  // namespace calculator
