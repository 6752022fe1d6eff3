// The bad-input catalogue: one row per hostile input, each with the result
// the library documents for it. Null and small pointer values in every text
// and output argument, empty and giant texts, every byte value in four
// places, deep nesting, long operator chains, NaN and infinities, names of
// every length and byte, texts of every length to 300 bytes. Every row
// starts and ends with an empty table, and no row may leave a block behind.
//
// EXPRCALC_SMALL_INPUTS=1 (set by the valgrind script) shrinks the 64 MiB
// texts to 1 MiB and tries every 61st small pointer value instead of all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "AllocationFaults.h"

namespace {

bool SmallInputs() {
  const char* small = std::getenv("EXPRCALC_SMALL_INPUTS");
  return small != nullptr && std::strcmp(small, "1") == 0;
}

const std::size_t GiantSize = SmallInputs() ? std::size_t{1} << 20 : std::size_t{64} << 20;
const unsigned PointerStride = SmallInputs() ? 61 : 1;
constexpr int Million = 1000000;
const double Nan = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

// A row's check gives the empty string when the input got its documented result.
struct Row {
  std::string label;
  std::function<std::string()> check;
};

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text = piece;
  while (text.size() < piece.size() * times) text += text;  // doubling keeps giant texts quick to build
  text.resize(piece.size() * times);
  return text;
}

std::string Hex(unsigned byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The code and value of ParseString against the expected ones (NaN matches any NaN).
std::string Evaluates(const std::string& text, int code, double value) {
  double got = 1.0;
  const int gotCode = ParseString(text.c_str(), &got);
  const bool valueOk = std::isnan(value) ? std::isnan(got) : (code == 0 ? got == value : SameBits(got, 0.0));
  if (gotCode == code && valueOk) return "";
  return "code " + std::to_string(gotCode) + " value " + std::to_string(got) + ", expected code " +
         std::to_string(code) + " value " + std::to_string(value);
}

std::string Equal(long long got, long long want, const char* what) {
  return got == want ? "" : std::string(what) + " gave " + std::to_string(got) + ", expected " + std::to_string(want);
}

// The first failure of a series of checks.
std::string First(std::initializer_list<std::string> results) {
  for (const std::string& result : results) {
    if (!result.empty()) return result;
  }
  return "";
}

std::string NameAt(int index) {
  unsigned char record[EXPRCALC_RECORD_SIZE];
  if (GetVar(index, record) != 0) return "<no record>";
  return reinterpret_cast<const char*>(record + EXPRCALC_RECORD_NAME_OFFSET);
}

std::string TextOf(int index) {
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  VarString(index, buffer);
  return buffer;
}

// ---- null and small pointer values: every text argument reads them as the empty text

const char* Pointer(unsigned value) { return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(value)); }

