// Tokenizer: the byte classes of the main scan, names (built-in or variable),
// and numbers with grouping commas, a decimal point or degrees:minutes:seconds.
#include "language/Tokenizer.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "base/Memory.h"
#include "language/BuiltIns.h"
#include "language/NumberSource.h"
#include "variables/VariableRecord.h"
#include "base/SingleByteText.h"

namespace exprcalc {
namespace {

constexpr double MinutesFactor = 1.0 / 60.0;

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

Token TokenReader::ReadToken(unsigned char c) noexcept {
  Token token;
  Scan scan = Scan::Stop;
  switch (detail::ByteClasses[c]) {
    case ByteClass::NameStart:
      scan = ReadName(token);
      break;
    case ByteClass::NumberStart:
      scan = ReadNumber(token);
      break;
    case ByteClass::End:  // a line end or "=" ends the expression with the end marker
      StopHere(StopReason::LineEnd, position_);
      position_ = text_.size();
      lastKind_ = kind::End;
      return {kind::End, 0.0};
    default:
      scan = StopHere(StopReason::UnreadableByte, position_);
      break;
  }
  if (scan == Scan::Token) {
    lastKind_ = token.kind;
    return token;
  }
  position_ = text_.size();  // stop: nothing more is read
  if (stop_ == StopReason::OutOfMemory) finished_ = true;  // no end marker: the evaluation ends at once
  return Finish();
}

TokenReader::Scan TokenReader::ReadName(Token& token) noexcept {
  const std::size_t begin = position_;
  const std::string_view name = text_.substr(begin, NameLength(text_.substr(begin)));
  position_ += name.size();
  if (const BuiltIn* builtIn = FindBuiltIn(name)) {
    token = {builtIn->kind, builtIn->constant};
    namePlace_ = begin;
    nameKind_ = Resolution::Kind::BuiltIn;
    return Scan::Token;
  }

  int type = 0;
  double value = 0.0;
  const std::int32_t slot = table_.FindVariable(name, type, value);
  if (slot < 0) {
    // A function of the host's own reads as a built-in one does.
    if (table_.Functions().Count() != 0) {
      if (const TokenKind function = HostKind(table_.Functions(), NormaliseKey(name)); function != kind::None) {
        token = {function, 0.0};
        namePlace_ = begin;
        nameKind_ = Resolution::Kind::BuiltIn;
        return Scan::Token;
      }
    }
    position_ = begin;
    return StopHere(name.front() == '@' ? StopReason::UnknownVariable : StopReason::UnknownName, begin);
  }
  if (type != record::NumberType) {
    value = 0.0;  // a text variable reads as 0
    if (firstTextVariable_ > begin) firstTextVariable_ = begin;
  } else if (source_ != nullptr) {
    value = source_->Read(table_.IndexOfSlot(slot), value);  // a source goes by index
  }
  namePlace_ = begin;
  nameKind_ = type == record::NumberType ? Resolution::Kind::NumberRecord : Resolution::Kind::TextRecord;
  nameSlot_ = slot;
  token = {kind::Number, value};
  return Scan::Token;
}

TokenReader::Scan TokenReader::ReadNumber(Token& token) noexcept {
  const std::size_t begin = position_;
  const unsigned char first = At(position_++);
  NumberScan scan;
  scan.fractionStart = position_;
  if (IsDigit(first)) {
    scan.value = first - '0';
  } else if (first == '.') {
    scan.inFraction = true;
  } else {  // ':'
    scan.placeFactor = MinutesFactor;
    scan.colonCount = 1;
  }

  for (;; ++position_) {
    const unsigned char d = At(position_);  // 0 at the end of the text
    if (IsDigit(d)) {
      const int k = d - '0';
      if (scan.colonCount > 0) {
        scan.colonPart = scan.colonPart * 10 + k * scan.placeFactor;
      } else if (!scan.inFraction) {
        scan.value = scan.value * 10 + k;
      }
      // Fraction digits count digit by digit only if a colon follows; see AddFractionDigits.
    } else if (d == ',' || d == '.' || d == ':') {
      if (const std::optional<StopReason> why = TakeSeparator(d, scan)) return StopHere(*why, begin);
    } else {
      break;  // the number is finished; this byte is not consumed
    }
  }

  if (scan.colonCount > 0) {
    scan.value = scan.value + scan.colonPart;
  } else if (scan.inFraction) {
    scan.value = ConvertFraction(begin, position_, scan.grouped);
    if (stop_ == StopReason::OutOfMemory) return StopHere(StopReason::OutOfMemory, begin);
  }
  token = {kind::Number, scan.value};
  return Scan::Token;
}

std::optional<StopReason> TokenReader::TakeSeparator(unsigned char separator, NumberScan& scan) const noexcept {
  if (separator == ',') {
    if (scan.inFraction || scan.colonCount > 0) return StopReason::CommaInFraction;
    scan.grouped = true;
  } else if (separator == '.') {
    if (scan.inFraction) return StopReason::SecondPoint;
    if (scan.colonCount > 0) return StopReason::PointAfterColon;
    scan.inFraction = true;
    scan.fractionStart = position_ + 1;
  } else {  // ':'
    if (scan.colonCount == 2) return StopReason::ThirdColon;
    if (scan.colonCount == 0) {
      if (scan.inFraction) scan.value = AddFractionDigits(scan.value, scan.fractionStart, position_);
      scan.placeFactor = MinutesFactor;
    } else {
      scan.value = scan.value + scan.colonPart;
      scan.placeFactor = scan.placeFactor / 60;
    }
    ++scan.colonCount;
    scan.colonPart = 0.0;
  }
  return std::nullopt;
}

// The degrees field of a d:m:s number keeps its fraction as read digit by
// digit: each digit weighs a tenth of the one before. A plain decimal never
// needs this value (it is converted as a whole), so it is only computed when
// a colon follows the fraction.
double TokenReader::AddFractionDigits(double value, std::size_t first, std::size_t end) const noexcept {
  double placeFactor = 1.0;
  for (std::size_t i = first; i < end; ++i) {
    placeFactor = placeFactor / 10;
    value = value + (text_[i] - '0') * placeFactor;
  }
  return value;
}

// The numeral's digits, decimal point and fraction converted as a whole to
// the nearest double; "." is the decimal point whatever the locale. A numeral
// of at most 15 digits is an exact integer divided by an exact power of ten,
// which one correctly rounded division turns into the nearest double; longer
// ones go to std::from_chars.
double TokenReader::ConvertFraction(std::size_t begin, std::size_t end, bool grouped) noexcept {
  std::string_view numeral = text_.substr(begin, end - begin);
  std::uint64_t digits = 0;
  std::size_t digitCount = 0;
  std::size_t fractionDigits = 0;
  bool inFraction = false;
  for (char c : numeral) {
    if (c == '.') {
      inFraction = true;
    } else if (c != ',') {
      if (++digitCount > detail::MostExactDigits) break;
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      fractionDigits += inFraction ? 1 : 0;
    }
  }
  if (digitCount <= detail::MostExactDigits) return static_cast<double>(digits) / detail::ExactPowersOfTen[fractionDigits];

  DigitBuffer buffer;
  if (grouped) {
    char* compact = buffer.Reserve(numeral.size());
    if (compact == nullptr) {
      stop_ = StopReason::OutOfMemory;
      return 0.0;
    }
    std::size_t length = 0;
    for (char c : numeral) {
      if (c != ',') compact[length++] = c;
    }
    numeral = {compact, length};
  }
  double value = 0.0;
  const auto result = std::from_chars(numeral.data(), numeral.data() + numeral.size(), value,
                                      std::chars_format::fixed);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large only when the integer part holds a non-zero digit; otherwise too small.
    const std::string_view integerPart = numeral.substr(0, numeral.find('.'));
    value = integerPart.find_first_not_of('0') == std::string_view::npos ? 0.0
                                                                           : std::numeric_limits<double>::infinity();
  }
  return value;
}

}  // namespace exprcalc
