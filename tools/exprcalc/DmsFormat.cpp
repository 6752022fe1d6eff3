// The d:m:s writer. Its text is computed from the way expressions read the
// notation: the degrees' integer part exactly, their fraction digit by digit
// (each digit a tenth of the weight of the one before), the two-digit minutes
// and seconds digit by digit scaled by 1/60 and 1/3600, and then the sums, each
// rounded. The library's reader stays the authority: the finished text is
// read back once, and should it ever read otherwise the decimal form is used.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include "NumberFormat.h"
#include "exprcalc.h"

namespace calculator {
namespace {

constexpr double SecondsPerDegree = 3600.0;
constexpr double SecondsPerMinute = 60.0;
// Whole numbers are exact in a double, and read back exactly, below this.
constexpr double ExactIntegerLimit = 9007199254740992.0;  // 2^53
// The reader's weights of a minute and of a second.
constexpr double MinuteWeight = 1.0 / 60.0;
constexpr double SecondWeight = MinuteWeight / 60.0;
constexpr int DigitBase = 10;

// The value itself or its neighbour on the side of reading.
bool IsValueOrNeighbour(double reading, double value) {
  return reading == value || reading == std::nextafter(value, reading);
}

// How the reader reads a two-digit minutes or seconds field.
double FieldReading(int field, double weight) {
  double reading = 0.0;
  for (const int digit : {field / DigitBase, field % DigitBase}) reading = reading * DigitBase + digit * weight;
  return reading;
}

double WithFractionDigit(double reading, int digit, double place) { return reading + digit * place; }

struct MinutesAndSeconds {
  int minutes;
  int seconds;
  double minutesReading;
  double secondsReading;
};

MinutesAndSeconds ReadFields(int minutes, int seconds) {
  return {minutes, seconds, FieldReading(minutes, MinuteWeight), FieldReading(seconds, SecondWeight)};
}

// The value read for "F:MM:SS" when F reads as degreesReading.
double FinishedReading(double degreesReading, const MinutesAndSeconds& fields) {
  const double withMinutes = degreesReading + fields.minutesReading;
  return withMinutes + fields.secondsReading;
}

std::string TwoDigits(int field) { return (field < DigitBase ? "0" : "") + std::to_string(field); }

std::string WholeText(double wholeNumber) {
  char buffer[32];
  const std::to_chars_result written =
      std::to_chars(buffer, buffer + sizeof buffer, wholeNumber, std::chars_format::fixed, 0);
  return std::string(buffer, written.ec == std::errc() ? written.ptr : buffer);
}

std::string Compose(const std::string& degreesField, const MinutesAndSeconds& fields) {
  return degreesField + ":" + TwoDigits(fields.minutes) + ":" + TwoDigits(fields.seconds);
}

struct WholeSeconds {
  double degrees;
  MinutesAndSeconds fields;
};

WholeSeconds SplitSeconds(double totalSeconds) {
  const double degrees = std::floor(totalSeconds / SecondsPerDegree);
  const double rest = totalSeconds - degrees * SecondsPerDegree;
  const double minutes = std::floor(rest / SecondsPerMinute);
  return {degrees, ReadFields(static_cast<int>(minutes), static_cast<int>(rest - minutes * SecondsPerMinute))};
}

struct Interval {
  double low;
  double high;
};

// The degrees readings (from 0 up) whose finished reading lies in wanted: one
// interval, since the finished reading never falls as the degrees grow. Found
// by bisection over the ordered bit patterns of the non-negative doubles.
std::optional<Interval> DegreesReadingsFor(const Interval& wanted, const MinutesAndSeconds& fields) {
  const auto reading = [&](std::uint64_t bits) { return FinishedReading(std::bit_cast<double>(bits), fields); };
  // A finished reading is never below the degrees reading, so none above wanted.high can do.
  const std::uint64_t top = std::bit_cast<std::uint64_t>(wanted.high);
  std::uint64_t first = 0;  // the first whose reading reaches wanted.low
  for (std::uint64_t end = top + 1; first < end;) {
    const std::uint64_t middle = first + (end - first) / 2;
    if (reading(middle) < wanted.low) first = middle + 1; else end = middle;
  }
  std::uint64_t pastLast = first;  // the first whose reading passes wanted.high
  for (std::uint64_t end = top + 1; pastLast < end;) {
    const std::uint64_t middle = pastLast + (end - pastLast) / 2;
    if (reading(middle) <= wanted.high) pastLast = middle + 1; else end = middle;
  }
  if (pastLast == first) return std::nullopt;
  return Interval{std::bit_cast<double>(first), std::bit_cast<double>(pastLast - 1)};
}

// A degrees field that reads within readings: the integer part, then fraction
// digits one at a time, each the largest that keeps the reading at or below
// readings.high, until the reading reaches readings.low. Nothing when the
// digits can no longer move the reading before it gets there.
std::optional<std::string> DegreesField(const Interval& readings) {
  const double integerPart = std::floor(readings.high);
  std::string field = WholeText(integerPart);
  double reading = integerPart;
  if (reading >= readings.low) return field;
  field += '.';
  for (double place = 1.0;;) {
    place = place / DigitBase;
    if (!(WithFractionDigit(reading, DigitBase - 1, place) > reading)) return std::nullopt;
    int digit = DigitBase - 1;
    while (digit > 0 && WithFractionDigit(reading, digit, place) > readings.high) --digit;
    reading = WithFractionDigit(reading, digit, place);
    field += static_cast<char>('0' + digit);
    if (reading >= readings.low) return field;
  }
}

// The fraction of a second carried into the degrees field, beside whole
// minutes and seconds: a text that reads as the magnitude itself if one is
// found, else one that reads as a neighbour.
std::optional<std::string> CarriedFractionText(double magnitude, const MinutesAndSeconds& fields) {
  const Interval exact{magnitude, magnitude};
  const Interval withNeighbours{std::nextafter(magnitude, 0.0), std::nextafter(magnitude, INFINITY)};
  for (const Interval& wanted : {exact, withNeighbours}) {
    const std::optional<Interval> readings = DegreesReadingsFor(wanted, fields);
    if (!readings) continue;
    if (const std::optional<std::string> field = DegreesField(*readings)) return Compose(*field, fields);
  }
  return std::nullopt;
}

std::optional<std::string> FormatMagnitude(double magnitude) {
  if (!(magnitude < ExactIntegerLimit)) return std::nullopt;
  const double totalSeconds = magnitude * SecondsPerDegree;
  if (!(totalSeconds < ExactIntegerLimit)) {
    // Far beyond the resolution of a second: the degrees carry everything.
    return CarriedFractionText(magnitude, ReadFields(0, 0));
  }
  // Whole seconds when they read as the value or its neighbour: 1.51 is not
  // exactly 1:30:36 in binary, but 1:30:36 is what it means.
  const WholeSeconds nearest = SplitSeconds(std::nearbyint(totalSeconds));
  if (IsValueOrNeighbour(FinishedReading(nearest.degrees, nearest.fields), magnitude)) {
    return Compose(WholeText(nearest.degrees), nearest.fields);
  }
  // Else the seconds below the value and the rest in the degrees field; one
  // second less when the reader's rounding of those seconds already passes it.
  const double below = std::floor(totalSeconds);
  for (double seconds = below; seconds >= 0.0 && seconds >= below - 1.0; seconds -= 1.0) {
    if (const std::optional<std::string> text = CarriedFractionText(magnitude, SplitSeconds(seconds).fields)) {
      return text;
    }
  }
  return std::nullopt;
}

bool LibraryReadsBack(const std::string& text, double magnitude) {
  double reading = 0.0;
  return ParseString(text.c_str(), &reading) == EXPRCALC_OK && IsValueOrNeighbour(reading, magnitude);
}

}  // namespace

std::string FormatDms(double value) {
  if (std::isnan(value) || std::isinf(value)) return FormatNumber(value);
  const double magnitude = std::fabs(value);
  const std::optional<std::string> text = FormatMagnitude(magnitude);
  if (!text || !LibraryReadsBack(*text, magnitude)) return FormatNumber(value);
  return std::signbit(value) ? "-" + *text : *text;
}

}  // namespace calculator