void AddPointerRows(std::vector<Row>& rows) {
  using Check = std::function<std::string(const char*)>;
  const std::vector<std::pair<const char*, Check>> arguments = {
      {"EnterVarDouble name", [](const char* p) {
         EnterVarDouble("", 5.0);
         double value = 0.0;
         return First({Equal(EnterVarDouble(p, 7.0), 0, "EnterVarDouble"), Equal(LookupVarDouble("", &value), 0, "lookup"),
                       Equal(value == 7.0, 1, "the empty name's number is 7")});
       }},
      {"EnterVarString name", [](const char* p) {
         EnterVarDouble("", 5.0);
         return First({Equal(EnterVarString(p, "t"), 0, "EnterVarString"), Equal(TextOf(0) == "t", 1, "text t")});
       }},
      {"EnterVarString text", [](const char* p) {
         EnterVarString("N", "old");
         return First({Equal(EnterVarString("N", p), 0, "EnterVarString"), Equal(TextOf(0).empty(), 1, "empty text")});
       }},
      {"GetIndexByKey name", [](const char* p) {
         EnterVarDouble("", 5.0);
         int type = 0;
         return First({Equal(GetIndexByKey(p, &type), 0, "GetIndexByKey"), Equal(type, EXPRCALC_TYPE_NUMBER, "type")});
       }},
      {"LookupVarDouble name", [](const char* p) {
         EnterVarDouble("", 5.0);
         double value = 0.0;
         return First({Equal(LookupVarDouble(p, &value), 0, "LookupVarDouble"), Equal(value == 5.0, 1, "value 5")});
       }},
      {"LookupVarString name", [](const char* p) {
         EnterVarString("", "empty name");
         char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
         return First({Equal(LookupVarString(p, buffer), 0, "LookupVarString"),
                       Equal(std::string(buffer) == "empty name", 1, "text")});
       }},
      {"ParseString expression", [](const char* p) {
         double value = 1.0;
         return First({Equal(ParseString(p, &value), 0, "ParseString"), Equal(SameBits(value, 0.0), 1, "value +0.0")});
       }},
      {"RemoveVariable name", [](const char* p) {
         EnterVarDouble("", 5.0);
         return First({Equal(RemoveVariable(p), 0, "RemoveVariable"), Equal(RemoveVariable(p), -1, "second removal")});
       }},
      {"Substitution statement", [](const char* p) {
         return First({Equal(Substitution(p), EXPRCALC_STATEMENT_FAILED, "Substitution"), Equal(GetVarCount(), 0, "count")});
       }},
  };
  std::vector<unsigned> values = {0};  // 0: the null pointer
  for (unsigned value = 1; value < 0xFFFF; value += PointerStride) values.push_back(value);
  values.push_back(0xFFFF);
  for (const auto& [argument, check] : arguments) {
    rows.push_back({std::string("null and pointer values 1 to 65535 as ") + argument, [check = check, values] {
                      for (unsigned value : values) {
                        FreeVariable();
                        const std::string failure = check(Pointer(value));
                        if (!failure.empty()) return "pointer value " + std::to_string(value) + ": " + failure;
                      }
                      return std::string();
                    }});
  }
}

// ---- null and small pointer values as outputs: never written, the call still does its work

void AddOutputPointerRows(std::vector<Row>& rows) {
  using Check = std::function<std::string(void*)>;
  const auto number = [](void* p) { return static_cast<double*>(p); };
  const auto text = [](void* p) { return static_cast<char*>(p); };
  const std::vector<std::pair<const char*, Check>> outputs = {
      {"ParseString result", [&](void* p) {
         return First({Equal(ParseString("1+1", number(p)), 0, "ParseString(1+1)"),
                       Equal(ParseString("1/0", number(p)), EXPRCALC_DIVISION_BY_ZERO, "ParseString(1/0)")});
       }},
      {"GetIndexByKey type", [&](void* p) {
         return First({Equal(GetIndexByKey("N", static_cast<int*>(p)), 0, "found"),
                       Equal(GetIndexByKey("NOPE", static_cast<int*>(p)), -1, "missing")});
       }},
      {"LookupVarDouble value", [&](void* p) {
         return First({Equal(LookupVarDouble("n", number(p)), 0, "found"), Equal(LookupVarDouble("x", number(p)), -1, "missing")});
       }},
      {"LookupVarString buffer", [&](void* p) {
         return First({Equal(LookupVarString("T", text(p)), 1, "found"), Equal(LookupVarString("x", text(p)), -1, "missing")});
       }},
      {"VarDouble value", [&](void* p) {
         return First({Equal(VarDouble(0, number(p)), 0, "number"), Equal(VarDouble(99, number(p)), -1, "out of range")});
       }},
      {"VarString buffer", [&](void* p) {
         return First({Equal(VarString(1, text(p)), 1, "text"), Equal(VarString(99, text(p)), -1, "out of range")});
       }},
      {"GetVar record", [&](void* p) {
         return First({Equal(GetVar(0, p), -1, "GetVar"), Equal(GetVarCount(), 2, "count")});
       }},
  };
  std::vector<unsigned> values = {0};
  for (unsigned value = 1; value < 0xFFFF; value += PointerStride) values.push_back(value);
  values.push_back(0xFFFF);
  for (const auto& [output, check] : outputs) {
    rows.push_back({std::string("null and pointer values 1 to 65535 as ") + output, [check = check, values] {
                      FreeVariable();
                      EnterVarDouble("N", 1.5);
                      EnterVarString("T", "text");
                      for (unsigned value : values) {
                        const std::string failure =
                            check(reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
                        if (!failure.empty()) return "pointer value " + std::to_string(value) + ": " + failure;
                      }
                      FreeVariable();
                      return std::string();
                    }});
  }
}

// ---- every byte value alone, inside a number, inside a name and after "@"

enum class ByteClass { End, Digit, Letter, At, Blank, Terminator, Operator, Open, Close, Point, Colon, Comma, Other };

ByteClass ClassOf(unsigned b) {
  if (b == 0) return ByteClass::End;
  if (b >= '0' && b <= '9') return ByteClass::Digit;
  if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) return ByteClass::Letter;
  switch (b) {
    case '@': return ByteClass::At;
    case ' ': case '\t': return ByteClass::Blank;
    case '\r': case '\n': case '=': return ByteClass::Terminator;
    case '+': case '-': case '*': case '/': case '%': case '^': return ByteClass::Operator;
    case '(': return ByteClass::Open;
    case ')': return ByteClass::Close;
    case '.': return ByteClass::Point;
    case ':': return ByteClass::Colon;
    case ',': return ByteClass::Comma;
    default: return ByteClass::Other;
  }
}

