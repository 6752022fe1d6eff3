// Decimal output: std::to_chars in fixed notation, and for values from 2^53 on
// the shortest digits followed by zeros and ".0".
#include "NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace calculator {
namespace {

// Integers below this read back exactly when their digits are summed one by one.
constexpr double ExactIntegerLimit = 9007199254740992.0;  // 2^53

std::string ToChars(double value, std::chars_format format) {
  char buffer[400];  // the longest fixed form of a double holds about 330 characters
  const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return written.ec == std::errc() ? std::string(buffer, written.ptr) : std::string("nan");
}

// A whole number from 2^53 on: its shortest digits (from the scientific form,
// "1.152921504606847e+18"), zeros up to the units and ".0".
std::string WholeNumberWithPoint(double value) {
  const std::string scientific = ToChars(value, std::chars_format::scientific);
  const std::size_t exponentAt = scientific.find('e');
  int exponent = 0;
  const char* exponentText = scientific.data() + exponentAt + 1;
  if (*exponentText == '+') ++exponentText;
  std::from_chars(exponentText, scientific.data() + scientific.size(), exponent);
  std::string text;
  int digits = 0;
  for (std::size_t i = 0; i < exponentAt; ++i) {
    const char c = scientific[i];
    if (c == '.') continue;
    text += c;
    if (c != '-') ++digits;
  }
  // A value this large has no digit below the units: digits <= exponent + 1.
  text.append(static_cast<std::size_t>(std::max(exponent + 1 - digits, 0)), '0');
  return text + ".0";
}

}  // namespace

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "nan";  // never "-nan"
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (std::fabs(value) < ExactIntegerLimit) return ToChars(value, std::chars_format::fixed);
  return WholeNumberWithPoint(value);
}

}  // namespace calculator
