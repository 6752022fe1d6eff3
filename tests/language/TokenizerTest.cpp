// The token lists the tokenizer writes for expression texts: byte classes,
// decimal and degrees:minutes:seconds numbers (values compared bit for bit),
// built-in names and variables of both types, and what ends the sequence early.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "language/Tokenizer.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::Token;
using exprcalc::VariableTable;

constexpr double Pi = 3.141592653589793;
constexpr double MinuteScale = 1.0 / 60.0;

// The kinds as a string ("i+i$"), and the values of the "i" tokens in order.
struct TokenList {
  std::string kinds;
  std::vector<double> numbers;
};

std::string Printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
    }
  }
  return out;
}

TokenList Tokens(std::string_view text, const VariableTable& table) {
  exprcalc::TokenReader reader(text, table);
  std::vector<Token> tokens;
  for (Token token = reader.Next(); token.kind != 0 && tokens.size() <= text.size(); token = reader.Next()) {
    tokens.push_back(token);
  }
  EXPECT_LE(tokens.size(), text.size() + 1) << Printable(text);
  TokenList list;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    EXPECT_NE(token.kind, 0) << Printable(text) << ": token " << i;
    list.kinds += static_cast<char>(token.kind);
    if (token.kind == 'i') {
      list.numbers.push_back(token.value);
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(token.value), 0u) << Printable(text) << ": token " << i;
    }
  }
  return list;
}

void ExpectTokens(std::string_view text, const VariableTable& table, std::string_view kinds,
                  const std::vector<double>& numbers) {
  const TokenList list = Tokens(text, table);
  EXPECT_EQ(list.kinds, kinds) << "text \"" << Printable(text) << "\"";
  ASSERT_EQ(list.numbers.size(), numbers.size()) << "text \"" << Printable(text) << "\"";
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(list.numbers[i]), std::bit_cast<std::uint64_t>(numbers[i]))
        << "text \"" << Printable(text) << "\", number " << i << ": " << list.numbers[i] << " instead of "
        << numbers[i];
  }
}

// The value of a degrees:minutes:seconds numeral, accumulated in the
// tokenizer's order: each field's digits form a decimal integer, scaled digit
// by digit by 1/60 (minutes) or 1/3600 (seconds).
double Sexagesimal(double degrees, std::string_view minutes, std::string_view seconds = {}, bool hasSeconds = false) {
  double scale = MinuteScale;
  double part = 0.0;
  for (char c : minutes) part = part * 10 + (c - '0') * scale;
  if (!hasSeconds) return degrees + part;
  double value = degrees + part;
  scale = scale / 60;
  part = 0.0;
  for (char c : seconds) part = part * 10 + (c - '0') * scale;
  return value + part;
}

class Tokenizer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(table.EnterDouble("@RATE", 4.0), 0);
    ASSERT_GT(table.EnterString("@TEXT", "12345678901234"), 0);
    ASSERT_GT(table.EnterDouble("@A", 7.0), 0);
    ASSERT_GT(table.EnterDouble("RATE", 9.0), 0);
    ASSERT_GT(table.EnterDouble("SIN", 5.0), 0);
    ASSERT_GT(table.EnterDouble("@", 4.5), 0);
    ASSERT_GT(table.EnterDouble("E5", 3.0), 0);
    ASSERT_GT(table.EnterDouble("@ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", 6.0), 0);
  }
  VariableTable table;
};