struct Result {
  int code;
  double value;
};

constexpr Result Refused{EXPRCALC_MALFORMED, 0.0};

// b on its own, in an empty table.
Result Alone(unsigned b) {
  switch (ClassOf(b)) {
    case ByteClass::Digit: return {0, static_cast<double>(b - '0')};
    case ByteClass::Operator: case ByteClass::Close: return Refused;
    default: return {0, 0.0};  // no token, or only the end marker or an unclosed "("
  }
}

// "1" b "2", in an empty table.
Result InsideNumber(unsigned b) {
  switch (ClassOf(b)) {
    case ByteClass::Digit: return {0, 102.0 + 10.0 * (b - '0')};
    case ByteClass::Comma: return {0, 12.0};
    case ByteClass::Point: return {0, 1.2};
    case ByteClass::Colon: return {0, 1.0 + 2 * (1.0 / 60.0)};
    case ByteClass::Blank: case ByteClass::Close: return Refused;
    case ByteClass::Operator: {
      const double values[] = {3.0, -1.0, 2.0, 0.5, 1.0, 1.0};  // + - * / % ^
      return {0, values[std::string_view("+-*/%^").find(static_cast<char>(b))]};
    }
    default: return {0, 1.0};  // the number 1, then a stop or a name that is not stored
  }
}

// "@A" b "B", with the numbers @A = 6 and B = 2 stored.
Result InsideName(unsigned b) {
  switch (ClassOf(b)) {
    case ByteClass::Digit: case ByteClass::Letter: return {0, 0.0};  // one name, not stored
    case ByteClass::Blank: case ByteClass::Close: case ByteClass::Point: case ByteClass::Colon: return Refused;
    case ByteClass::Operator: {
      const double values[] = {8.0, 4.0, 12.0, 3.0, 0.0, 36.0};
      return {0, values[std::string_view("+-*/%^").find(static_cast<char>(b))]};
    }
    default: return {0, 6.0};  // @A, then the end, a stop, "(" or a name that is not stored
  }
}

// "@" b, with the number "@" = 5 stored.
Result AfterAt(unsigned b) {
  switch (ClassOf(b)) {
    case ByteClass::Digit: case ByteClass::Letter: return {0, 0.0};  // "@x" is not stored
    case ByteClass::At: case ByteClass::Operator: case ByteClass::Close: case ByteClass::Point: case ByteClass::Colon:
      return Refused;
    default: return {0, 5.0};
  }
}

// What the table makes of a name: white space trimmed, a-z upper-cased, 31 bytes.
std::string KeyOf(std::string name) {
  const char* blanks = " \t\n\v\f\r";
  const std::size_t begin = name.find_first_not_of(blanks);
  if (begin == std::string::npos) return "";
  name = name.substr(begin, name.find_last_not_of(blanks) - begin + 1);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name.substr(0, 31);
}

