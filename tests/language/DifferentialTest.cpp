// ParseString, and exprcalc_explain and exprcalc_judge beside it, against
// the literal evaluator: code and value bit for bit, the places explain names
// (the failing token, the "(" left open) against the literal parse's, and the
// judgement against criteria of its own; a text of up to 256 bytes must be
// explained alike with no memory at all. Texts: the known edge cases, random
// texts over the language's alphabet, generated well-formed expressions
// (nested, a few hundred deep, unclosed, numbers of every form) and giant texts.
// EXPRCALC_DIFFERENTIAL_PERCENT scales the generated counts and sizes (default
// 100; 20 in sanitizer and unoptimised builds, 5 under EXPRCALC_SMALL_INPUTS=1
// as the valgrind run sets it, so that every build finishes within seconds).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "AllocationFaults.h"
#include "LiteralEvaluator.h"
#include "Random.h"
#include "exprcalc.h"

namespace {

using exprcalc::literal::EvaluateLiterally;
using exprcalc::literal::Outcome;
using exprcalc::literal::Places;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr unsigned DefaultPercent = 20;
#else
constexpr unsigned DefaultPercent = 100;
#endif

unsigned Percent() {
  const char* setting = std::getenv("EXPRCALC_DIFFERENTIAL_PERCENT");
  if (setting == nullptr || *setting == '\0') {
    const char* small = std::getenv("EXPRCALC_SMALL_INPUTS");
    return small != nullptr && std::strcmp(small, "1") == 0 ? 5U : DefaultPercent;
  }
  const unsigned long percent = std::strtoul(setting, nullptr, 10);
  return percent == 0 ? 1U : static_cast<unsigned>(percent);
}

std::size_t Scaled(std::size_t fullCount) {
  const std::size_t count = fullCount * Percent() / 100;
  return count == 0 ? 1 : count;
}

// ---------------------------------------------------------------- variables

// 40 bytes: stored under its first 31, and found through any name sharing them.
const std::string LongName = "@ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABC";
const std::string LongNameOtherTail = LongName.substr(0, 31) + "ZZZZ";
const std::string LongNameCut = LongName.substr(0, 31);
const std::string LongNameTooShort = LongName.substr(0, 30);

void DefineVariables() {
  FreeVariable();
  EnterVarDouble("@A", 2.5);
  EnterVarDouble("@B", -3.0);
  EnterVarDouble("X", 1e10);
  EnterVarString("@T", "a text");
  EnterVarDouble(LongName.c_str(), 0.125);
  EnterVarDouble("@RATE", 4.0);
  EnterVarDouble("@NAN", NaN);
  EnterVarDouble("@NNAN", std::bit_cast<double>(std::uint64_t{0xFFF800000000BEEF}));  // a NaN of the other sign
  EnterVarDouble("@INF", Infinity);
  EnterVarDouble("@NINF", -Infinity);
  EnterVarDouble("@MIN", -2147483648.0);
  EnterVarDouble("@BIG", 3e9);
  EnterVarDouble("@TINY", 1e-300);
  EnterVarDouble("@NEGZERO", -0.0);
  EnterVarDouble("X1", 0.5);
  EnterVarDouble("@", 7.0);
  EnterVarDouble("E5", 11.0);
  EnterVarDouble("SIN", 5.0);
}

// ---------------------------------------------------------------- comparison

std::string Printable(std::string_view text) {
  constexpr std::size_t Shown = 300;
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < Shown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text.size() > Shown) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string Hex(double value) {
  char hex[24];
  std::snprintf(hex, sizeof hex, "0x%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
  return std::string(hex) + " (" + std::to_string(value) + ")";
}

bool SameBits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

bool SameValue(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool SameDiagnosis(const exprcalc_diagnosis& a, const exprcalc_diagnosis& b) {
  return a.code == b.code && std::memcmp(&a.value, &b.value, sizeof a.value) == 0 && a.read == b.read &&
         a.stop == b.stop && a.at == b.at && a.dropped == b.dropped && a.unclosed == b.unclosed &&
         a.text_variable == b.text_variable && a.length == b.length && a.unclosed_at == b.unclosed_at;
}

// A text of up to 256 bytes is explained without memory: the same diagnosis
// when every allocation fails.
bool ExplainedWithoutMemory(const std::string& text, const exprcalc_diagnosis& diagnosis) {
  if (text.size() > 256) return true;
  exprcalc_diagnosis starved;
  exprcalc::allocation::FailAfter(0, true);
  exprcalc_explain(text.c_str(), &starved);
  exprcalc::allocation::StopFailing();
  return SameDiagnosis(starved, diagnosis);
}

bool Finds(const exprcalc_finding* findings, int count, int kind) {
  for (int i = 0; i < count; ++i) {
    if (findings[i].kind == kind) return true;
  }
  return false;
}

bool ChangesValue(const std::string& text, const std::string& changed) {
  double a = 0.0;
  double b = 0.0;
  return ParseString(text.c_str(), &a) != ParseString(changed.c_str(), &b) || !SameValue(a, b);
}

std::size_t Moved(std::size_t offset, std::size_t by) { return offset == EXPRCALC_NOWHERE ? offset : offset + by; }

exprcalc_diagnosis Moved(exprcalc_diagnosis d, std::size_t by) {
  for (std::size_t* offset : {&d.read, &d.dropped, &d.text_variable, &d.unclosed_at}) *offset = Moved(*offset, by);
  if (d.code != 0) d.at = Moved(d.at, by);
  return d;
}

// "@JUDGED = text" is judged as its stripped right part is, and carried out
// by exprcalc_substitute_whole exactly when it is whole.
std::string StatementJudgementDisagrees(const std::string& text) {
  constexpr std::string_view Prefix = "@JUDGED = ";
  const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
  if (first == std::string::npos || text[first] == '"') return {};
  const std::string right = text.substr(first, text.find_last_not_of(" \t\n\v\f\r") + 1 - first);
  const std::size_t rightAt = Prefix.size() + first;
  exprcalc_judgement j;
  const int code = exprcalc_judge(right.c_str(), &j);
  const std::string statement = std::string(Prefix) + text;
  exprcalc_statement_judgement s;
  if (exprcalc_judge_statement(statement.c_str(), &s) != (code == 0 ? 0 : 1)) return "judge_statement's result";
  bool same = SameDiagnosis(s.statement.expression, Moved(j.diagnosis, rightAt)) && s.whole == j.whole &&
              s.count == j.count;
  for (int i = 0; i < j.count && same; ++i) {
    const exprcalc_finding f = s.findings[i];
    same = f.kind == j.findings[i].kind && f.at == Moved(j.findings[i].at, rightAt) &&
           f.other == Moved(j.findings[i].other, rightAt);
  }
  if (!same) return "judge_statement is not judge";
  const int result = exprcalc_substitute_whole(statement.c_str(), &s);
  double stored = 0.0;
  const bool carriedOut = LookupVarDouble("@JUDGED", &stored) >= 0;
  RemoveVariable("@JUDGED");
  if (result != (j.whole && code == 0 ? 0 : 1) || carriedOut != (j.whole && code == 0) ||
      (carriedOut && !SameValue(stored, j.diagnosis.value)) ||
      (!j.whole && s.statement.reason != EXPRCALC_REASON_NOT_WHOLE)) {
    return "substitute_whole";
  }
  return {};
}

// The judgement of a text against explain's diagnosis, the literal evaluator
// and criteria of its own; returns what disagrees, or nothing:
//  - it was read to its end unless more than white space follows a CR or LF,
//    or anything follows "=";
//  - the contents of a "(" were dropped exactly when the diagnosis says so;
//  - otherwise an operator was left unapplied exactly when the literal
//    evaluator leaves one below the value, and closing every open "(" changes
//    the value only then, for the text and for the text whose innermost open
//    group holds -0.75 or 0.75 (the values alone miss ABS(2 or TAN ATAN(1);
//  - as the right part of a statement it is judged alike, and the statement
//    is carried out only when it is whole.
std::string JudgementDisagrees(const std::string& text, const exprcalc_diagnosis& explained, bool unapplied) {
  exprcalc_judgement j;
  if (exprcalc_judge(text.c_str(), &j) != explained.code || !SameDiagnosis(j.diagnosis, explained)) {
    return "judge's diagnosis is not explain's";
  }
  bool changesMeaning = false;
  for (int i = 0; i < j.count; ++i) {
    changesMeaning = changesMeaning || j.findings[i].kind < 100;
    if (i > 0 && (j.findings[i - 1].at > j.findings[i].at)) return "findings out of order";
    if (j.findings[i].kind >= 200 && explained.code != EXPRCALC_MALFORMED) return "a malformed finding, not malformed";
  }
  if (j.whole != (changesMeaning ? 0 : 1)) return "whole disagrees with the findings";
  const std::size_t read = std::min(explained.read, text.size());
  const std::string_view rest = std::string_view(text).substr(read);
  const bool endsAtLine = !rest.empty() && (rest[0] == '\r' || rest[0] == '\n') &&
                          rest.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos;
  if (Finds(j.findings, j.count, EXPRCALC_FINDING_STOPPED) != (!rest.empty() && !endsAtLine)) return "stopped";
  if (Finds(j.findings, j.count, EXPRCALC_FINDING_CONTENTS_DROPPED) != (explained.unclosed == 1)) return "dropped";
  if (explained.code == 0 && (rest.empty() || endsAtLine) && explained.unclosed == 0) {
    const std::string head = text.substr(0, read);
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < head.size(); ++i) {
      if (head[i] == '(') open.push_back(i);
      if (head[i] == ')' && !open.empty()) open.pop_back();
    }
    const std::string closing(open.size(), ')');
    bool closingChanges = ChangesValue(head, head + closing);
    for (const char* contents : {"0-0.75", "0.75"}) {
      const std::string probe = open.empty() ? head : head.substr(0, open.back() + 1) + contents;
      closingChanges = closingChanges || ChangesValue(probe, probe + closing);
    }
    if (Finds(j.findings, j.count, EXPRCALC_FINDING_NOT_APPLIED) != unapplied) return "not applied";
    if (closingChanges && !unapplied) return "closing changes the value";
  }
  return StatementJudgementDisagrees(text);
}

// Counts the texts of one category and reports the first one on which the
// library and the literal evaluator part ways.
class Comparison {
 public:
  explicit Comparison(std::string category) : category_(std::move(category)) {}
  Comparison(const Comparison&) = delete;
  Comparison& operator=(const Comparison&) = delete;

  ~Comparison() {
    std::cout << "[ compared ] " << category_ << ": " << compared_ << " texts, " << mismatches_
              << " mismatches; codes";
    for (const auto& [code, count] : codes_) std::cout << ' ' << code << ':' << count;
    std::cout << '\n';
    if (mismatches_ > 0) {
      ADD_FAILURE() << category_ << ": " << mismatches_ << " of " << compared_ << " texts differ; first: \""
                    << firstMismatch_;
    }
  }

  void Check(const std::string& text) {
    ++compared_;
    double value = 12345.0;
    const int code = ParseString(text.c_str(), &value);
    Places places;
    const Outcome literal = EvaluateLiterally(text.c_str(), &places);
    ++codes_[code];
    exprcalc_diagnosis diagnosis;
    const bool explainAgrees = exprcalc_explain(text.c_str(), &diagnosis) == code &&
                               SameValue(diagnosis.value, value) && diagnosis.read <= text.size();
    // Out of memory is the library's alone; otherwise explain names the literal parse's places.
    const bool placesAgree = code == EXPRCALC_OUT_OF_MEMORY ||
                             (diagnosis.at == places.at && diagnosis.unclosed == (places.unclosed ? 1 : 0) &&
                              diagnosis.unclosed_at == (places.unclosed ? places.unclosedAt : EXPRCALC_NOWHERE));
    const bool starvedAgrees = ExplainedWithoutMemory(text, diagnosis);
    const std::string judgement =
        explainAgrees ? JudgementDisagrees(text, diagnosis, literal.unapplied) : std::string();
    if (code == literal.code && SameBits(value, literal.value) && explainAgrees && placesAgree && starvedAgrees &&
        judgement.empty()) {
      return;
    }
    if (mismatches_++ == 0) {
      firstMismatch_ = Printable(text) + "\": library code " + std::to_string(code) + " value " + Hex(value) +
                       ", literal code " + std::to_string(literal.code) + " value " + Hex(literal.value) +
                       ", explained code " + std::to_string(diagnosis.code) + " value " + Hex(diagnosis.value) +
                       " at " + std::to_string(diagnosis.at) + " unclosed " + std::to_string(diagnosis.unclosed) +
                       " at " + std::to_string(diagnosis.unclosed_at) + ", literal at " + std::to_string(places.at) +
                       " unclosed " + std::to_string(places.unclosed) + " at " + std::to_string(places.unclosedAt) +
                       (starvedAgrees ? "" : "; explained otherwise with no memory") +
                       (judgement.empty() ? "" : ", judgement: " + judgement);
    }
  }

 private:
  std::string category_;
  std::size_t compared_ = 0;
  std::size_t mismatches_ = 0;
  std::string firstMismatch_;
  std::map<int, std::size_t> codes_;
};

// ---------------------------------------------------------------- generation

using exprcalc::testing::Random;

constexpr std::string_view BuiltInNames[] = {"SIN", "COS", "TAN",   "SQR", "SQRT", "ABS",  "PAI", "DEG",
                                             "RAD", "LOG", "LOG10", "EXP", "ACOS", "ASIN", "ATAN"};
constexpr std::string_view FunctionNames[] = {"SIN", "COS", "TAN",   "SQR", "SQRT", "ABS",  "DEG",
                                              "RAD", "LOG", "LOG10", "EXP", "ACOS", "ASIN", "ATAN"};
constexpr char Operators[] = {'+', '-', '*', '/', '%', '^'};

std::vector<std::string> VariableNames() {
  return {"@A",   "@b",    "x",     "@T",      LongName, LongNameOtherTail, LongNameCut, LongNameTooShort,
          "@NaN", "@NNAN", "@INF",  "@NINF", "@MIN",    "@BIG",   "@TINY",           "@NEGZERO",  "X1",
          "@",    "@NOPE", "e5",    "@RATE",   "pai",    "sin"};
}

std::string MixedCase(Random& random, std::string_view word) {
  std::string out(word);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z' && random.Chance(40)) c = static_cast<char>(c - 'A' + 'a');
    if (c >= 'a' && c <= 'z' && random.Chance(40)) c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string Digits(Random& random, std::size_t count, bool leadingNonZero) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    const bool nonZero = leadingNonZero && i == 0;
    out += static_cast<char>(nonZero ? '1' + random.Below(9) : '0' + random.Below(10));
  }
  return out;
}

// One piece of a random text: weighted towards what the language reads, with
// the bytes that end a scan (=, CR, LF, strays) rare enough to leave long texts.
void AppendSoupPiece(Random& random, const std::vector<std::string>& variables, std::string& text) {
  static constexpr char Strays[] = {'#', '_', '!', ';', '$', '&', '?', '[', '"', '\'', '\\', '~', '\v', '\f', 0x7F};
  const std::size_t roll = random.Below(1000);
  if (roll < 300) {
    text += static_cast<char>('0' + random.Below(10));
  } else if (roll < 350) {
    text += '.';
  } else if (roll < 380) {
    text += ',';
  } else if (roll < 410) {
    text += ':';
  } else if (roll < 590) {
    text += random.Pick(Operators);
  } else if (roll < 650) {
    text += '(';
  } else if (roll < 710) {
    text += ')';
  } else if (roll < 770) {
    text += ' ';
  } else if (roll < 785) {
    text += '\t';
  } else if (roll < 860) {
    text += MixedCase(random, random.Pick(BuiltInNames));
  } else if (roll < 920) {
    text += MixedCase(random, variables[random.Below(variables.size())]);
  } else if (roll < 935) {
    text += '@';
  } else if (roll < 950) {
    text += static_cast<char>((random.Chance(50) ? 'a' : 'A') + random.Below(26));
  } else if (roll < 955) {
    text += '=';
  } else if (roll < 958) {
    text += '\r';
  } else if (roll < 961) {
    text += '\n';
  } else if (roll < 968) {
    text += random.Pick(Strays);
  } else if (roll < 975) {
    text += static_cast<char>(0x80 + random.Below(0x80));
  } else {
    text += Digits(random, 10 + random.Below(21), false);
  }
}

std::string SoupText(Random& random, const std::vector<std::string>& variables) {
  const std::size_t length = random.Below(301);
  std::string text;
  while (text.size() < length) AppendSoupPiece(random, variables, text);
  text.resize(length);
  return text;
}

std::string Number(Random& random) {
  static constexpr std::string_view Special[] = {
      "0",          "1",          "0.5",        "0.00000000000004", "0.00000000000005", "1.5",        "0.9999999",
      "2147483647", "2147483648", "4294967296", "2147483649",       "180",              "360",        "90",
      "1e5",        "100",        "-0",         "0.0",              "3.14159265358979", "1:75",       "12.0"};
  switch (random.Below(10)) {
    case 0:
      return Digits(random, 1 + random.Below(25), random.Chance(80));
    case 1:
      return Digits(random, 1 + random.Below(12), random.Chance(80)) + "." + Digits(random, 1 + random.Below(25), false);
    case 2: {
      std::string grouped = Digits(random, 1 + random.Below(3), true);
      const std::size_t groups = 1 + random.Below(5);
      for (std::size_t i = 0; i < groups; ++i) {
        grouped += random.Chance(10) ? ",," : ",";
        grouped += Digits(random, random.Chance(80) ? 3 : 1 + random.Below(4), false);
      }
      if (random.Chance(30)) grouped += "." + Digits(random, 1 + random.Below(6), false);
      return grouped;
    }
    case 3:
      return "." + Digits(random, 1 + random.Below(25), false);
    case 4:
      return Digits(random, 1 + random.Below(25), random.Chance(80)) + ".";
    case 5: {
      std::string degrees = Digits(random, 1 + random.Below(3), false);
      if (random.Chance(40)) degrees += "." + Digits(random, random.Below(7), false);
      degrees += ":" + Digits(random, random.Below(4), false);
      if (random.Chance(50)) degrees += ":" + Digits(random, random.Below(4), false);
      return degrees;
    }
    case 6: {
      std::string colons = random.Chance(50) ? ":" : "::";
      colons += Digits(random, 1 + random.Below(3), false);
      if (colons.size() < 5 && random.Chance(40)) colons += ":" + Digits(random, 1 + random.Below(3), false);
      return colons;
    }
    case 7:
      return std::string(1, static_cast<char>('0' + random.Below(10)));
    case 8:
      return std::string(random.Pick(Special));
    default:
      return Digits(random, 1, false) + "." + Digits(random, 1 + random.Below(2), false);
  }
}

// Builds well-formed expressions token by token; signs in the middle, and
// operands side by side, are rare slips that the parser must refuse alike.
class ExpressionWriter {
 public:
  ExpressionWriter(Random& random, const std::vector<std::string>& variables)
      : random_(random), variables_(variables) {}