TEST_F(Tokenizer, EdgeCases) {
  struct Row {
    std::string_view text;
    std::string_view kinds;
    std::vector<double> numbers;
  };
  const Row rows[] = {
      {"1 + 2", "i+i$", {1, 2}}, {"2 * sin(rad(30))", "i*S(R(i))$", {2, 30}}, {"3 * PAI", "i*i$", {3, Pi}},
      {"pai", "i$", {Pi}}, {"SQR(4)", "Q(i)$", {4}}, {"SQRT(4)", "Q(i)$", {4}}, {"LOG10(5)", "M(i)$", {5}},
      {"sin cos tan sqr abs deg rad log exp acos asin atan log10", "SCTQADRLNXYZM$", {}},
      {"Sin CoS tAn SqRt aBs dEg RaD lOg ExP aCoS aSiN aTaN lOg10", "SCTQADRLNXYZM$", {}},
      {"%()*+-/^", "%()*+-/^$", {}}, {"1:30 + .5", "i+i$", {1.5, 0.5}}, {"1,000,000", "i$", {1000000}},
      {"1,5", "i$", {15}}, {"1,,2,", "i$", {12}}, {"1.2.3", "", {}}, {"1.5,3", "", {}}, {"1:30.5", "", {}},
      {"1:2:3:4", "", {}}, {"1:2,3", "", {}}, {"1.5,", "", {}}, {"..", "", {}}, {"5 + 1.2.3", "i+$", {5}},
      {"1 + 2 = 9", "i+i$", {1, 2}}, {"=5", "$", {}}, {"\r5", "$", {}}, {"\n", "$", {}}, {"1\n+2", "i$", {1}},
      {"#5", "", {}}, {"   ", "", {}}, {"\t \t", "", {}}, {"1 + #", "i+$", {1}}, {"1\v2", "i$", {1}},
      {"\v1", "", {}}, {"\f", "", {}}, {"1\t2", "ii$", {1, 2}}, {"@RATE * 2", "i*i$", {4, 2}},
      {"@rate*2", "i*i$", {4, 2}}, {"@TEXT * 2", "i*i$", {0, 2}}, {"@NOPE * 2", "", {}},
      {"3 * @NOPE + 1", "i*$", {3}}, {"@A_B", "i$", {7}}, {"2X", "i$", {2}}, {"1e5", "ii$", {1, 3}},
      {"(", "($", {}}, {"SIN", "S$", {}}, {"RATE+@RATE", "i+i$", {9, 4}}, {"@@", "ii$", {4.5, 4.5}},
      {"@ @A", "ii$", {4.5, 7}}, {"LOG1", "", {}}, {"1\x80", "i$", {1}}, {"\xC3\xA4", "", {}},
      {"2+\xFF", "i+$", {2}}, {".", "i$", {0}}, {":", "i$", {0}}, {"12.+3", "i+i$", {12, 3}},
      {",5", "", {}}, {":.5", "", {}}, {":,5", "", {}}, {"1.5+:30", "i+i$", {1.5, 0.5}}, {".5:30", "i$", {1.0}},
      // Names are significant to 31 bytes, also in expressions.
      {"@ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", "i$", {6}}, {"@abcdefghijklmnopqrstuvwxyz12345678", "i$", {6}},
      {"@ABCDEFGHIJKLMNOPQRSTUVWXYZ123", "", {}},
  };
  for (const Row& row : rows) ExpectTokens(row.text, table, row.kinds, row.numbers);
}

// Where each token begins (blanks skipped; the end marker where reading
// ended), and what each name stood for: b built-in, n or t the number or
// text record of that index, - no name.
TEST_F(Tokenizer, PlacesAndResolvedNames) {
  struct Row {
    std::string_view text;
    std::vector<std::size_t> places;
    std::string_view names;
    std::vector<int> records;
  };
  const Row rows[] = {
      {"  SIN( @A +@text)*pai-2.5  ", {2, 5, 7, 10, 11, 16, 17, 18, 21, 22, 27}, "b-n-t--b---", {2, 1}},
      {"@RATE\t*E5", {0, 6, 7, 9}, "n-n-", {0, 6}},
      {"1 + @NOPE", {0, 2, 4}, "---", {}},
      {"2 = 3", {0, 2}, "--", {}},
      {"1.2.3+4", {}, "", {}},
  };
  using Kind = exprcalc::Resolution::Kind;
  for (const Row& row : rows) {
    exprcalc::TokenReader reader(row.text, table);
    std::vector<std::size_t> places;
    std::string names;
    std::vector<int> records;
    for (Token token = reader.Next(); token.kind != 0; token = reader.Next()) {
      places.push_back(reader.Place());
      const exprcalc::Resolution name = reader.Resolved();
      names += "-bnt"[static_cast<int>(name.kind)];
      if (name.kind == Kind::NumberRecord || name.kind == Kind::TextRecord) records.push_back(name.record);
    }
    EXPECT_EQ(places, row.places) << Printable(row.text);
    EXPECT_EQ(names, row.names) << Printable(row.text);
    EXPECT_EQ(records, row.records) << Printable(row.text);
  }
}