void AddByteRows(std::vector<Row>& rows) {
  for (unsigned b = 0; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    auto evaluate = [](std::string text, Result result) { return Evaluates(text, result.code, result.value); };
    rows.push_back({"byte " + Hex(b) + " alone", [=] { return evaluate(byte, Alone(b)); }});
    rows.push_back({"byte " + Hex(b) + " inside a number", [=] { return evaluate("1" + byte + "2", InsideNumber(b)); }});
    rows.push_back({"byte " + Hex(b) + " inside a name", [=] {
                      EnterVarDouble("@A", 6.0);
                      EnterVarDouble("B", 2.0);
                      return evaluate("@A" + byte + "B", InsideName(b));
                    }});
    rows.push_back({"byte " + Hex(b) + " after @", [=] {
                      EnterVarDouble("@", 5.0);
                      return evaluate("@" + byte, AfterAt(b));
                    }});
    if (b == 0) continue;
    for (const std::string& name : {byte, "x" + byte + "y"}) {
      rows.push_back({"byte " + Hex(b) + " in the name " + (name.size() == 1 ? "alone" : "x?y"), [=] {
                        int type = 0;
                        const std::string key = KeyOf(name);
                        return First({Equal(EnterVarDouble(name.c_str(), 1.0), 1, "EnterVarDouble"),
                                      Equal(NameAt(0) == key, 1, "stored name is the key"),
                                      Equal(GetIndexByKey(key.c_str(), &type), 0, "found by its key"),
                                      Equal(EnterVarDouble((" " + name + "\t").c_str(), 2.0), 0, "same name padded"),
                                      Equal(GetVarCount(), 1, "count")});
                      }});
    }
  }
}

// ---- empty, giant, deeply nested and long-chained texts

void AddLengthRows(std::vector<Row>& rows) {
  rows.push_back({"empty expression", [] { return Evaluates("", 0, 0.0); }});
  rows.push_back({"empty statement", [] { return Equal(Substitution(""), EXPRCALC_STATEMENT_FAILED, "Substitution"); }});
  rows.push_back({"empty name and empty text", [] {
                    return First({Equal(EnterVarString("", ""), 1, "EnterVarString"), Equal(TextOf(0).empty(), 1, "text"),
                                  Equal(NameAt(0).empty(), 1, "name")});
                  }});
  rows.push_back({"giant run of blanks", [] { return Evaluates(std::string(GiantSize, ' '), 0, 0.0); }});
  rows.push_back({"giant number", [] { return Evaluates(std::string(GiantSize, '9'), 0, Inf); }});
  rows.push_back({"giant fraction", [] { return Evaluates("1." + std::string(GiantSize, '0'), 0, 1.0); }});
  rows.push_back({"giant grouped fraction", [] { return Evaluates(Repeat("0,", GiantSize / 2) + "2.5", 0, 2.5); }});
  rows.push_back({"giant text after the end of an expression", [] {
                    return Evaluates("1+2=" + std::string(GiantSize, '#'), 0, 3.0);
                  }});
  rows.push_back({"giant name reads the variable of its first 31 bytes", [] {
                    EnterVarDouble(std::string(31, 'G').c_str(), 3.0);
                    return Evaluates(std::string(GiantSize, 'G'), 0, 3.0);
                  }});
  rows.push_back({"giant statement", [] {
                    double value = 0.0;
                    return First({Equal(Substitution(("@G = " + std::string(GiantSize, '9')).c_str()), 0, "Substitution"),
                                  Equal(LookupVarDouble("@G", &value), 0, "lookup"), Equal(value == Inf, 1, "infinite")});
                  }});
  rows.push_back({"giant text", [] {
                    const std::string text(GiantSize, 't');
                    return First({Equal(EnterVarString("@S", text.c_str()), 1, "EnterVarString"),
                                  Equal(TextOf(0) == text.substr(0, 222), 1, "first 222 bytes")});
                  }});
  rows.push_back({"giant name", [] {
                    const std::string name(GiantSize, 'n');
                    int type = 0;
                    return First({Equal(EnterVarDouble(name.c_str(), 1.0), 1, "EnterVarDouble"),
                                  Equal(NameAt(0) == std::string(31, 'N'), 1, "31 bytes kept"),
                                  Equal(GetIndexByKey(name.c_str(), &type), 0, "found by the giant name")});
                  }});
  const std::size_t m = Million;
  rows.push_back({"a million nested parentheses", [=] { return Evaluates(Repeat("(", m) + "1" + Repeat(")", m), 0, 1.0); }});
  rows.push_back({"a million unclosed parentheses", [=] { return Evaluates(Repeat("(", m) + "1", 0, 1.0); }});
  rows.push_back({"a million closing parentheses", [=] { return Evaluates("1" + Repeat(")", m), EXPRCALC_MALFORMED, 0.0); }});
  rows.push_back({"a million nested signs", [=] { return Evaluates(Repeat("-(", m) + "1" + Repeat(")", m), 0, 1.0); }});
  rows.push_back({"a million nested functions", [=] {
                    return Evaluates(Repeat("ABS(", m) + "0-5" + Repeat(")", m), 0, 5.0);
                  }});
  rows.push_back({"a million additions", [=] { return Evaluates(Repeat("1+", m) + "1", 0, m + 1.0); }});
  rows.push_back({"a million subtractions", [=] { return Evaluates(Repeat("1-", m) + "1", 0, 1.0 - m); }});
  rows.push_back({"a million divisions", [=] { return Evaluates(Repeat("1/", m) + "1", 0, 1.0); }});
  rows.push_back({"a million remainders", [=] { return Evaluates(Repeat("7%", m) + "5", 0, 0.0); }});
  rows.push_back({"a million powers", [=] { return Evaluates(Repeat("2^", m) + "1", 0, Inf); }});
  rows.push_back({"a million operators without operands", [=] { return Evaluates(Repeat("+", m), EXPRCALC_MALFORMED, 0.0); }});
}

