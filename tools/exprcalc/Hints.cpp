// Each hint looks at the bytes around the place where reading or evaluation
// stopped; none changes what the line means. The built-in names are listed
// as the library's table holds them (CalculatorTest checks the two agree).
#include "Hints.h"

#include <algorithm>
#include <optional>

#include "CharacterNames.h"
#include "LineSource.h"
#include "NameText.h"
#include "ShownText.h"

namespace calculator {
namespace {

constexpr std::size_t MaxEchoedStatementBytes = 60;

constexpr std::string_view BuiltInNamesHint =
    "the built-in names are SIN, COS, TAN, ASIN, ACOS, ATAN, SQR, SQRT, ABS, DEG, RAD, LOG, LOG10, EXP and PAI; "
    "variables begin with @";

// Names that other calculators know, with what this language writes instead.
struct Alias {
  std::string_view name;  // upper case
  std::string_view hint;
};
constexpr Alias Aliases[] = {
    {"PI", "write PAI for pi"},   {"LN", "LOG is the natural logarithm"},
    {"E", "write EXP(1) for e"},  {"MOD", "% is the integer remainder: 10 % 3"},
    {"X", "* multiplies: 3 * 4"}, {"POW", "^ raises to a power: 2^10"},
    {"QUIT", ":quit ends the session"}, {"EXIT", ":quit ends the session"},
};

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  return upper;
}

// "RATE = 4": a line that would be a statement but for the "@" before its name.
std::optional<std::string> MissingAtHint(std::string_view line) {
  const std::size_t equals = line.find('=');
  const std::size_t first = FirstNonBlank(line);
  if (equals == std::string_view::npos || first >= equals || !IsAsciiLetter(line[first])) return std::nullopt;
  if (!TrimLeft(line.substr(WrittenNameEnd(line, first))).starts_with('=')) return std::nullopt;
  return std::string(exprcalc_reason_message(EXPRCALC_REASON_NO_NAME)) + ": " +
         ShownShort("@" + std::string(line.substr(first)), MaxEchoedStatementBytes);
}

// "1.5e3": a number, then "e" or "E", an optional sign and digits.
std::optional<std::string> ExponentHint(std::string_view line, std::size_t at) {
  if (at == 0 || (line[at] != 'e' && line[at] != 'E')) return std::nullopt;
  std::size_t begin = at;
  while (begin > 0 && (IsAsciiDigit(line[begin - 1]) || line[begin - 1] == '.' || line[begin - 1] == ',')) --begin;
  std::size_t digits = at + 1;
  if (digits < line.size() && (line[digits] == '+' || line[digits] == '-')) ++digits;
  std::size_t end = digits;
  while (end < line.size() && IsAsciiDigit(line[end])) ++end;
  if (begin == at || end == digits) return std::nullopt;
  const std::string_view mantissa = line.substr(begin, at - begin);
  const std::string_view exponent = line.substr(at + 1, end - at - 1);
  if (mantissa.size() + exponent.size() > MaxEchoedNameBytes) {
    return "there is no exponent notation: write a*10^b for aEb";
  }
  const std::string power = exponent.front() == '-' ? "(" + std::string(exponent) + ")" : std::string(exponent);
  return "there is no exponent notation: write " + std::string(mantissa) + "*10^" + power + " for " +
         std::string(line.substr(begin, end - begin));
}

// "@MY_RATE": a name that a stray byte cuts short, the name beginning at nameAt.
std::optional<std::string> StrayByteHint(std::string_view line, std::size_t nameAt) {
  const std::size_t readEnd = NameEnd(line, nameAt);
  if (readEnd == nameAt || readEnd >= line.size() || !IsStrayNameByte(line[readEnd])) return std::nullopt;
  const std::size_t writtenEnd = WrittenNameEnd(line, nameAt);
  return UnreadNameHint(line.substr(nameAt, writtenEnd - nameAt), readEnd - nameAt);
}

// The start of the name that ends just before at, or at when there is none.
std::size_t NameBefore(std::string_view line, std::size_t at) {
  std::size_t begin = at;
  while (begin > 0 && IsNameByte(line[begin - 1])) --begin;
  if (begin > 0 && line[begin - 1] == '@') return begin - 1;
  return begin < at && IsAsciiLetter(line[begin]) ? begin : at;
}

std::vector<std::string> UnknownNameHints(std::string_view line, std::size_t at) {
  if (auto hint = MissingAtHint(line)) return {*hint};
  if (auto hint = ExponentHint(line, at)) return {*hint};
  std::vector<std::string> hints;
  if (auto hint = StrayByteHint(line, at)) {
    hints.push_back(*hint);
  } else {
    const std::string name = UpperCase(line.substr(at, NameEnd(line, at) - at));
    for (const Alias& alias : Aliases) {
      if (alias.name == name) hints.emplace_back(alias.hint);
    }
  }
  hints.emplace_back(BuiltInNamesHint);
  return hints;
}

}  // namespace

std::vector<std::string> StopHints(std::string_view line, const exprcalc_diagnosis& d) {
  const std::size_t at = d.read;
  if (at >= line.size()) return {};
  switch (d.stop) {
    case EXPRCALC_STOP_UNKNOWN_NAME:
      return UnknownNameHints(line, at);
    case EXPRCALC_STOP_UNKNOWN_VARIABLE:
      if (auto hint = StrayByteHint(line, at)) return {*hint};
      return {};
    case EXPRCALC_STOP_UNREADABLE_BYTE: {
      if (auto hint = CharacterHint(line.substr(at))) return {*hint};
      const std::size_t nameAt = NameBefore(line, at);
      if (nameAt < at) {
        if (auto hint = StrayByteHint(line, nameAt)) return {*hint};
      }
      return {};
    }
    default:
      return {};
  }
}

std::vector<std::string> EvaluationHints(std::string_view line, const exprcalc_diagnosis& d) {
  constexpr std::string_view Operators = "+-*/%^";
  if (d.code != EXPRCALC_MALFORMED || d.at >= line.size() || (line[d.at] != '-' && line[d.at] != '+')) return {};
  std::size_t before = d.at;
  while (before > 0 && IsWhiteSpace(line[before - 1])) --before;
  if (before == 0 || Operators.find(line[before - 1]) == std::string_view::npos) return {};
  return {"a sign after an operator needs parentheses: 2*(-3), not 2*-3"};
}

std::string UnreadNameHint(std::string_view name, std::size_t readLength) {
  return "names hold only letters and digits: " + ShownShort(name, MaxEchoedNameBytes) + " reads as " +
         ShownShort(name.substr(0, readLength), MaxEchoedNameBytes);
}

std::string SessionCommandHint() {
  return "start the session with exprcalc alone on a terminal, or with exprcalc -i on a pipe";
}

}  // namespace calculator
