// The fifteen built-in names in one table: the name, the token the tokenizer
// writes for it, and for a function the maths the reducer applies to its
// operand with the test of the operand's domain. The tokenizer, the priority
// tables and the reducer all read this table and nothing else.
#pragma once

#include <math.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <string_view>
#include <type_traits>

#include "language/Arithmetic.h"
#include "language/HostKinds.h"
#include "language/ResultCode.h"
#include "language/Token.h"

namespace exprcalc {

inline constexpr double Pi = std::numbers::pi;
static_assert(Pi == 3.141592653589793, "PAI and the degree conversions use the double nearest to pi");

struct BuiltIn {
  std::string_view name;
  TokenKind kind;                       // a function kind, or kind::Number for a constant
  double (*maths)(double) noexcept;     // a function's value; null for a constant
  ResultCode (*domain)(double) noexcept;  // Ok for an operand in the domain; null: every operand is
  double constant = 0.0;                // a constant's value
};

namespace builtin {

// The maths of each function, named so that the prepared runners call them
// directly. Each computation is written in the order that defines its rounding.
inline double Sine(double y) noexcept { return std::sin(y); }
inline double Cosine(double y) noexcept { return std::cos(y); }
inline double Tangent(double y) noexcept { return std::tan(y); }
inline double SquareRoot(double y) noexcept { return std::sqrt(y); }  // SQR and SQRT alike
inline double Absolute(double y) noexcept { return std::fabs(y); }
inline double Degrees(double y) noexcept { return (180.0 * y) / Pi; }
inline double Radians(double y) noexcept { return (Pi * y) / 180.0; }
inline double Logarithm(double y) noexcept { return std::log(y); }
inline double Logarithm10(double y) noexcept { return std::log10(y); }
inline double Exponential(double y) noexcept { return std::exp(y); }
inline double ArcCosine(double y) noexcept { return std::acos(y); }
inline double ArcSine(double y) noexcept { return std::asin(y); }
inline double ArcTangent(double y) noexcept { return std::atan(y); }  // defined for every number

// The C library's function that a built-in is, for callers that call it
// directly (SIN is sin); null for those that compute more (DEG, RAD).
using LibraryFunction = double (*)(double);
inline LibraryFunction LibraryFunctionOf(TokenKind k) noexcept {
  switch (k) {
    case 'S': return &::sin;
    case 'C': return &::cos;
    case 'T': return &::tan;
    case 'Q': return &::sqrt;
    case 'A': return &::fabs;
    case 'L': return &::log;
    case 'M': return &::log10;
    case 'N': return &::exp;
    case 'X': return &::acos;
    case 'Y': return &::asin;
    case 'Z': return &::atan;
    default: return nullptr;
  }
}

}  // namespace builtin

inline constexpr BuiltIn BuiltIns[] = {
    {"SIN", 'S', builtin::Sine, nullptr},
    {"COS", 'C', builtin::Cosine, nullptr},
    {"TAN", 'T', builtin::Tangent, nullptr},
    {"SQR", 'Q', builtin::SquareRoot, nullptr},
    {"SQRT", 'Q', builtin::SquareRoot, nullptr},
    {"ABS", 'A', builtin::Absolute, nullptr},
    {"PAI", kind::Number, nullptr, nullptr, Pi},
    {"DEG", 'D', builtin::Degrees, nullptr},
    {"RAD", 'R', builtin::Radians, nullptr},
    {"LOG", 'L', builtin::Logarithm, builtin::LogarithmDomain},
    {"LOG10", 'M', builtin::Logarithm10, builtin::LogarithmDomain},
    {"EXP", 'N', builtin::Exponential, nullptr},
    {"ACOS", 'X', builtin::ArcCosine, builtin::UnitInterval},
    {"ASIN", 'Y', builtin::ArcSine, builtin::UnitInterval},
    {"ATAN", 'Z', builtin::ArcTangent, nullptr},
};

// A function as a type, its maths and domain test known at compile time.
// (A test for every operand rather than a null one: comparing function
// pointers is not a constant expression under some sanitizers.)
inline ResultCode AnyNumber(double) noexcept { return Ok; }
template <double (*Maths)(double) noexcept, ResultCode (*Domain)(double) noexcept = AnyNumber>
struct KnownFunction {
  static double Value(double y) noexcept { return Maths(y); }
  static ResultCode Test(double y) noexcept { return Domain(y); }
};

// True for a function defined for every operand, whose test never fails.
template <typename Function>
struct InEveryDomain : std::false_type {};
template <double (*Maths)(double) noexcept>
struct InEveryDomain<KnownFunction<Maths, AnyNumber>> : std::true_type {};

// Calls apply with the function of kind k as a KnownFunction, so that the
// prepared runners inline its maths and test, where the reducer goes through
// the table's pointers. k must be a function kind.
template <typename Apply>
[[gnu::always_inline]] inline void WithFunction(TokenKind k, Apply&& apply) noexcept {
  using namespace builtin;
  switch (k) {
    case 'S': apply(KnownFunction<Sine>{}); return;
    case 'C': apply(KnownFunction<Cosine>{}); return;
    case 'T': apply(KnownFunction<Tangent>{}); return;
    case 'Q': apply(KnownFunction<SquareRoot>{}); return;
    case 'A': apply(KnownFunction<Absolute>{}); return;
    case 'D': apply(KnownFunction<Degrees>{}); return;
    case 'R': apply(KnownFunction<Radians>{}); return;
    case 'L': apply(KnownFunction<Logarithm, LogarithmDomain>{}); return;
    case 'M': apply(KnownFunction<Logarithm10, LogarithmDomain>{}); return;
    case 'N': apply(KnownFunction<Exponential>{}); return;
    case 'X': apply(KnownFunction<ArcCosine, UnitInterval>{}); return;
    case 'Y': apply(KnownFunction<ArcSine, UnitInterval>{}); return;
    default: apply(KnownFunction<ArcTangent>{}); return;  // 'Z'
  }
}

inline constexpr std::size_t LongestBuiltInName = 5;

// The built-in function of each token kind, or null: the reducer's lookup.
inline constexpr std::array<const BuiltIn*, 256> FunctionOfKind = [] {
  std::array<const BuiltIn*, 256> functions{};
  for (const BuiltIn& builtIn : BuiltIns) {
    if (builtIn.kind != kind::Number) functions[builtIn.kind] = &builtIn;
  }
  return functions;
}();

// A sign or a built-in function (a function kind) applied to its operand y.
inline Outcome ApplyPrefix(TokenKind k, double y) noexcept {
  if (k == '-') return {Ok, Negated(y)};
  if (k == '+') return {Ok, y};
  const BuiltIn& function = *FunctionOfKind[k];
  if (function.domain != nullptr) {
    const ResultCode code = function.domain(y);
    if (code != Ok) return {code, 0.0};
  }
  return {Ok, function.maths(y)};
}

// The same as a plain table of flags, for the priority tables built at
// compile time (pointer comparisons are not constant under some sanitizers).
// The kinds of the host's functions (HostKinds.h) count as function
// kinds: the parse treats them as it treats the built-in ones.
inline constexpr std::array<bool, 256> FunctionKinds = [] {
  std::array<bool, 256> kinds{};
  for (const BuiltIn& builtIn : BuiltIns) kinds[builtIn.kind] = builtIn.kind != kind::Number;
  for (std::size_t k = FirstHostKind; k < kinds.size(); ++k) kinds[k] = true;
  return kinds;
}();

constexpr bool IsFunctionKind(TokenKind k) noexcept { return FunctionKinds[k]; }

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
    if (builtIn.name.empty() || builtIn.name.front() == '@') return false;
  }
  return true;
}(), "every built-in is named by 1 to 5 bytes that do not begin with @");

}  // namespace exprcalc