TEST_F(Tokenizer, NumberValues) {
  struct Row {
    std::string_view text;
    double value;
  };
  const Row rows[] = {
      {"12:30", Sexagesimal(12, "30")}, {"1:30:36", Sexagesimal(1, "30", "36", true)},
      {":30", Sexagesimal(0, "30")}, {"::36", Sexagesimal(0, "", "36", true)}, {"1:75", Sexagesimal(1, "75")},
      {"0:0001234567", Sexagesimal(0, "0001234567")}, {"1:2:", Sexagesimal(1, "2", "", true)},
      {"1.5:30", (1 + 5 * (1.0 / 10)) + Sexagesimal(0, "30")}, {"0.3:", 0 + 3 * (1.0 / 10)}, {"1,234.5", 1234.5},
      {".25", 0.25}, {"12.", 12.0}, {".3", 0.3}, {"0.3", 0.3}, {"0.1", 0.1}, {"2.675", 2.675},
      {"123456789.123456789", 123456789.123456789}, {"1,234,567.891", 1234567.891},
      {"00000000000000000000000000000000000001.5", 1.5}, {"0.00000000000005", 5e-14},
      {"9007199254740993", 9007199254740992.0},
      {"9007199254740993.0", 9007199254740992.0},
      {"9007199254740993.000000000000000000000000000001", 9007199254740994.0},
      {"0.1000000000000000055511151231257827021181583404541015625", 0.1},
      {"2.22507385850720138309e-308", 2.22507385850720138309},  // "e" begins a name, not an exponent
      {"4294967295", 4294967295.0},
  };
  for (const Row& row : rows) ExpectTokens(row.text, table, "i$", {row.value});

  // Converted to the nearest double also where that double is subnormal.
  ExpectTokens("0." + std::string(309, '0') + "1", table, "i$", {1e-310});
  ExpectTokens("0." + std::string(323, '0') + "5", table, "i$", {5e-324});
  // Long numerals, with and without grouping commas.
  std::string grouped = "0";
  for (int i = 0; i < 120; ++i) grouped += ",000";
  ExpectTokens(grouped + ",001.25", table, "i$", {1.25});
  ExpectTokens("0.1" + std::string(400, '0') + "1", table, "i$", {0.1});
  ExpectTokens("1" + std::string(400, '0') + ".5", table, "i$", {std::numeric_limits<double>::infinity()});

  // An integer without a decimal point keeps its digit-by-digit value.
  const std::string longInteger = "123456789012345678901234567890123";
  double accumulated = 0.0;
  for (char c : longInteger) accumulated = accumulated * 10 + (c - '0');
  ExpectTokens(longInteger, table, "i$", {accumulated});

  // The worked values, as they read in decimal.
  EXPECT_NEAR(Tokens("1:30:36", table).numbers.at(0), 1.51, 1e-15);
  EXPECT_NEAR(Tokens("::36", table).numbers.at(0), 0.01, 1e-17);
  EXPECT_EQ(Tokens("12:30", table).numbers.at(0), 12.5);
  EXPECT_EQ(Tokens("1.5:30", table).numbers.at(0), 2.0);
}

// Which class each byte belongs to, as the main scan reads it.
enum class ByteClass { Letter, Digit, At, Blank, End, Operator, Point, Colon, Comma, Stop };