  std::string Write(int depth) {
    tokens_.clear();
    Expression(depth);
    return Join();
  }

 private:
  void Expression(int depth) {
    const std::size_t terms = 1 + random_.Below(depth > 0 ? 4 : 2);
    for (std::size_t i = 0; i < terms; ++i) {
      if (i > 0) tokens_.emplace_back(1, random_.Pick(Operators));
      Operand(depth, i == 0 ? 15 : 1);
    }
  }

  void Operand(int depth, unsigned signPercent) {
    if (random_.Chance(signPercent)) tokens_.emplace_back(random_.Chance(50) ? "-" : "+");
    switch (random_.Below(depth > 0 ? 10 : 4)) {
      case 0: case 1: case 2:
        tokens_.push_back(Number(random_));
        break;
      case 3:
        tokens_.push_back(MixedCase(random_, variables_[random_.Below(variables_.size())]));
        break;
      case 4: case 5:
        tokens_.push_back(MixedCase(random_, random_.Pick(FunctionNames)));
        Operand(depth - 1, 1);
        break;
      case 6: case 7:
        tokens_.push_back(MixedCase(random_, random_.Pick(FunctionNames)));
        Parenthesised(depth);
        break;
      default:
        Parenthesised(depth);
        break;
    }
  }

  void Parenthesised(int depth) {
    tokens_.emplace_back("(");
    Expression(depth - 1);
    tokens_.emplace_back(")");
  }