// ---- NaN and infinities in variables and expressions

void AddSpecialNumberRows(std::vector<Row>& rows) {
  struct Case {
    const char* text;
    int code;
    double value;
  };
  const Case cases[] = {
      {"@NAN", 0, Nan},          {"@NAN+1", 0, Nan},        {"@INF-@INF", 0, Nan},      {"1/@INF", 0, 0.0},
      {"1/@NAN", 0, Nan},        {"@NAN%2", 0, Nan},        {"5%@NAN", 0, Nan},         {"@INF%2", 0, Nan},
      {"5%@INF", 0, 5.0},        {"@NINF%3", 0, Nan},       {"LOG(@NAN)", 0, Nan},      {"LOG(@NINF)", 3, 0.0},
      {"LOG(@INF)", 0, Inf},     {"ACOS(@NAN)", 0, Nan},    {"ACOS(@INF)", 2, 0.0},     {"ATAN(@INF)", 0, std::atan(Inf)},
      {"0^@NINF", 2, 0.0},       {"@NAN^0", 0, 1.0},        {"SQRT(@NINF)", 0, Nan},    {"EXP(@NINF)", 0, 0.0},
      {"SIN(@INF)", 0, Nan},     {"@INF*0", 0, Nan},        {"-@INF", 0, -Inf},         {"ABS(@NINF)", 0, Inf},
      {"DEG(@INF)", 0, Inf},     {"@INF/@INF", 0, Nan},     {"@NAN/0", 1, 0.0},         {"(@NAN)", 0, Nan},
  };
  for (const Case& c : cases) {
    rows.push_back({std::string("special numbers: ") + c.text, [c] {
                      EnterVarDouble("@NAN", Nan);
                      EnterVarDouble("@INF", Inf);
                      EnterVarDouble("@NINF", -Inf);
                      return Evaluates(c.text, c.code, c.value);
                    }});
  }
  rows.push_back({"special numbers kept bit for bit", [] {
                    const std::uint64_t payload = 0xFFF80000DEADBEEFu;  // a negative NaN with a payload
                    double nan;
                    std::memcpy(&nan, &payload, sizeof nan);
                    EnterVarDouble("@P", nan);
                    double fromIndex = 0.0, fromName = 0.0, fromExpression = 0.0;
                    VarDouble(0, &fromIndex);
                    LookupVarDouble("@p", &fromName);
                    ParseString("@P", &fromExpression);
                    return First({Equal(SameBits(fromIndex, nan), 1, "VarDouble"), Equal(SameBits(fromName, nan), 1, "LookupVarDouble"),
                                  Equal(SameBits(fromExpression, nan), 1, "ParseString")});
                  }});
  rows.push_back({"special numbers through statements", [] {
                    EnterVarDouble("@INF", Inf);
                    double value = 0.0;
                    return First({Equal(Substitution("@X = -@INF"), 0, "Substitution"), Equal(LookupVarDouble("@X", &value), 1, "lookup"),
                                  Equal(value == -Inf, 1, "minus infinity"), Equal(Substitution("@Y = @INF-@INF"), 0, "NaN statement")});
                  }});
}

