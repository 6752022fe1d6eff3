// Number output. The d:m:s form is checked against the library's own reader
// (ParseString), because minutes and seconds are read digit by digit and the
// text that reads back best is not always the one plain arithmetic suggests.
#include "NumberFormat.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <system_error>

#include "exprcalc.h"

namespace calculator {
namespace {

constexpr double SecondsPerDegree = 3600.0;
constexpr double SecondsPerMinute = 60.0;
// Whole seconds are exact in a double below this count.
constexpr double ExactSecondsLimit = 9007199254740992.0;  // 2^53
// A whole-second text is accepted when it reads back at most this many units
// in the last place away from the value: the rounding of the reader's sums.
constexpr double ReadBackTolerance = 1.0;
constexpr int MaxFractionDigits = 17;
// Values in this range print without an exponent, which the expression
// language does not read; beyond it the digits would run too long.
constexpr double SmallestPlain = 1e-6;
constexpr double LargestPlain = 1e21;
constexpr int NeighboursTried = 8;

// The shortest round-trip form in the given notation, or a fixed number of
// fraction digits when precision is given.
std::string ToChars(double value, std::chars_format format, std::optional<int> precision = {}) {
  char buffer[400];  // the longest fixed form of a double holds about 330 characters
  const std::to_chars_result written =
      precision ? std::to_chars(buffer, buffer + sizeof buffer, value, format, *precision)
                : std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return written.ec == std::errc() ? std::string(buffer, written.ptr) : std::string("nan");
}

std::string TwoDigits(double wholeNumber) {
  std::string text = ToChars(wholeNumber, std::chars_format::fixed, 0);
  return text.size() < 2 ? "0" + text : text;
}

// The value the expression reader gives for text, if it reads it at all.
std::optional<double> ReadBack(const std::string& text) {
  double value = 0.0;
  if (ParseString(text.c_str(), &value) != EXPRCALC_OK) return std::nullopt;
  return value;
}

double UnitsInLastPlace(double value) {
  return std::nextafter(value, std::numeric_limits<double>::infinity()) - value;
}

struct WholeSeconds {
  double degrees;
  double minutes;
  double seconds;
};

WholeSeconds SplitSeconds(double totalSeconds) {
  const double degrees = std::floor(totalSeconds / SecondsPerDegree);
  const double rest = totalSeconds - degrees * SecondsPerDegree;
  const double minutes = std::floor(rest / SecondsPerMinute);
  return {degrees, minutes, rest - minutes * SecondsPerMinute};
}

std::string Compose(const std::string& degreesField, const WholeSeconds& parts) {
  return degreesField + ":" + TwoDigits(parts.minutes) + ":" + TwoDigits(parts.seconds);
}

// The magnitude as whole seconds when that reads back close enough, else the
// fraction of a second moved into the degrees field with the fewest digits
// that read back best.
std::string FormatMagnitude(double magnitude) {
  const double totalSeconds = magnitude * SecondsPerDegree;
  if (!(totalSeconds < ExactSecondsLimit)) {
    // Far beyond the resolution of a second: the degrees carry everything.
    return ToChars(magnitude, std::chars_format::fixed) + ":00:00";
  }
  const double tolerance = ReadBackTolerance * UnitsInLastPlace(magnitude);

  const WholeSeconds rounded = SplitSeconds(std::nearbyint(totalSeconds));
  const std::string wholeText = Compose(ToChars(rounded.degrees, std::chars_format::fixed, 0), rounded);
  const std::optional<double> wholeValue = ReadBack(wholeText);
  if (wholeValue && std::fabs(*wholeValue - magnitude) <= tolerance) return wholeText;

  const WholeSeconds wholeBelow = SplitSeconds(std::floor(totalSeconds));
  const WholeSeconds minutesAndSeconds{0.0, wholeBelow.minutes, wholeBelow.seconds};
  const std::optional<double> withoutDegrees = ReadBack(Compose("0", minutesAndSeconds));
  const double degreesField = magnitude - withoutDegrees.value_or(0.0);

  std::string best = wholeText;
  double bestError = wholeValue ? std::fabs(*wholeValue - magnitude) : std::numeric_limits<double>::infinity();
  auto consider = [&](std::string field) {
    while (field.find('.') != std::string::npos && field.back() == '0') field.pop_back();
    if (field.find('.') == std::string::npos || field.back() == '.') return;  // no fraction at this precision
    const std::string text = Compose(field, minutesAndSeconds);
    const std::optional<double> value = ReadBack(text);
    if (value && std::fabs(*value - magnitude) < bestError) {
      best = text;
      bestError = std::fabs(*value - magnitude);
    }
  };
  // Fewest fraction digits first, then the field's own shortest form, then
  // its neighbouring doubles: the reader sums many leading zeros with some
  // rounding, and a neighbour often reads back exactly.
  for (int digits = 1; digits <= MaxFractionDigits && bestError > 0.0; ++digits) {
    consider(ToChars(degreesField, std::chars_format::fixed, digits));
  }
  double below = degreesField;
  double above = degreesField;
  if (bestError > 0.0) consider(ToChars(degreesField, std::chars_format::fixed));
  for (int step = 0; step < NeighboursTried && bestError > 0.0; ++step) {
    below = std::nextafter(below, 0.0);
    above = std::nextafter(above, std::numeric_limits<double>::infinity());
    consider(ToChars(below, std::chars_format::fixed));
    consider(ToChars(above, std::chars_format::fixed));
  }
  return best;
}

}  // namespace

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "nan";  // never "-nan"
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0.0 || (magnitude >= SmallestPlain && magnitude < LargestPlain);
  return ToChars(value, plain ? std::chars_format::fixed : std::chars_format::scientific);
}

std::string FormatDms(double value) {
  if (std::isnan(value) || std::isinf(value)) return FormatNumber(value);
  const std::string magnitude = FormatMagnitude(std::fabs(value));
  return std::signbit(value) ? "-" + magnitude : magnitude;
}

}  // namespace calculator