  static bool Sticky(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '@' || c == '.' ||
           c == ':' || c == ',';
  }

  std::string Join() {
    std::string text;
    for (const std::string& token : tokens_) {
      const bool mustSeparate = !text.empty() && Sticky(text.back()) && Sticky(token.front());
      if ((mustSeparate && random_.Chance(97)) || random_.Chance(15)) {
        text += random_.Chance(80) ? " " : random_.Chance(50) ? "\t" : "  ";
      }
      text += token;
    }
    return text;
  }

  Random& random_;
  const std::vector<std::string>& variables_;
  std::vector<std::string> tokens_;
};

// Unclosed parentheses, a stray byte, an end of statement, or padding across
// the 256-byte mark now and then.
std::string Vary(Random& random, std::string text) {
  if (random.Chance(12)) {
    std::size_t drop = random.Below(4);
    while (drop > 0 && !text.empty() && (text.back() == ')' || text.back() == ' ')) {
      if (text.back() == ')') --drop;
      text.pop_back();
    }
  }
  if (random.Chance(4) && !text.empty()) {
    static constexpr char Slips[] = {'(', ')', '-', '.', ',', ':', '#', '@', '=', '\n', '2', 'x'};
    text.insert(random.Below(text.size() + 1), 1, random.Pick(Slips));
  }
  if (random.Chance(3)) text += random.Chance(50) ? " = 9" : "\r\n+1";
  if (random.Chance(8) && text.size() < 250) {
    const std::string padding(250 - text.size() + random.Below(12), ' ');
    text = random.Chance(50) ? padding + text : text + padding;
  }
  return text;
}

std::string Repeated(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Nested a few hundred deep, past what a short text keeps on the stack
// inline; closed in full, or left open at some depth.
std::string Nested(Random& random, const std::string& inner) {
  static constexpr std::string_view Openings[] = {"(", "-(", "AbS(", "2*(", "1+(", "sqr ("};
  const std::size_t depth = 100 + random.Below(400);
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += random.Pick(Openings);
  return text + inner + Repeated(")", random.Chance(70) ? depth : random.Below(depth + 1));
}

// ---------------------------------------------------------------- tests

class Differential : public ::testing::Test {
 protected:
  void SetUp() override { DefineVariables(); }
  void TearDown() override { FreeVariable(); }
};

// Known corners (number forms, names, signs, parentheses, domains, the
// remainder's limits), under three tables: the usual variables, @RATE as a
// text, and no variable at all.
TEST_F(Differential, EdgeCases) {
  const std::vector<std::string> texts = {
      "1 + 2", "2 * sin(rad(30))", "3 * PAI", "SQR(4)", "SQRT(4)", "LOG10(5)", "1:30 + .5", "1,000,000", "1,5",
      "1.2.3", "1.5,3", "1:30.5", "1:2:3:4", "5 + 1.2.3", "1 + 2 = 9", "=5", "#5", "   ", "\t \t", "1 + #",
      "@RATE * 2", "3 * @NOPE + 1", "@A_B", "2X", "(", "12:30", "1:30:36", ":30", "::36", "1,234.5", ".25", "12.",
      "1.5:30", "1:75", "1\t+\t2", "1\v+2", "1\f+2", "2\x80", "\x80", "1.5\xFF", "@", "@@", "@A@B", "sin 1",
      "@rate", "RATE", LongName, LongNameOtherTail, LongNameCut, LongNameTooShort, "2*SIN(RAD(30))+@RATE", "",
      "1+2*3", "1-2-3", "8/4/2", "2^3^2", "-2^2", "-(2^3)%5", "SIN 2^3", "SIN 2*3", "SIN(RAD(30))", "2*-3",
      "2+-3", "2^-1", "--2", "SIN -1", "2*(-3)", ")", "2)", "2+3)", "2(3))", "2 3", "(2)(3)", "()", "(2+3", "2+(3",
      "2*(3+4", "(1/0)+2", "LOG(0)", "LOG(0-1)", "LOG(0.00000000000004)", "LOG(0.00000000000005)", "LOG(100)",
      "LOG10(100)", "1/0", "1/0.00000000000004", "1/0.00000000000005", "1/0.0001", "5%0.5", "7.9%2.5",
      "(0-7)%3", "9%(0-4)", "2%3%2", "0^(0-1)", "0^0", "2^(0-1)", "ATAN(2)", "ATAN(1)", "ACOS(1)", "ACOS(1.5)",
      "ASIN(0-1)", "SQRT(0-4)", "SQR(16)", "DEG(PAI)", "RAD(180)", "DEG(RAD(45))", "ABS(0-3)", "+5", "-5",
      "-(-3)", "EXP(1)", "COS(0)", "TAN(0)", "2147483648%3", "@MIN%(0-1)", "@MIN%1", "@BIG%7", "X%3", "X%X",
      "@NAN%3", "3%@NAN", "@INF%3", "3%@INF", "@NINF%2147483648", "0.5%0.5", "(0-0.5)%2", "3%(0-0.9)",
      "1%@BIG", "4%(0-2)*@NEGZERO", "@NEGZERO^(0-1)", "LOG(@NEGZERO)", "ACOS(@NAN)", "LOG(@NAN)", "1/@NAN"};
  {
    Comparison comparison("edge cases, usual variables");
    for (const std::string& text : texts) comparison.Check(text);
  }
  EnterVarString("@RATE", "four");
  {
    Comparison comparison("edge cases, @RATE a text");
    for (const std::string& text : texts) comparison.Check(text);
  }
  FreeVariable();
  {
    Comparison comparison("edge cases, no variables");
    for (const std::string& text : texts) comparison.Check(text);
  }
}

// The oracle itself against documented results, so an agreement means something.
TEST_F(Differential, LiteralEvaluatorGivesDocumentedResults) {
  struct Row {
    const char* text;
    int code;
    double value;
  };
  const Row rows[] = {
      {"1+2*3", 0, 7.0},          {"2^3^2", 0, 512.0},       {"-(2^3)%5", 0, -3.0},
      {"SIN(RAD(30))", 0, 0.49999999999999994},             {"2+-3", EXPRCALC_MALFORMED, 0.0},
      {"(2)(3)", EXPRCALC_MALFORMED, 0.0},                  {"2*(3+4", 0, 2.0},
      {"(1/0)+2", 1, 0.0},        {"LOG(0-1)", 3, 0.0},      {"LOG(0.00000000000004)", 2, 0.0},
      {"7.9%2.5", 0, 1.0},        {"5%0.5", 1, 0.0},         {"ATAN(2)", 0, 1.1071487177940904},
      {"SQRT(0-4)", 0, NaN},      {"DEG(RAD(45))", 0, 45.0}, {"1:30:36", 0, 1.51},
      {"1.5:30", 0, 2.0},         {"1,234.5", 0, 1234.5},    {"5 + 1.2.3", EXPRCALC_MALFORMED, 0.0},
      {"@A*2", 0, 5.0},           {"@T+1", 0, 1.0},          {"@MIN%(0-1)", 0, 0.0},
      {"@INF%3", 0, NaN},         {"X%3", 0, 1.0},           {"2X", EXPRCALC_MALFORMED, 0.0},
      {"1 + 2 = 9", 0, 3.0},      {"@A_B", 0, 2.5},
  };
  for (const Row& row : rows) {
    const Outcome outcome = EvaluateLiterally(row.text);
    EXPECT_EQ(outcome.code, row.code) << row.text;
    EXPECT_TRUE(SameValue(outcome.value, row.value)) << row.text << ": " << Hex(outcome.value);
  }
  EXPECT_EQ(EvaluateLiterally((LongNameOtherTail + "*8").c_str()).value, 1.0);
}

TEST_F(Differential, RandomTextsOverTheAlphabet) {
  Random random(0x5EED0001);
  const std::vector<std::string> variables = VariableNames();
  Comparison comparison("random texts over the alphabet");
  const std::size_t count = Scaled(220000);
  for (std::size_t i = 0; i < count; ++i) comparison.Check(SoupText(random, variables));
}

TEST_F(Differential, GeneratedExpressions) {
  Random random(0x5EED0002);
  const std::vector<std::string> variables = VariableNames();
  ExpressionWriter writer(random, variables);
  Comparison comparison("generated expressions");
  const std::size_t count = Scaled(200000);
  for (std::size_t i = 0; i < count; ++i) {
    std::string text = writer.Write(static_cast<int>(random.Below(6)));
    if (random.Chance(5)) {
      while (text.size() < 400) text += random.Pick(Operators) + writer.Write(static_cast<int>(random.Below(4)));
    }
    if (random.Below(1000) == 0) text = Nested(random, text);
    comparison.Check(Vary(random, std::move(text)));
  }
}

TEST_F(Differential, GiantTexts) {
  const std::size_t pieces = Scaled(50000);
  // The literal parser scans its stack from the bottom at every step, so only
  // the first text nests 50000 deep; the others stay shallower or flat.
  const std::vector<std::string> texts = {
      Repeated("(", pieces) + "1" + Repeated(")", pieces),
      Repeated("(", pieces / 4) + "1",
      Repeated("(", pieces / 4) + "1" + Repeated(")", pieces / 4 + 1),
      Repeated("AbS(", pieces / 8) + "-1" + Repeated(")", pieces / 8),
      Repeated("-(", pieces / 8) + "2" + Repeated(")", pieces / 8),
      Repeated("2*(", pieces / 12) + "3" + Repeated("+1)", pieces / 12),
      Repeated("sin ", pieces / 4) + "1",
      Repeated("1.0001^", pieces / 10) + "1.5",
      Repeated("1+", pieces) + "1",
      Repeated("2*3-4/5%7+", pieces / 5) + "1",
      Repeated("@A+", pieces / 2) + "@B",
      Repeated("(1+2)*", pieces / 3) + "1",
      Repeated("1", 2 * pieces),
      Repeated("1", 2 * pieces) + ".5",
      "0." + Repeated("0", 2 * pieces) + "1",
      "1" + Repeated(",000", pieces / 2),
      "1:" + Repeated("9", pieces),
      Repeated("A", 2 * pieces),
      Repeated(" ", 2 * pieces) + "1+1",
  };
  Comparison comparison("giant texts");
  for (const std::string& text : texts) comparison.Check(text);
}

}  // namespace
