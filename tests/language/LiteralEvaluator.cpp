// The literal evaluator: tokenizer, operator-precedence parser and reducer as
// plain step lists (see LiteralEvaluator.h), trading every bit of speed for
// being easy to check line by line.
// Only the public header is used, so nothing of the library's evaluator leaks in.
#include "LiteralEvaluator.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

#include "exprcalc.h"

namespace exprcalc::literal {
namespace {

struct Token {
  unsigned char kind;
  double value;
  std::size_t offset;  // where the token begins; for the end: where reading stopped, or the length
};

constexpr double Pi = std::numbers::pi;
constexpr double ZeroThreshold = 5e-14;
constexpr std::size_t SignificantNameBytes = 31;
constexpr int Malformed = 32768;

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------- tokenizer

struct BuiltIn {
  const char* name;
  unsigned char kind;
};

constexpr BuiltIn BuiltIns[] = {
    {"SIN", 'S'},  {"COS", 'C'},  {"TAN", 'T'},   {"SQR", 'Q'}, {"SQRT", 'Q'},
    {"ABS", 'A'},  {"PAI", 'i'},  {"DEG", 'D'},   {"RAD", 'R'}, {"LOG", 'L'},
    {"LOG10", 'M'}, {"EXP", 'N'}, {"ACOS", 'X'},  {"ASIN", 'Y'}, {"ATAN", 'Z'},
};

// A decimal numeral with a point, converted as a whole. When it is out of
// range the conversion leaves the value untouched, so the overflow (a non-zero
// integer digit) and the underflow are told apart here.
double ConvertDecimalText(const std::string& numberText) {
  double value = 0.0;
  const char* first = numberText.data();
  const char* last = first + numberText.size();
  const std::from_chars_result read = std::from_chars(first, last, value, std::chars_format::fixed);
  assert(read.ec != std::errc::invalid_argument);
  if (read.ec == std::errc::result_out_of_range) {
    bool integerPartNonZero = false;
    for (const char* p = first; p != last && *p != '.'; ++p) {
      if (*p != '0') integerPartNonZero = true;
    }
    value = integerPartNonZero ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

class Tokenizer {
 public:
  Tokenizer(const char* text, std::size_t length) : text_(text), length_(length), tokens_(2 * length) {
    for (Token& token : tokens_) std::memset(&token, 0, sizeof token);
  }

  std::vector<Token> Run() {
    bool stopped = false;
    while (!stopped && pos_ < length_) {
      start_ = pos_;
      const unsigned char c = Byte(pos_);
      if (IsLetter(c) || c == '@') {
        stopped = !CollectName();
      } else if (c == '\t' || c == ' ') {
        ++pos_;
      } else if (c == '\r' || c == '\n' || c == '=') {
        Write('$', 0.0);
        stopped = true;
      } else if (std::strchr("%()*+-/^", c) != nullptr && c != 0) {
        Write(c, 0.0);
        ++pos_;
      } else if (IsDigit(c) || c == '.' || c == ':') {
        stopped = !ReadNumber();
        if (stopped && pos_ >= length_) start_ = length_;  // the number ran to the end
      } else {
        stopped = true;
      }
    }
    // The end stands where the token that stopped reading began.
    if (!stopped) start_ = length_;
    if (tokenCount_ >= 1 && tokens_[tokenCount_ - 1].kind != '$') Write('$', 0.0);
    return std::move(tokens_);
  }

 private:
  // The byte at a position; the position of the length is the terminating NUL.
  unsigned char Byte(std::size_t at) const { return static_cast<unsigned char>(text_[at]); }

  void Write(unsigned char kind, double value) {
    assert(tokenCount_ < tokens_.size());
    tokens_[tokenCount_].kind = kind;
    tokens_[tokenCount_].value = value;
    tokens_[tokenCount_].offset = start_;
    ++tokenCount_;
  }

  // Returns false when the scan stops (a name that is no variable).
  bool CollectName() {
    nameText_.clear();
    nameText_ += static_cast<char>(Byte(pos_));
    ++pos_;
    while (pos_ < length_ && (IsLetter(Byte(pos_)) || IsDigit(Byte(pos_)))) {
      nameText_ += static_cast<char>(Byte(pos_));
      ++pos_;
    }
    for (char& c : nameText_) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const BuiltIn& builtIn : BuiltIns) {
      if (nameText_ == builtIn.name) {
        Write(builtIn.kind, builtIn.kind == 'i' ? Pi : 0.0);
        nameText_.clear();
        return true;
      }
    }
    const std::string key = nameText_.substr(0, SignificantNameBytes);
    int type = 0;
    const int index = GetIndexByKey(key.c_str(), &type);
    if (index < 0) return false;
    if (type == EXPRCALC_TYPE_NUMBER) {
      double number = 0.0;
      VarDouble(index, &number);
      Write('i', number);
    } else {
      Write('i', 0.0);
    }
    nameText_.clear();
    return true;
  }

  // Returns false when the scan stops (a dropped number, or the end of the text).
  bool ReadNumber() {
    const unsigned char first = Byte(pos_);
    if (IsDigit(first)) {
      numberValue_ = first - '0';
      inFraction_ = false;
      colonCount_ = 0;
      numberText_ = std::string(1, static_cast<char>(first));
    } else if (first == '.') {
      numberValue_ = 0.0;
      inFraction_ = true;
      placeFactor_ = 1.0;
      numberText_ = "0.";
      colonCount_ = 0;
    } else {
      numberValue_ = 0.0;
      placeFactor_ = 1.0 / 60.0;
      colonCount_ = 1;
      colonPart_ = 0.0;
    }
    ++pos_;
    for (;;) {
      const unsigned char d = Byte(pos_);
      if (IsDigit(d)) {
        const double k = d - '0';
        if (colonCount_ > 0) {
          colonPart_ = colonPart_ * 10 + k * placeFactor_;
        } else if (!inFraction_) {
          numberValue_ = numberValue_ * 10 + k;
          numberText_ += static_cast<char>(d);
        } else {
          placeFactor_ = placeFactor_ / 10;
          numberValue_ = numberValue_ + k * placeFactor_;
          numberText_ += static_cast<char>(d);
        }
      } else if (d == ',') {
        if (inFraction_ || colonCount_ > 0) return false;
      } else if (d == '.') {
        if (inFraction_ || colonCount_ > 0) return false;
        placeFactor_ = 1.0;
        inFraction_ = true;
        numberText_ += '.';
      } else if (d == ':') {
        if (colonCount_ == 0) {
          placeFactor_ = 1.0 / 60.0;
          colonCount_ = 1;
          colonPart_ = 0.0;
          numberText_.clear();
        } else if (colonCount_ == 1) {
          numberValue_ = numberValue_ + colonPart_;
          colonCount_ = 2;
          placeFactor_ = placeFactor_ / 60;
          colonPart_ = 0.0;
        } else {
          return false;
        }
      } else if (d == 0 && pos_ == length_) {
        FinishNumber();
        return false;
      } else {
        FinishNumber();
        return true;
      }
      ++pos_;
    }
  }

  void FinishNumber() {
    if (colonCount_ > 0) {
      numberValue_ = numberValue_ + colonPart_;
    } else if (inFraction_) {
      numberValue_ = ConvertDecimalText(numberText_);
    }
    numberText_.clear();
    Write('i', numberValue_);
    placeFactor_ = 1.0;
  }

  const char* text_;
  std::size_t length_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::size_t start_ = 0;  // where the token being read began
  std::size_t tokenCount_ = 0;
  std::string nameText_;
  std::string numberText_;
  double numberValue_ = 0.0;
  bool inFraction_ = false;
  int colonCount_ = 0;
  double placeFactor_ = 1.0;
  double colonPart_ = 0.0;
};

// ---------------------------------------------------------------- priorities

bool IsFunctionKind(unsigned char kind) { return kind != 0 && std::strchr("ACDLMNQRSTXYZ", kind) != nullptr; }

int StackPriority(unsigned char kind) {
  switch (kind) {
    case '$': return 0;
    case '(': return 0;
    case ')': return 11;
    case 'i': return 11;
    case '+': case '-': return 2;
    case '*': case '/': case '%': return 4;
    case '^': return 5;
    default: return IsFunctionKind(kind) ? 5 : -1;
  }
}

int InputPriority(unsigned char kind) {
  switch (kind) {
    case '$': return 0;
    case '(': return 10;
    case ')': return 0;
    case 'i': return 10;
    case '+': case '-': return 1;
    case '*': case '/': case '%': return 3;
    case '^': return 6;
    default: return IsFunctionKind(kind) ? 6 : -1;
  }
}

// ---------------------------------------------------------------- reducer

bool FitsInt32(double truncated) { return truncated >= -2147483648.0 && truncated <= 2147483647.0; }

Outcome Remainder(double a, double b) {
  const double divisor = std::trunc(b);
  if (divisor == 0.0) return {1, 0.0};
  const double dividend = std::trunc(a);
  if (FitsInt32(dividend) && FitsInt32(divisor)) {
    // In 64 bits the smallest 32-bit dividend over -1 is an ordinary division.
    const std::int64_t rem = static_cast<std::int64_t>(dividend) % static_cast<std::int64_t>(divisor);
    return {0, static_cast<double>(static_cast<std::int32_t>(rem))};
  }
  if (std::isnan(a) || std::isnan(b) || std::isinf(a)) return {0, std::numeric_limits<double>::quiet_NaN()};
  return {0, std::fmod(dividend, divisor)};
}

// A sum or product that is NaN is its first NaN operand's, quieted (the
// instruction may give either operand's); else the instruction's own NaN.
double FirstNaN(double a, double b, double result) {
  constexpr std::uint64_t Quiet = 0x0008000000000000;
  if (!std::isnan(result)) return result;
  if (std::isnan(a)) return std::bit_cast<double>(std::bit_cast<std::uint64_t>(a) | Quiet);
  if (std::isnan(b)) return std::bit_cast<double>(std::bit_cast<std::uint64_t>(b) | Quiet);
  return result;
}

// The value of "E" op "E", or a failing code; code -1 when op is no operator.
Outcome Infix(double a, unsigned char op, double b) {
  switch (op) {
    case '+': return {0, FirstNaN(a, b, a + b)};
    case '-': return {0, a - b};
    case '*': return {0, FirstNaN(a, b, a * b)};
    case '/':
      if (std::fabs(b) < ZeroThreshold) return {1, 0.0};
      return {0, a / b};
    case '%': return Remainder(a, b);
    case '^':
      if (a == 0.0 && b < 0.0) return {2, 0.0};
      return {0, std::pow(a, b)};
    default: return {-1, 0.0};
  }
}

Outcome Logarithm(double y, double (*function)(double)) {
  if (std::fabs(y) < ZeroThreshold) return {2, 0.0};
  if (y < 0.0) return {3, 0.0};
  return {0, function(y)};
}

Outcome ArcFunction(double y, double (*function)(double)) {
  if (std::fabs(y) > 1.0) return {2, 0.0};
  return {0, function(y)};
}

// The sign's factor, read at run time so that the product is a multiply
// (a compiler writes y * -1.0 as a flip of the sign bit, NaN included).
volatile double SignFactor = -1.0;

// The rule for a function kind or a sign followed by "E"; code -1 when none.
Outcome Prefix(unsigned char kind, double y) {
  switch (kind) {
    case '-': return {0, y * SignFactor};
    case '+': return {0, y};
    case 'A': return {0, std::fabs(y)};
    case 'C': return {0, std::cos(y)};
    case 'D': return {0, (180.0 * y) / Pi};
    case 'L': return Logarithm(y, [](double v) { return std::log(v); });
    case 'M': return Logarithm(y, [](double v) { return std::log10(v); });
    case 'N': return {0, std::exp(y)};
    case 'Q': return {0, std::sqrt(y)};
    case 'R': return {0, (Pi * y) / 180.0};
    case 'S': return {0, std::sin(y)};
    case 'T': return {0, std::tan(y)};
    case 'X': return ArcFunction(y, [](double v) { return std::acos(v); });
    case 'Y': return ArcFunction(y, [](double v) { return std::asin(v); });
    case 'Z': return {0, std::atan(y)};
    default: return {-1, 0.0};
  }
}

// Folds the handle from start; a failing rule's operator or function goes to failedAt.
int Reduce(int start, int& depth, std::vector<Token>& stack, std::size_t& failedAt) {
  int pos = start;
  int out = start;
  int code = 0;
  if (start >= depth) {
    depth = start;
    return 0;
  }
  const int depthOnEntry = depth;
  while (pos < depthOnEntry) {
    assert(static_cast<std::size_t>(pos) + 2 < stack.size());
    const Token e0 = stack[static_cast<std::size_t>(pos)];
    const Token e1 = stack[static_cast<std::size_t>(pos) + 1];
    const Token e2 = stack[static_cast<std::size_t>(pos) + 2];
    Outcome rule{-1, 0.0};
    int length = 0;
    std::size_t ruleAt = e0.offset;
    if (e0.kind == 'i' && pos == depthOnEntry - 1) {
      rule = {0, e0.value};
      length = 1;
    } else if (e1.kind == 'E' && (rule = Prefix(e0.kind, e1.value)).code != -1) {
      length = 2;
    } else if (e0.kind == '(' && e1.kind == 'E' && e2.kind == ')') {
      rule = {0, e1.value};
      length = 3;
    } else if (e0.kind == 'E' && e2.kind == 'E' && (rule = Infix(e0.value, e1.kind, e2.value)).code != -1) {
      length = 3;
      ruleAt = e1.offset;
    }
    if (length == 0) {
      code = Malformed;
      break;
    }
    if (rule.code != 0) {
      code = rule.code;
      failedAt = ruleAt;
      break;
    }
    stack[static_cast<std::size_t>(out)] = {'E', rule.value, e0.offset};
    for (int consumed = pos; consumed < pos + length; ++consumed) {
      if (consumed != out) stack[static_cast<std::size_t>(consumed)].kind = 0;
    }
    out += 1;
    pos += length;
  }
  depth = out;
  return code;
}

// ---------------------------------------------------------------- parser

// Scans upward from entry 0 to the first empty entry and keeps the last entry
// passed that is not "E".
std::size_t TopTerminal(const std::vector<Token>& stack) {
  std::size_t top = 0;
  for (std::size_t at = 0; at < stack.size() && stack[at].kind != 0; ++at) {
    if (stack[at].kind != 'E') top = at;
  }
  return top;
}

std::size_t NearestTerminalBelow(const std::vector<Token>& stack, std::size_t x) {
  std::size_t lower = x - 1;
  while (lower > 0 && stack[lower].kind == 'E') --lower;
  return lower;
}

// Where a malformed text broke: at the token that completed a handle no rule
// matches. A ")" or an operand completes its handle as it arrives, and so
// does the last token when the text ends; any other handle is completed by
// the token that arrives after it.
std::size_t BreakingToken(const Token& top, const Token& arriving, std::size_t length) {
  return top.kind == ')' || top.kind == 'i' || arriving.offset >= length ? top.offset : arriving.offset;
}

// A "(" left open loses what follows it unless the value is the operand
// above it: so when an operand stands below it, or none at all.
void FindUnclosed(const std::vector<Token>& stack, int depth, Places& places) {
  bool operandBelow = false;
  for (int i = 0; i < depth; ++i) {
    const Token& entry = stack[static_cast<std::size_t>(i)];
    if (entry.kind == 'E') operandBelow = true;
    if (entry.kind != '(') continue;
    bool operandAbove = false;
    for (int k = i + 1; k < depth; ++k) operandAbove = operandAbove || stack[static_cast<std::size_t>(k)].kind == 'E';
    if (operandBelow || !operandAbove) {
      places.unclosed = true;
      places.unclosedAt = entry.offset;
      return;
    }
  }
}

Outcome Failed(int code, std::size_t at, Places* places) {
  if (places != nullptr) places->at = at;
  return {code, 0.0};
}

}  // namespace

Outcome EvaluateLiterally(const char* text, Places* places) {
  if (places != nullptr) *places = Places{};
  if (text == nullptr) return {0, 0.0};
  const std::size_t length = std::strlen(text);
  if (length < 1) return {0, 0.0};

  const std::vector<Token> tokens = Tokenizer(text, length).Run();
  std::vector<Token> stack(2 * length + 16);
  for (Token& entry : stack) std::memset(&entry, 0, sizeof entry);
  stack[0] = {'$', 0.0, 0};
  int depth = 1;
  std::size_t cursor = 0;

  for (;;) {
    const unsigned char top = stack[TopTerminal(stack)].kind;
    const unsigned char in = cursor < tokens.size() ? tokens[cursor].kind : 0;
    if (top == '$' && in == '$') break;
    const int sp = StackPriority(top);
    const int ip = InputPriority(in);
    if (sp < 0 || ip < 0) break;
    if (sp <= ip) {
      assert(static_cast<std::size_t>(depth) < stack.size());
      stack[static_cast<std::size_t>(depth)] = tokens[cursor];
      ++depth;
      ++cursor;
      continue;
    }
    std::size_t x = TopTerminal(stack);
    for (;;) {
      const std::size_t lower = NearestTerminalBelow(stack, x);
      if (StackPriority(stack[lower].kind) < InputPriority(stack[x].kind)) {
        std::size_t failedAt = 0;
        const std::size_t broke = BreakingToken(stack[TopTerminal(stack)], tokens[cursor], length);
        const int code = Reduce(static_cast<int>(lower) + 1, depth, stack, failedAt);
        if (code != 0) return Failed(code, code == Malformed ? broke : failedAt, places);
        break;
      }
      if (lower == 0) {
        return Failed(Malformed, BreakingToken(stack[TopTerminal(stack)], tokens[cursor], length), places);
      }
      x = lower;
    }
  }

  if (places != nullptr) FindUnclosed(stack, depth, *places);
  bool unapplied = false;
  for (int at = 1; at < depth; ++at) {
    const unsigned char entry = stack[static_cast<std::size_t>(at)].kind;
    if (entry == 'E') return {0, stack[static_cast<std::size_t>(at)].value, unapplied};
    unapplied = unapplied || (entry != '(' && entry != '+');
  }
  return {0, 0.0};
}

}  // namespace exprcalc::literal