ByteClass ClassOf(int byte) {
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) return ByteClass::Letter;
  if (byte >= '0' && byte <= '9') return ByteClass::Digit;
  switch (byte) {
    case '@': return ByteClass::At;
    case ' ': case '\t': return ByteClass::Blank;
    case '\r': case '\n': case '=': return ByteClass::End;
    case '%': case '(': case ')': case '*': case '+': case '-': case '/': case '^': return ByteClass::Operator;
    case '.': return ByteClass::Point;
    case ':': return ByteClass::Colon;
    case ',': return ByteClass::Comma;
    default: return ByteClass::Stop;
  }
}

TEST(TokenizerBytes, StopBytesMatchTheirListedRanges) {
  const std::vector<std::pair<int, int>> stopRanges = {
      {0x01, 0x08}, {0x0B, 0x0C}, {0x0E, 0x1F}, {0x21, 0x24}, {0x26, 0x27}, {0x3B, 0x3C},
      {0x3E, 0x3F}, {0x5B, 0x5D}, {0x5F, 0x60}, {0x7B, 0xFF},
  };
  for (int byte = 1; byte < 256; ++byte) {
    bool listed = false;
    for (auto [first, last] : stopRanges) listed = listed || (byte >= first && byte <= last);
    const ByteClass cls = ClassOf(byte);
    EXPECT_EQ(listed, cls == ByteClass::Stop) << "byte " << byte;
  }
}

TEST(TokenizerBytes, EveryByteAloneInsideANumberAndInsideAName) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("Q", 3.0), 1);
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const std::string op(1, c);
    // A NUL ends the text: whatever follows it is never read.
    const ByteClass cls = byte == 0 ? ByteClass::Stop : ClassOf(byte);
    SCOPED_TRACE("byte " + std::to_string(byte));

    const std::string alone(1, c);
    switch (cls) {
      case ByteClass::Digit: ExpectTokens(alone, table, "i$", {double(byte - '0')}); break;
      case ByteClass::Point:
      case ByteClass::Colon: ExpectTokens(alone, table, "i$", {0.0}); break;
      case ByteClass::End: ExpectTokens(alone, table, "$", {}); break;
      case ByteClass::Operator: ExpectTokens(alone, table, op + "$", {}); break;
      case ByteClass::Letter:
        if (byte == 'Q' || byte == 'q') {
          ExpectTokens(alone, table, "i$", {3.0});
        } else {
          ExpectTokens(alone, table, "", {});  // names no variable
        }
        break;
      default: ExpectTokens(alone, table, "", {}); break;
    }

    const std::string inNumber = std::string("1") + c + "2";
    switch (cls) {
      case ByteClass::Digit: ExpectTokens(inNumber, table, "i$", {102.0 + 10 * (byte - '0')}); break;
      case ByteClass::Point: ExpectTokens(inNumber, table, "i$", {1.2}); break;
      case ByteClass::Colon: ExpectTokens(inNumber, table, "i$", {Sexagesimal(1, "2")}); break;
      case ByteClass::Comma: ExpectTokens(inNumber, table, "i$", {12.0}); break;
      case ByteClass::Blank: ExpectTokens(inNumber, table, "ii$", {1.0, 2.0}); break;
      case ByteClass::Operator: ExpectTokens(inNumber, table, "i" + op + "i$", {1.0, 2.0}); break;
      default: ExpectTokens(inNumber, table, "i$", {1.0}); break;  // letters and "@" begin a name not found
    }

    const std::string inName = std::string("Q") + c + "Q";
    switch (cls) {
      case ByteClass::Letter:
      case ByteClass::Digit: ExpectTokens(inName, table, "", {}); break;  // one longer name, not found
      case ByteClass::Point:
      case ByteClass::Colon: ExpectTokens(inName, table, "iii$", {3.0, 0.0, 3.0}); break;
      case ByteClass::Blank: ExpectTokens(inName, table, "ii$", {3.0, 3.0}); break;
      case ByteClass::Operator: ExpectTokens(inName, table, "i" + op + "i$", {3.0, 3.0}); break;
      default: ExpectTokens(inName, table, "i$", {3.0}); break;
    }
  }
}

}  // namespace
