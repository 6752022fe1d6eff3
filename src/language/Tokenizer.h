// The tokenizer: expression text in, tokens out. It never reports an error:
// whatever it cannot read ends the token sequence early, and the end marker
// closes any sequence that has at least one token. Names that are not built
// in are replaced by the current value of the numeric variable of that name.
// The rules of blanks and names live here and nowhere else: whoever needs to
// know where a token began or what a name stood for asks the reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/SingleByteText.h"
#include "language/Token.h"
#include "variables/VariableTable.h"

namespace exprcalc {

class NumberSource;

// Why the tokenizer stopped reading a text. It never reports an error: a
// stop only ends the token sequence early, and the reason is kept for the
// diagnostic calls.
enum class StopReason : unsigned char {
  EndOfText,        // every byte was read
  LineEnd,          // a CR, LF or "=" ends the expression
  UnknownVariable,  // a name beginning with "@" that is not stored
  UnknownName,      // any other name that is neither built in nor stored
  UnreadableByte,   // a byte outside every class of the scan
  SecondPoint,      // a second decimal point in a number
  CommaInFraction,  // a comma after a number's decimal point or colon
  PointAfterColon,  // a decimal point in a minutes or seconds field
  ThirdColon,       // a third colon in one number
  OutOfMemory,      // the digits of a long number could not be held
};

// The main scan's classes of a byte.
enum class ByteClass : unsigned char { Stop, Blank, Operator, End, NameStart, NumberStart };

namespace detail {
constexpr ByteClass ClassifyByte(unsigned char c) noexcept {
  if (c == ' ' || c == '\t') return ByteClass::Blank;
  if (c == '%' || c == '(' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/' || c == '^') {
    return ByteClass::Operator;
  }
  if (c == '\r' || c == '\n' || c == '=') return ByteClass::End;
  if (IsLetter(c) || c == '@') return ByteClass::NameStart;
  if (IsDigit(c) || c == '.' || c == ':') return ByteClass::NumberStart;
  return ByteClass::Stop;  // every other byte, 0x80-0xFF included
}

// Exact powers of ten: every one up to 1e22 is a double without rounding.
inline constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// Below 2^53: at most this many decimal digits always form an exact double.
inline constexpr std::size_t MostExactDigits = 15;

constexpr std::array<ByteClass, 256> ByteClasses = [] {
  std::array<ByteClass, 256> classes{};
  for (int c = 0; c < 256; ++c) classes[c] = ClassifyByte(static_cast<unsigned char>(c));
  return classes;
}();
}  // namespace detail

// After its first byte, a name goes on over letters and digits.
constexpr bool ContinuesName(unsigned char c) noexcept { return IsLetter(c) || IsDigit(c); }

// How many bytes a name takes at the start of text: a letter or "@", then
// letters and digits; 0 when no name begins there.
constexpr std::size_t NameLength(std::string_view text) noexcept {
  if (text.empty() || detail::ByteClasses[static_cast<unsigned char>(text.front())] != ByteClass::NameStart) return 0;
  std::size_t length = 1;
  while (length < text.size() && ContinuesName(static_cast<unsigned char>(text[length]))) ++length;
  return length;
}

// What a name token stood for; a token that is no name resolves to NotAName.
struct Resolution {
  enum class Kind : unsigned char { NotAName, BuiltIn, NumberRecord, TextRecord };
  Kind kind = Kind::NotAName;
  int record = -1;  // the variable's index in the table, for a record
};

// Reads the tokens of one text in order, one per Next(); after the last one
// (the end marker, or nothing at all) Next() gives kind 0 for ever. The text
// and the table must outlive the reader; the table is only read.
class TokenReader {
 public:
  // With source, the number variables read its numbers instead of their records.
  TokenReader(std::string_view text, const VariableTable& table, const NumberSource* source = nullptr) noexcept
      : text_(text), table_(table), source_(source) {}
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  // Blanks and operators, the most frequent bytes, are handled inline. A
  // reader whose tokens' places nobody asks for (Placing false) spares the
  // cost of keeping them: Place() and Resolved() then say nothing useful.
  template <bool Placing = true>
  Token Next() noexcept {
    while (position_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[position_]);
      switch (detail::ByteClasses[c]) {
        case ByteClass::Blank:
          ++position_;
          continue;
        case ByteClass::Operator:
          if constexpr (Placing) place_ = position_;
          ++position_;
          lastKind_ = c;
          return {c, 0.0};
        case ByteClass::NumberStart:
          if constexpr (Placing) place_ = position_;
          if (c >= '0' && c <= '9') return ReadPlainNumber(c);
          return ReadToken(c);
        default:
          place_ = position_;
          return ReadToken(c);
      }
    }
    if constexpr (Placing) place_ = position_;
    return Finish();
  }