// ---- names of every length, texts of every length

void AddNameAndTextRows(std::vector<Row>& rows) {
  rows.push_back({"names of every length 0 to 64", [] {
                    for (int length = 0; length <= 64; ++length) {
                      const std::string name(static_cast<std::size_t>(length), 'n');
                      const int significant = length < 31 ? length : 31;
                      const int want = length <= 31 ? length + 1 : 31;  // new up to 31 bytes, then the same name
                      int type = 0;
                      const std::string failure = First({Equal(EnterVarDouble(name.c_str(), length), want, "EnterVarDouble"),
                                                         Equal(GetIndexByKey(name.c_str(), &type), significant, "GetIndexByKey"),
                                                         Equal(NameAt(significant).size(), significant, "stored name length")});
                      if (!failure.empty()) return "length " + std::to_string(length) + ": " + failure;
                    }
                    return Equal(GetVarCount(), 32, "count");
                  }});
  rows.push_back({"texts of every length 0 to 300", [] {
                    for (std::size_t length = 0; length <= 300; ++length) {
                      std::string text;
                      for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
                      const std::string kept = text.substr(0, 222);
                      unsigned char record[EXPRCALC_RECORD_SIZE];
                      char looked[EXPRCALC_TEXT_BUFFER_SIZE];
                      EnterVarString("@S", text.c_str());
                      Substitution(("@Q = \"" + text).c_str());
                      GetVar(0, record);
                      LookupVarString("@Q", looked);
                      const bool nulAfter = length >= 222 || record[EXPRCALC_RECORD_TEXT_OFFSET + length] == 0;
                      const std::string failure =
                          First({Equal(TextOf(0) == kept, 1, "VarString"), Equal(looked == kept, 1, "statement text"),
                                 Equal(std::memcmp(record + EXPRCALC_RECORD_TEXT_OFFSET, kept.data(), kept.size()), 0, "record text"),
                                 Equal(nulAfter, 1, "NUL after a short text")});
                      if (!failure.empty()) return "length " + std::to_string(length) + ": " + failure;
                    }
                    return std::string();
                  }});
  rows.push_back({"text of every byte value", [] {
                    std::string text;
                    for (unsigned b = 1; b <= 0xFF; ++b) text += static_cast<char>(b);
                    return First({Equal(EnterVarString(" \t", text.c_str()), 1, "EnterVarString"),
                                  Equal(TextOf(0) == text.substr(0, 222), 1, "first 222 bytes unchanged")});
                  }});
}

std::vector<Row> Catalogue() {
  std::vector<Row> rows;
  AddPointerRows(rows);
  AddOutputPointerRows(rows);
  AddByteRows(rows);
  AddLengthRows(rows);
  AddSpecialNumberRows(rows);
  AddNameAndTextRows(rows);
  return rows;
}

TEST(BadInput, EveryCatalogueEntryGetsItsDocumentedResult) {
  const std::vector<Row> rows = Catalogue();
  for (const Row& row : rows) {
    FreeVariable();
    EXPECT_EQ(row.check(), "") << row.label;
    FreeVariable();
    EXPECT_EQ(exprcalc::allocation::LiveBlockCount(), 0u) << row.label << ": a block was left behind";
  }
  std::printf("bad-input catalogue entries: %zu\n", rows.size());
}

}  // namespace
