// A row's value is never FROM plus a running sum: after a million steps of
// 0.1 the sum is off by about 1e-10, and the rows would no longer read as
// the numbers a person expects.
#include "RangeGrid.h"

#include <cmath>

namespace calculator {
namespace {

// Row counts from here on would no longer convert exactly to a double.
constexpr double MostRows = 9007199254740992.0;  // 2^53
// How close (TO-FROM)/STEP must come to a whole number for TO to be a row.
constexpr double GridTolerance = 1e-9;

std::optional<RangeRefusal> RefuseNonFinite(double from, double to) {
  if (!std::isfinite(from)) return RangeRefusal{RangeRefusal::Argument::From, "FROM is not a finite number"};
  if (!std::isfinite(to)) return RangeRefusal{RangeRefusal::Argument::To, "TO is not a finite number"};
  return std::nullopt;
}

}  // namespace

std::variant<RangeGrid, RangeRefusal> StepGrid(double from, double to, double step) {
  if (auto refusal = RefuseNonFinite(from, to)) return *refusal;
  using Argument = RangeRefusal::Argument;
  if (!std::isfinite(step)) return RangeRefusal{Argument::Step, "STEP is not a finite number"};
  if (step == 0) return RangeRefusal{Argument::Step, "STEP is 0, so the rows never reach TO"};
  const double steps = (to - from) / step;
  if (steps < 0) return RangeRefusal{Argument::Step, "STEP goes away from TO"};
  if (!(steps < MostRows - 1)) return RangeRefusal{Argument::Step, "STEP is too small: there would be too many rows"};
  RangeGrid grid{from, to, step, 1, false};
  const double nearest = std::round(steps);
  if (std::fabs(steps - nearest) <= GridTolerance * std::fmax(1.0, steps)) {
    grid.rows = static_cast<std::uint64_t>(nearest) + 1;
    grid.endsOnTo = true;
  } else {
    grid.rows = static_cast<std::uint64_t>(std::floor(steps)) + 1;
  }
  return grid;
}

std::variant<RangeGrid, RangeRefusal> SampleGrid(double from, double to, std::uint64_t samples) {
  if (auto refusal = RefuseNonFinite(from, to)) return *refusal;
  if (from == to) return RangeRefusal{RangeRefusal::Argument::To, "TO is FROM: the range is empty"};
  if (samples < 2) samples = 2;
  if (!std::isfinite(to - from)) return RangeRefusal{RangeRefusal::Argument::To, "the range is too wide"};
  return RangeGrid{from, to, (to - from) / static_cast<double>(samples - 1), samples, true, true};
}

}  // namespace calculator
