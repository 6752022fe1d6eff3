// Tokenizer: the byte classes of the main scan, names (built-in or variable),
// and numbers with grouping commas, a decimal point or degrees:minutes:seconds.
#include "expr/Tokenizer.h"

#include <charconv>
#include <limits>

#include "variables/Memory.h"
#include "variables/SingleByteText.h"

namespace exprcalc {
namespace {

constexpr double Pi = 3.141592653589793;
constexpr double MinutesFactor = 1.0 / 60.0;

struct BuiltIn {
  std::string_view name;
  Token token;
};

constexpr BuiltIn BuiltIns[] = {
    {"SIN", {'S', 0.0}},  {"COS", {'C', 0.0}},  {"TAN", {'T', 0.0}},   {"SQR", {'Q', 0.0}},
    {"SQRT", {'Q', 0.0}}, {"ABS", {'A', 0.0}},  {"PAI", {kind::Number, Pi}}, {"DEG", {'D', 0.0}},
    {"RAD", {'R', 0.0}},  {"LOG", {'L', 0.0}},  {"LOG10", {'M', 0.0}},  {"EXP", {'N', 0.0}},
    {"ACOS", {'X', 0.0}}, {"ASIN", {'Y', 0.0}}, {"ATAN", {'Z', 0.0}},
};
constexpr std::size_t LongestBuiltIn = 5;

bool IsOperatorOrParenthesis(unsigned char c) noexcept {
  return c == '%' || c == '(' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/' || c == '^';
}

// A fraction's digits, compacted when grouping commas must be left out. Short
// numerals stay in the inline buffer; longer ones take a heap block.
class DigitBuffer {
 public:
  DigitBuffer() = default;
  DigitBuffer(const DigitBuffer&) = delete;
  DigitBuffer& operator=(const DigitBuffer&) = delete;
  ~DigitBuffer() { Release(heap_); }

  char* Reserve(std::size_t size) noexcept {
    if (size <= sizeof inline_) return inline_;
    heap_ = static_cast<char*>(Allocate(size));
    return heap_;
  }

