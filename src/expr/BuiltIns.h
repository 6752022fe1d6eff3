// The fifteen built-in names in one table: the name, the token the tokenizer
// writes for it, and for a function the maths the reducer applies to its
// operand with the test of the operand's domain. The tokenizer, the priority
// tables and the reducer all read this table and nothing else.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <string_view>

#include "expr/ResultCode.h"
#include "expr/Token.h"

namespace exprcalc {

inline constexpr double Pi = std::numbers::pi;
static_assert(Pi == 3.141592653589793, "PAI and the degree conversions use the double nearest to pi");

// A divisor or logarithm argument of smaller magnitude counts as zero.
inline constexpr double ZeroThreshold = 5e-14;

struct BuiltIn {
  std::string_view name;
  TokenKind kind;                       // a function kind, or kind::Number for a constant
  double (*maths)(double) noexcept;     // a function's value; null for a constant
  ResultCode (*domain)(double) noexcept;  // Ok for an operand in the domain; null: every operand is
  double constant = 0.0;                // a constant's value
};

namespace builtin {

// Each computation is written in the order that defines its rounding.
inline double Abs(double y) noexcept { return std::fabs(y); }
inline double Cos(double y) noexcept { return std::cos(y); }
inline double Degrees(double y) noexcept { return (180.0 * y) / Pi; }
inline double Log(double y) noexcept { return std::log(y); }
inline double Log10(double y) noexcept { return std::log10(y); }
inline double Exp(double y) noexcept { return std::exp(y); }
inline double Sqrt(double y) noexcept { return std::sqrt(y); }
inline double Radians(double y) noexcept { return (Pi * y) / 180.0; }
inline double Sin(double y) noexcept { return std::sin(y); }
inline double Tan(double y) noexcept { return std::tan(y); }
inline double Acos(double y) noexcept { return std::acos(y); }
inline double Asin(double y) noexcept { return std::asin(y); }
inline double Atan(double y) noexcept { return std::atan(y); }

// The magnitude is tested before the sign, so a tiny negative operand is a
// domain error, not a negative logarithm.
inline ResultCode LogarithmDomain(double y) noexcept {
  if (std::fabs(y) < ZeroThreshold) return DomainError;
  return y < 0.0 ? NegativeLogarithm : Ok;
}
inline ResultCode UnitInterval(double y) noexcept { return std::fabs(y) > 1.0 ? DomainError : Ok; }

}  // namespace builtin

// ATAN has no domain test: the arc tangent is defined for every number.
inline constexpr BuiltIn BuiltIns[] = {
    {"SIN", 'S', builtin::Sin, nullptr},
    {"COS", 'C', builtin::Cos, nullptr},
    {"TAN", 'T', builtin::Tan, nullptr},
    {"SQR", 'Q', builtin::Sqrt, nullptr},
    {"SQRT", 'Q', builtin::Sqrt, nullptr},
    {"ABS", 'A', builtin::Abs, nullptr},
    {"PAI", kind::Number, nullptr, nullptr, Pi},
    {"DEG", 'D', builtin::Degrees, nullptr},
    {"RAD", 'R', builtin::Radians, nullptr},
    {"LOG", 'L', builtin::Log, builtin::LogarithmDomain},
    {"LOG10", 'M', builtin::Log10, builtin::LogarithmDomain},
    {"EXP", 'N', builtin::Exp, nullptr},
    {"ACOS", 'X', builtin::Acos, builtin::UnitInterval},
    {"ASIN", 'Y', builtin::Asin, builtin::UnitInterval},
    {"ATAN", 'Z', builtin::Atan, nullptr},
};

inline constexpr std::size_t LongestBuiltInName = 5;

// The built-in function of each token kind, or null: the reducer's lookup.
inline constexpr std::array<const BuiltIn*, 256> FunctionOfKind = [] {
  std::array<const BuiltIn*, 256> functions{};
  for (const BuiltIn& builtIn : BuiltIns) {
    if (builtIn.maths != nullptr) functions[builtIn.kind] = &builtIn;
  }
  return functions;
}();

constexpr bool IsFunctionKind(TokenKind k) noexcept { return FunctionOfKind[k] != nullptr; }

// A name of up to five bytes, upper-cased and packed into one integer with
// its length, so that matching the built-in names compares integers.
constexpr std::uint64_t PackName(std::string_view name) noexcept {
  std::uint64_t packed = name.size();
  for (char c : name) {
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    packed = (packed << 8) | static_cast<unsigned char>(upper);
  }
  return packed;
}

inline constexpr std::array<std::uint64_t, std::size(BuiltIns)> PackedBuiltInNames = [] {
  std::array<std::uint64_t, std::size(BuiltIns)> packed{};
  for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = PackName(BuiltIns[i].name);
  return packed;
}();

// The built-in of a name in any case, or null for any other name. Variable
// names mostly begin with "@", which no built-in name does.
constexpr const BuiltIn* FindBuiltIn(std::string_view name) noexcept {
  if (name.size() > LongestBuiltInName || name.empty() || name.front() == '@') return nullptr;
  const std::uint64_t packed = PackName(name);
  for (std::size_t i = 0; i < PackedBuiltInNames.size(); ++i) {
    if (PackedBuiltInNames[i] == packed) return &BuiltIns[i];
  }
  return nullptr;
}

static_assert([] {
  for (const BuiltIn& builtIn : BuiltIns) {
    if (builtIn.name.size() > LongestBuiltInName) return false;
    if ((builtIn.maths == nullptr) != (builtIn.kind == kind::Number)) return false;
    if (builtIn.name.empty() || builtIn.name.front() == '@') return false;
  }
  return true;
}(), "every built-in is a function with its own kind or a constant number, named by 1 to 5 bytes that do not begin with @");

}  // namespace exprcalc
