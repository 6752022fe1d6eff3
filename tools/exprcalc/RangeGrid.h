// The values a variable takes over a range: FROM + i*STEP for a table (each
// row computed from FROM, so that no error accumulates), or a number of
// evenly spaced samples from FROM to TO for a plot.
#pragma once

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
    if (sampled) return from + (to - from) * (static_cast<double>(row) / static_cast<double>(rows - 1));
    return from + static_cast<double>(row) * step;
  }
};

// Which argument a range is refused for, and why.
struct RangeRefusal {
  enum class Argument { From, To, Step };
  Argument argument;
  std::string message;
};

// The rows FROM, FROM+STEP, ... up to TO; the last one is TO when TO lies on
// the grid (to within rounding: 0 to 0.3 by 0.1 ends on 0.3).
std::variant<RangeGrid, RangeRefusal> StepGrid(double from, double to, double step);

// samples (at least 2) values from FROM to TO, both ends included.
std::variant<RangeGrid, RangeRefusal> SampleGrid(double from, double to, std::uint64_t samples);

}  // namespace calculator