  // The most frequent numbers, plain integers and plain decimals, read inline
  // with the same arithmetic as the general path: an integer digit by digit,
  // a decimal of at most 15 digits as its exact digits over an exact power of
  // ten. A number that goes on with a grouping comma, a second decimal point
  // or a colon, or a longer decimal, takes the general path.
  Token ReadPlainNumber(unsigned char first) noexcept {
    double whole = first - '0';
    std::uint64_t digits = first - '0';  // wraps harmlessly past 19 digits, unused then
    std::size_t digitCount = 1;
    std::size_t at = position_ + 1;
    for (; IsDigitAt(at); ++at, ++digitCount) {
      whole = whole * 10 + (text_[at] - '0');
      digits = digits * 10 + static_cast<unsigned>(text_[at] - '0');
    }
    unsigned char stop = At(at);
    double value = whole;
    if (stop == '.') {
      std::size_t fractionDigits = 0;
      for (++at; IsDigitAt(at); ++at, ++digitCount, ++fractionDigits) {
        digits = digits * 10 + static_cast<unsigned>(text_[at] - '0');
      }
      if (digitCount > detail::MostExactDigits) return ReadToken(first);
      stop = At(at);
      value = static_cast<double>(digits) / detail::ExactPowersOfTen[fractionDigits];
    }
    if (stop == ',' || stop == '.' || stop == ':') return ReadToken(first);
    position_ = at;
    lastKind_ = kind::Number;
    return {kind::Number, value};
  }

  // True when memory for a number's digits ran out; Next() then gives kind 0
  // for ever, so the parse stops at once.
  bool OutOfMemory() const noexcept { return stop_ == StopReason::OutOfMemory; }

  // Where the token that Next() gave last begins: its first byte. The end
  // marker begins at the byte that ended the expression (a line end, or the
  // one that stopped reading) or at the text's length; so does kind 0.
  std::size_t Place() const noexcept { return place_; }
  // What the token that Next() gave last stood for, when it was a name.
  Resolution Resolved() const noexcept {
    if (namePlace_ != place_) return {};
    if (nameKind_ == Resolution::Kind::BuiltIn) return {nameKind_, -1};
    return {nameKind_, table_.IndexOfSlot(nameSlot_)};
  }
  // The bytes of the token that Next() gave last, when it was neither the
  // end marker nor kind 0.
  std::string_view TokenText() const noexcept { return text_.substr(place_, position_ - place_); }
  // Why and where reading stopped, once Next() has given kind 0: the offset
  // of the byte that stopped it (the text's length at its end), and where the
  // token that it dropped began (the same offset unless a number was dropped).
  StopReason Stop() const noexcept { return stop_; }
  std::size_t StopOffset() const noexcept { return stopOffset_; }
  std::size_t DroppedTokenOffset() const noexcept { return droppedOffset_; }
  // The offset of the first variable read that holds a text (it reads as 0),
  // or the text's length when there was none.
  std::size_t FirstTextVariable() const noexcept { return firstTextVariable_; }

 private:
  enum class Scan { Token, Stop };
  Token ReadToken(unsigned char c) noexcept;
  // Records why reading stops at the current position; the token being read began at begin.
  Scan StopHere(StopReason reason, std::size_t begin) noexcept {
    stop_ = reason;
    stopOffset_ = position_;
    droppedOffset_ = begin;
    return Scan::Stop;
  }
  Scan ReadName(Token& token) noexcept;
  Scan ReadNumber(Token& token) noexcept;
  // A number being read: its value so far, the d:m:s field being read (its
  // digits' weight and value), and where its fraction began.
  struct NumberScan {
    double value = 0.0;
    double placeFactor = 1.0;
    double colonPart = 0.0;
    bool inFraction = false;
    bool grouped = false;
    int colonCount = 0;
    std::size_t fractionStart = 0;  // the first fraction digit, once inFraction is set
  };
  // Takes the separator at the current position (',' '.' or ':') into scan;
  // the reason reading stops there instead, if it does.
  std::optional<StopReason> TakeSeparator(unsigned char separator, NumberScan& scan) const noexcept;
  double ConvertFraction(std::size_t begin, std::size_t end, bool grouped) noexcept;
  double AddFractionDigits(double value, std::size_t first, std::size_t end) const noexcept;
  // Ends the scan: the end marker follows the last token unless it is one.
  Token Finish() noexcept {
    if (finished_) return {};
    finished_ = true;
    if (stop_ == StopReason::EndOfText) stopOffset_ = droppedOffset_ = text_.size();
    if (lastKind_ != kind::None && lastKind_ != kind::End) return {kind::End, 0.0};
    return {};
  }
  bool IsDigitAt(std::size_t position) const noexcept {
    return position < text_.size() && IsDigit(static_cast<unsigned char>(text_[position]));
  }
  unsigned char At(std::size_t position) const noexcept {
    return position < text_.size() ? static_cast<unsigned char>(text_[position]) : 0;
  }

  std::string_view text_;
  const VariableTable& table_;
  const NumberSource* source_;
  std::size_t position_ = 0;
  std::size_t place_ = 0;                                    // where the last token given out began
  std::size_t namePlace_ = static_cast<std::size_t>(-1);  // where the last name read began
  Resolution::Kind nameKind_ = Resolution::Kind::NotAName;   // what it stood for
  std::int32_t nameSlot_ = -1;                               // and its record's slot, for a variable
  TokenKind lastKind_ = kind::None;  // kind of the last token given out
  bool finished_ = false;
  StopReason stop_ = StopReason::EndOfText;
  std::size_t stopOffset_ = 0;
  std::size_t droppedOffset_ = 0;
  std::size_t firstTextVariable_ = static_cast<std::size_t>(-1);
};

}  // namespace exprcalc
