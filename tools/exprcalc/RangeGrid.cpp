// A row's value is never FROM plus a running sum: after a million steps of
// 0.1 the sum is off by about 1e-10, and the rows would no longer read as
// the numbers a person expects. Spans wider than the largest double (from
// -10^308 to 10^308) are measured in halves, so that they never overflow.
#include "RangeGrid.h"

#include <algorithm>
#include <cmath>

namespace calculator {
namespace {

// How close (TO-FROM)/STEP must come to a whole number for TO to be a row.
constexpr double GridTolerance = 1e-9;

std::optional<RangeRefusal> RefuseNonFinite(double from, double to) {
  if (!std::isfinite(from)) return RangeRefusal{RangeRefusal::Argument::From, "FROM is not a finite number"};
  if (!std::isfinite(to)) return RangeRefusal{RangeRefusal::Argument::To, "TO is not a finite number"};
  return std::nullopt;
}

// (to - from) / step without overflow in the difference; inf only when the
// quotient itself is beyond the largest double.
double StepsBetween(double from, double to, double step) {
  const double span = to - from;
  if (std::isfinite(span)) return span / step;
  return (to / 2 - from / 2) / step * 2;
}

}  // namespace

std::variant<RangeGrid, RangeRefusal> StepGrid(double from, double to, double step, std::uint64_t mostRows) {
  if (auto refusal = RefuseNonFinite(from, to)) return *refusal;
  using Argument = RangeRefusal::Argument;
  if (!std::isfinite(step)) return RangeRefusal{Argument::Step, "STEP is not a finite number"};
  if (from == to) return RangeGrid{from, to, step, 1, true};
  if (step == 0) return RangeRefusal{Argument::Step, "STEP is 0, so the rows never reach TO"};
  const double steps = StepsBetween(from, to, step);
  if (steps < 0) return RangeRefusal{Argument::Step, "STEP goes away from TO"};
  const double nearest = std::round(steps);
  const bool endsOnTo = std::fabs(steps - nearest) <= GridTolerance * std::fmax(1.0, steps);
  const double rows = (endsOnTo ? nearest : std::floor(steps)) + 1;
  if (!(rows <= static_cast<double>(std::min(mostRows, LargestMostRows)))) {
    const std::string count = std::isfinite(rows) && rows < 1e18 ? std::to_string(static_cast<std::uint64_t>(rows))
                                                                   : std::string("more than 10^18");
    return RangeRefusal{Argument::Step, "STEP is too small: the table would have " + count +
                                            " rows, more than the limit of " + std::to_string(mostRows) +
                                            " (--rows N raises it)"};
  }
  return RangeGrid{from, to, step, static_cast<std::uint64_t>(rows), endsOnTo};
}

std::variant<RangeGrid, RangeRefusal> SampleGrid(double from, double to, std::uint64_t samples) {
  if (auto refusal = RefuseNonFinite(from, to)) return *refusal;
  if (from == to) return RangeRefusal{RangeRefusal::Argument::To, "TO is FROM: the range is empty"};
  if (samples < 2) samples = 2;
  const double intervals = static_cast<double>(samples - 1);
  return RangeGrid{from, to, to / intervals - from / intervals, samples, true, true};
}

}  // namespace calculator
