// The values a variable takes over a range: FROM + i*STEP for a table (each
// row computed from FROM, so that no error accumulates), or a number of
// evenly spaced samples from FROM to TO for a plot.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace calculator {

struct RangeGrid {
  double from = 0;
  double to = 0;
  double step = 0;
  std::uint64_t rows = 1;  // at least 1
  bool endsOnTo = false;   // the last row is TO itself
  bool sampled = false;    // rows at fractions of TO-FROM: a symmetric range's middle is exactly FROM+TO/2

  double At(std::uint64_t row) const {
    if (endsOnTo && row + 1 == rows) return to;
    if (sampled) {
      const double fraction = static_cast<double>(row) / static_cast<double>(rows - 1);
      // A span wider than the largest double is taken from both ends instead.
      if (!std::isfinite(to - from)) return from * (1 - fraction) + to * fraction;
      return from + (to - from) * fraction;
    }
    const double offset = static_cast<double>(row) * step;
    if (!std::isfinite(offset)) return (from / 2 + static_cast<double>(row) * (step / 2)) * 2;
    return from + offset;
  }
};

// Which argument a range is refused for, and why.
struct RangeRefusal {
  enum class Argument { From, To, Step };
  Argument argument;
  std::string message;
};

// The rows a table runs unless told otherwise (--rows), and the most it can
// be told: from 2^53 on a row number no longer converts exactly to a double.
inline constexpr std::uint64_t DefaultMostRows = 10'000'000;
inline constexpr std::uint64_t LargestMostRows = std::uint64_t{1} << 53;

// The rows FROM, FROM+STEP, ... up to TO; the last one is TO when TO lies on
// the grid (to within rounding: 0 to 0.3 by 0.1 ends on 0.3). FROM = TO is
// one row, whatever STEP. More than mostRows rows are refused.
std::variant<RangeGrid, RangeRefusal> StepGrid(double from, double to, double step,
                                               std::uint64_t mostRows = DefaultMostRows);

// samples (at least 2) values from FROM to TO, both ends included.
std::variant<RangeGrid, RangeRefusal> SampleGrid(double from, double to, std::uint64_t samples);

}  // namespace calculator