 private:
  char inline_[320];
  char* heap_ = nullptr;
};

}  // namespace

Token TokenReader::Emit(Token token) noexcept {
  ++tokenCount_;
  lastKind_ = token.kind;
  return token;
}

Token TokenReader::Next() noexcept {
  if (finished_) return {};
  while (position_ < text_.size()) {
    const unsigned char c = static_cast<unsigned char>(text_[position_]);
    Token token;
    Scan scan = Scan::Stop;
    if (IsLetter(c) || c == '@') {
      scan = ReadName(token);
    } else if (c == ' ' || c == '\t') {
      ++position_;
      continue;
    } else if (c == '\r' || c == '\n' || c == '=') {
      finished_ = true;
      return Emit({kind::End, 0.0});
    } else if (IsOperatorOrParenthesis(c)) {
      ++position_;
      return Emit({c, 0.0});
    } else if (IsDigit(c) || c == '.' || c == ':') {
      scan = ReadNumber(token);
    }
    if (scan == Scan::Token) return Emit(token);
    if (scan == Scan::Stop) break;
  }
  finished_ = true;
  if (tokenCount_ >= 1 && lastKind_ != kind::End) return Emit({kind::End, 0.0});
  return {};
}

TokenReader::Scan TokenReader::ReadName(Token& token) noexcept {
  const std::size_t begin = position_++;
  while (IsLetter(At(position_)) || IsDigit(At(position_))) ++position_;
  const std::string_view name = text_.substr(begin, position_ - begin);

  if (name.size() <= LongestBuiltIn) {
    char upper[LongestBuiltIn];
    for (std::size_t i = 0; i < name.size(); ++i) upper[i] = UpperCase(name[i]);
    const std::string_view key(upper, name.size());
    for (const BuiltIn& builtIn : BuiltIns) {
      if (builtIn.name == key) {
        token = builtIn.token;
        return Scan::Token;
      }
    }
  }
  int type = 0;
  const int index = table_.IndexByKey(name, type);
  if (index < 0) return Scan::Stop;
  double value = 0.0;
  if (type == 'd') table_.DoubleAt(index, value);  // a text variable reads as 0
  token = {kind::Number, value};
  return Scan::Token;
}

TokenReader::Scan TokenReader::ReadNumber(Token& token) noexcept {
  const std::size_t begin = position_;
  const unsigned char first = At(position_++);
  double numberValue = 0.0;
  double placeFactor = 1.0;
  double colonPart = 0.0;
  bool inFraction = false;
  bool grouped = false;
  int colonCount = 0;
  if (IsDigit(first)) {
    numberValue = first - '0';
  } else if (first == '.') {
    inFraction = true;
  } else {  // ':'
    placeFactor = MinutesFactor;
    colonCount = 1;
  }

  for (;; ++position_) {
    const unsigned char d = At(position_);  // 0 at the end of the text
    if (IsDigit(d)) {
      const int k = d - '0';
      if (colonCount > 0) {
        colonPart = colonPart * 10 + k * placeFactor;
      } else if (!inFraction) {
        numberValue = numberValue * 10 + k;
      } else {
        placeFactor = placeFactor / 10;
        numberValue = numberValue + k * placeFactor;
      }
    } else if (d == ',') {
      if (inFraction || colonCount > 0) return Scan::Stop;
      grouped = true;
    } else if (d == '.') {
      if (inFraction || colonCount > 0) return Scan::Stop;
      placeFactor = 1.0;
      inFraction = true;
    } else if (d == ':') {
      if (colonCount == 2) return Scan::Stop;
      if (colonCount == 0) {
        placeFactor = MinutesFactor;
      } else {
        numberValue = numberValue + colonPart;
        placeFactor = placeFactor / 60;
      }
      ++colonCount;
      colonPart = 0.0;
    } else {
      break;  // the number is finished; this byte is not consumed
    }
  }

  if (colonCount > 0) {
    numberValue = numberValue + colonPart;
  } else if (inFraction) {
    numberValue = ConvertFraction(begin, position_, grouped);
    if (outOfMemory_) return Scan::Stop;
  }
  token = {kind::Number, numberValue};
  return Scan::Token;
}

// The numeral's digits, decimal point and fraction converted as a whole to
// the nearest double; "." is the decimal point whatever the locale.
double TokenReader::ConvertFraction(std::size_t begin, std::size_t end, bool grouped) noexcept {
  std::string_view numeral = text_.substr(begin, end - begin);
  DigitBuffer buffer;
  if (grouped) {
    char* compact = buffer.Reserve(numeral.size());
    if (compact == nullptr) {
      outOfMemory_ = true;
      return 0.0;
    }
    std::size_t length = 0;
    for (char c : numeral) {
      if (c != ',') compact[length++] = c;
    }
    numeral = {compact, length};
  }
  if (numeral == ".") return 0.0;  // "." alone reads as "0."
  double value = 0.0;
  const auto [end_, error] = std::from_chars(numeral.data(), numeral.data() + numeral.size(), value,
                                             std::chars_format::fixed);
  (void)end_;
  if (error == std::errc::result_out_of_range) {
    // Too large only when the integer part holds a non-zero digit; otherwise too small.
    const std::string_view integerPart = numeral.substr(0, numeral.find('.'));
    value = integerPart.find_first_not_of('0') == std::string_view::npos ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return value;
}

std::size_t Tokenize(std::string_view text, const VariableTable& table, Token* tokens, std::size_t capacity) noexcept {
  TokenReader reader(text, table);
  std::size_t count = 0;
  while (count < capacity) {
    const Token token = reader.Next();
    if (token.kind == kind::None) break;
    tokens[count++] = token;
  }
  return count;
}

}  // namespace exprcalc
