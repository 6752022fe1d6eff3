// Recursive descent over a character pointer: one routine per priority
// level, numbers read in place (fractions with std::from_chars, as the
// library does), functions resolved by a short name table and variables by a
// linear search of the corpus variables.
#include "ReferenceEvaluator.h"

#include <charconv>
#include <cmath>
#include <numbers>

#include "Corpus.h"

namespace exprcalc::bench {
namespace {

using Function = double (*)(double);

struct NamedFunction {
  std::string_view name;
  Function function;
};

const NamedFunction Functions[] = {
    {"SIN", [](double x) { return std::sin(x); }},   {"COS", [](double x) { return std::cos(x); }},
    {"TAN", [](double x) { return std::tan(x); }},   {"SQRT", [](double x) { return std::sqrt(x); }},
    {"SQR", [](double x) { return std::sqrt(x); }},  {"ABS", [](double x) { return std::fabs(x); }},
    {"EXP", [](double x) { return std::exp(x); }},   {"LOG", [](double x) { return std::log(x); }},
    {"LOG10", [](double x) { return std::log10(x); }},
    {"ASIN", [](double x) { return std::asin(x); }}, {"ACOS", [](double x) { return std::acos(x); }},
    {"ATAN", [](double x) { return std::atan(x); }},
    {"DEG", [](double x) { return (180.0 * x) / std::numbers::pi; }},
    {"RAD", [](double x) { return (std::numbers::pi * x) / 180.0; }},
};

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool IsLetter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

class Parser {
 public:
  explicit Parser(std::string_view text) noexcept : at_(text.data()), end_(text.data() + text.size()) {}

  std::optional<double> Whole() noexcept {
    double value = 0.0;
    if (!Sum(value)) return std::nullopt;
    if (Peek() != '\0') return std::nullopt;
    return value;
  }

 private:
  char Peek() noexcept {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\t')) ++at_;
    return at_ < end_ ? *at_ : '\0';
  }

  // sum := [sign] product {(+|-) product}
  bool Sum(double& value) noexcept {
    double sign = 1.0;
    if (Peek() == '-' || Peek() == '+') sign = (*at_++ == '-') ? -1.0 : 1.0;
    if (!Product(value)) return false;
    value *= sign;
    for (char op = Peek(); op == '+' || op == '-'; op = Peek()) {
      ++at_;
      double right = 0.0;
      if (!Product(right)) return false;
      value = op == '+' ? value + right : value - right;
    }
    return true;
  }

  // product := power {(*|/) power}
  bool Product(double& value) noexcept {
    if (!Power(value)) return false;
    for (char op = Peek(); op == '*' || op == '/'; op = Peek()) {
      ++at_;
      double right = 0.0;
      if (!Power(right)) return false;
      value = op == '*' ? value * right : value / right;
    }
    return true;
  }

  // power := primary [^ power]
  bool Power(double& value) noexcept {
    if (!Primary(value)) return false;
    if (Peek() != '^') return true;
    ++at_;
    double exponent = 0.0;
    if (!Power(exponent)) return false;
    value = std::pow(value, exponent);
    return true;
  }

  // primary := number | ( sum ) | function power
  bool Primary(double& value) noexcept {
    const char c = Peek();
    if (c == '(') {
      ++at_;
      if (!Sum(value) || Peek() != ')') return false;
      ++at_;
      return true;
    }
    if (IsDigit(c) || c == '.') return Number(value);
    if (IsLetter(c) || c == '@') return Call(value);
    return false;
  }

  bool Number(double& value) noexcept {
    const char* begin = at_;
    double whole = 0.0;
    while (at_ < end_ && IsDigit(*at_)) whole = whole * 10 + (*at_++ - '0');
    if (at_ == end_ || *at_ != '.') {
      value = whole;
      return true;
    }
    ++at_;
    while (at_ < end_ && IsDigit(*at_)) ++at_;
    if (at_ - begin == 1) {  // "." alone
      value = 0.0;
      return true;
    }
    // A leading "." is fine for from_chars; the numeral is converted as a whole.
    return std::from_chars(begin, at_, value, std::chars_format::fixed).ec == std::errc{};
  }

  bool Call(double& value) noexcept {
    char name[32];
    std::size_t length = 0;
    name[length++] = Upper(*at_++);  // a letter or "@"
    while (at_ < end_ && (IsLetter(*at_) || IsDigit(*at_))) {
      if (length == sizeof name) return false;
      name[length++] = Upper(*at_++);
    }
    const std::string_view key(name, length);
    if (key == "PAI") {
      value = std::numbers::pi;
      return true;
    }
    for (const NamedFunction& entry : Functions) {
      if (entry.name != key) continue;
      if (!Power(value)) return false;
      value = entry.function(value);
      return true;
    }
    for (const CorpusVariable& variable : CorpusVariables()) {
      if (variable.name != key) continue;
      value = variable.value;
      return true;
    }
    return false;
  }

  const char* at_;
  const char* end_;
};

}  // namespace

std::optional<double> ReferenceEvaluate(std::string_view text) noexcept { return Parser(text).Whole(); }

}  // namespace exprcalc::bench
