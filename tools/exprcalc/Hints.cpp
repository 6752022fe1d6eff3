// Each hint looks at the bytes around the place that the library points at;
// none changes what the line means. The built-in names are listed as the
// library's table holds them (CalculatorTest checks the two agree). A word,
// for a hint, is what the writer wrote as one: the bytes between blanks,
// operators and parentheses; whether it is a name, and how much of it
// expressions read, is asked of the library (exprcalc_judge_statement).
#include "Hints.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "CharacterNames.h"
#include "ShownText.h"

namespace calculator {
namespace {

constexpr std::size_t MaxEchoedLineBytes = 60;

constexpr std::string_view BuiltInNamesHint =
    "the built-in names are SIN, COS, TAN, ASIN, ACOS, ATAN, SQR, SQRT, ABS, DEG, RAD, LOG, LOG10, EXP and PAI; "
    "variables begin with @";

// Names that other calculators know, with what this language writes instead.
struct Alias {
  std::string_view name;  // upper case
  std::string_view hint;
};
constexpr Alias Aliases[] = {
    {"PI", "write PAI for pi"},   {"LN", "LOG is the natural logarithm"},
    {"E", "write EXP(1) for e"},  {"MOD", "% is the integer remainder: 10 % 3"},
    {"X", "* multiplies: 3 * 4"}, {"POW", "^ raises to a power: 2^10"},
    {"QUIT", ":quit ends the session"}, {"EXIT", ":quit ends the session"},
};

constexpr bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsNumeralByte(char c) { return IsDigit(c) || c == '.' || c == ',' || c == ':'; }

// A byte that ends a word as written: a blank or control byte, an operator, a parenthesis, "=".
constexpr bool EndsWord(char c) {
  return static_cast<unsigned char>(c) <= ' ' || std::string_view("+-*/%^()=").find(c) != std::string_view::npos;
}

struct Word {
  std::size_t begin;
  std::size_t end;
};

Word WordAround(std::string_view line, std::size_t at) {
  Word word{std::min(at, line.size()), std::min(at, line.size())};
  while (word.begin > 0 && !EndsWord(line[word.begin - 1])) --word.begin;
  while (word.end < line.size() && !EndsWord(line[word.end])) ++word.end;
  return word;
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
  return upper;
}

exprcalc_statement_judgement JudgedStatement(const std::string& statement) {
  exprcalc_statement_judgement judgement{};
  exprcalc_judge_statement(statement.c_str(), &judgement);
  return judgement;
}

bool JudgedAStatement(const exprcalc_statement_judgement& judgement) {
  return judgement.statement.reason != EXPRCALC_REASON_NOT_A_STATEMENT &&
         judgement.statement.reason != EXPRCALC_REASON_NO_NAME;
}

// Where expressions stop reading the name in "@NAME = 0" (its length when they read all of it).
std::size_t ReadNameLength(const exprcalc_statement_judgement& judgement) {
  const exprcalc_statement_diagnosis& d = judgement.statement;
  for (int i = 0; i < std::clamp(judgement.count, 0, EXPRCALC_MOST_FINDINGS); ++i) {
    const exprcalc_finding& finding = judgement.findings[i];
    if (finding.kind == EXPRCALC_FINDING_UNREADABLE_NAME && finding.at >= d.name_at) return finding.at - d.name_at;
  }
  return d.name_length;
}

// "RATE = 4": a line that would be a statement, its name readable, but for the "@" before its name.
std::optional<std::string> MissingAtHint(std::string_view line) {
  const std::string text(line);
  const exprcalc_statement_judgement judged = JudgedStatement(text);
  const std::size_t nameAt = judged.statement.name_at;
  if (judged.statement.reason != EXPRCALC_REASON_NO_NAME || judged.statement.name_length == 0 ||
      nameAt >= line.size() || !IsLetter(line[nameAt])) {
    return std::nullopt;
  }
  const std::string withAt = text.substr(0, nameAt) + "@" + text.substr(nameAt);
  const exprcalc_statement_judgement fixed = JudgedStatement(withAt);
  if (!JudgedAStatement(fixed) || ReadNameLength(fixed) != fixed.statement.name_length) return std::nullopt;
  return std::string(exprcalc_reason_message(EXPRCALC_REASON_NO_NAME)) + ": " +
         ShownShort(withAt.substr(nameAt), MaxEchoedLineBytes);
}

// "1.5e3": a number, then "e" or "E", an optional sign and digits.
std::optional<std::string> ExponentHint(std::string_view line, std::size_t at) {
  if (at == 0 || at >= line.size() || (line[at] != 'e' && line[at] != 'E')) return std::nullopt;
  std::size_t begin = at;
  while (begin > 0 && (IsDigit(line[begin - 1]) || line[begin - 1] == '.' || line[begin - 1] == ',')) --begin;
  std::size_t digits = at + 1;
  if (digits < line.size() && (line[digits] == '+' || line[digits] == '-')) ++digits;
  std::size_t end = digits;
  while (end < line.size() && IsDigit(line[end])) ++end;
  if (begin == at || end == digits) return std::nullopt;
  const std::string_view mantissa = line.substr(begin, at - begin);
  const std::string_view exponent = line.substr(at + 1, end - at - 1);
  if (mantissa.size() + exponent.size() > MaxEchoedNameBytes) {
    return "there is no exponent notation: write a*10^b for aEb";
  }
  const std::string power = exponent.front() == '-' ? "(" + std::string(exponent) + ")" : std::string(exponent);
  return "there is no exponent notation: write " + std::string(mantissa) + "*10^" + power + " for " +
         std::string(line.substr(begin, end - begin));
}

// "0x1F": a numeral 0 that stands alone, then "x" and hexadecimal digits.
std::optional<std::string> HexadecimalHint(std::string_view line, std::size_t at) {
  if (at == 0 || at >= line.size() || (line[at] != 'x' && line[at] != 'X') || line[at - 1] != '0') return std::nullopt;
  if (at >= 2 && IsNumeralByte(line[at - 2])) return std::nullopt;
  std::uint64_t value = 0;
  const char* const digits = line.data() + at + 1;
  const auto [end, error] = std::from_chars(digits, line.data() + line.size(), value, 16);
  if (end == digits) return std::nullopt;
  const std::string written(line.substr(at - 1, static_cast<std::size_t>(end - digits) + 2));
  if (error != std::errc{} || written.size() > MaxEchoedNameBytes) {
    return "there is no hexadecimal notation: write the number in decimal";
  }
  return "there is no hexadecimal notation: write " + std::to_string(value) + " for " + written;
}

// "@MY_RATE": a word written as a name that expressions read only in part
// (the byte that stops them followed by more of the word).
std::optional<std::string> StrayByteHint(std::string_view line, std::size_t at) {
  const Word word = WordAround(line, at);
  if (word.begin == word.end || !(line[word.begin] == '@' || IsLetter(line[word.begin]))) return std::nullopt;
  const std::string_view written = line.substr(word.begin, word.end - word.begin);
  const std::string prefix = written.front() == '@' ? "" : "@";
  const exprcalc_statement_judgement judged = JudgedStatement(prefix + std::string(written) + " = 0");
  const std::size_t read = ReadNameLength(judged);
  if (!JudgedAStatement(judged) || read <= prefix.size() || read >= judged.statement.name_length) {
    return std::nullopt;
  }
  return UnreadNameHint(written, read - prefix.size());
}

std::vector<std::string> UnknownNameHints(std::string_view line, std::size_t at) {
  if (auto hint = MissingAtHint(line)) return {*hint};
  if (auto hint = ExponentHint(line, at)) return {*hint};
  if (auto hint = HexadecimalHint(line, at)) return {*hint};
  std::vector<std::string> hints;
  if (auto hint = StrayByteHint(line, at)) {
    hints.push_back(*hint);
  } else {
    const std::string word = UpperCase(line.substr(at, WordAround(line, at).end - at));
    for (const Alias& alias : Aliases) {
      if (alias.name == word) hints.emplace_back(alias.hint);
    }
  }
  hints.emplace_back(BuiltInNamesHint);
  return hints;
}

// line with text inserted at at, when it is short enough to echo whole.
std::optional<std::string> Rewritten(std::string_view line, std::size_t at, std::string_view text,
                                     std::size_t replaced = 0) {
  if (line.size() > MaxEchoedLineBytes || at + replaced > line.size()) return std::nullopt;
  std::string rewritten(line);
  rewritten.replace(at, replaced, text);
  return Shown(rewritten);
}

std::vector<std::string> OperandBeforeParenthesisHints(std::string_view line, const exprcalc_finding& finding) {
  if (const auto rewritten = Rewritten(line, finding.at, "*")) return {"to multiply, write " + *rewritten};
  return {"to multiply, write the operator: 2*(3), not 2(3)"};
}

std::vector<std::string> RepeatedOperatorHints(std::string_view line, const exprcalc_finding& finding) {
  const bool power = finding.other + 1 == finding.at && finding.at < line.size() && line[finding.other] == '*' &&
                     line[finding.at] == '*';
  if (!power) return {};
  const auto rewritten = Rewritten(line, finding.other, "^", 2);
  return {rewritten ? "^ raises to a power: write " + *rewritten : "^ raises to a power: 2^3, not 2**3"};
}

std::vector<std::string> SignAfterOperatorHints(std::string_view line, const exprcalc_finding& finding) {
  std::size_t end = finding.at + 1;
  while (end < line.size() && IsNumeralByte(line[end])) ++end;
  if (end == finding.at + 1 || line.size() > MaxEchoedLineBytes) return {};
  std::string rewritten(line);
  rewritten.insert(end, ")");
  rewritten.insert(finding.at, "(");
  return {"write " + Shown(rewritten)};
}

// Three digits and no more, as a group of thousands is written after a blank.
bool IsThousandsGroup(std::string_view rest) {
  std::size_t digits = 0;
  while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
  return digits == 3;
}

// The line with every run of blanks between two digits taken out: 1000000 for 1 000 000.
std::string WithoutBlanksInDigits(std::string_view line) {
  std::string joined;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ' ' && !joined.empty() && IsDigit(joined.back())) {
      std::size_t next = i;
      while (next < line.size() && line[next] == ' ') ++next;
      if (next < line.size() && IsDigit(line[next])) {
        i = next - 1;
        continue;
      }
    }
    joined += line[i];
  }
  return joined;
}

// "2PAI", "2SIN(1)": a multiplication written without its "*"; "1 000":
// digits grouped by a blank, which no number holds.
std::vector<std::string> OperandBeforeOperandHints(std::string_view line, const exprcalc_finding& finding) {
  std::size_t gap = finding.at;
  while (gap > 0 && static_cast<unsigned char>(line[gap - 1]) <= ' ') --gap;
  if (gap < finding.at && gap > 0 && IsNumeralByte(line[gap - 1]) && IsThousandsGroup(line.substr(finding.at))) {
    const auto rewritten = Rewritten(WithoutBlanksInDigits(line), 0, "");
    return {rewritten && line.size() <= MaxEchoedLineBytes ? "numbers hold no blanks: write " + *rewritten
                                                           : "numbers hold no blanks: write 1000 for 1 000"};
  }
  if (const auto rewritten = Rewritten(line, gap, "*", finding.at - gap)) return {"to multiply, write " + *rewritten};
  return {"to multiply, write the operator: 2*PAI, not 2PAI"};
}

// "5%": "%" is the remainder, which takes a right operand; a percentage is a division.
std::optional<std::string> TrailingPercentHint(std::string_view line, std::size_t at) {
  std::size_t end = line.size();
  while (end > 0 && static_cast<unsigned char>(line[end - 1]) <= ' ') --end;
  if (end == 0 || line[end - 1] != '%' || at + 1 < end - 1) return std::nullopt;
  std::size_t percent = end - 1;
  while (percent > 0 && static_cast<unsigned char>(line[percent - 1]) <= ' ') --percent;
  const auto rewritten = Rewritten(line, percent, "/100", line.size() - percent);
  return "% is the integer remainder (10 % 3); for a percentage write " +
         (rewritten ? *rewritten : std::string("5/100 for 5%"));
}

// "2@X" where no @X is stored: had it been, the "*" would still be missing.
std::optional<std::string> MultiplyBeforeHint(std::string_view line, std::size_t at) {
  std::size_t gap = at;
  while (gap > 0 && static_cast<unsigned char>(line[gap - 1]) <= ' ') --gap;
  if (gap == 0 || !(IsNumeralByte(line[gap - 1]) || line[gap - 1] == ')')) return std::nullopt;
  if (const auto rewritten = Rewritten(line, gap, "*", at - gap)) return "to multiply, write " + *rewritten;
  return std::nullopt;
}

std::vector<std::string> PowerOfArgumentHints(std::string_view line, const exprcalc_finding& finding) {
  if (finding.other >= finding.at || finding.at - finding.other > MaxEchoedNameBytes) return {};
  std::size_t end = finding.at + 1;
  while (end < line.size() && IsNumeralByte(line[end])) ++end;
  return {"for a power of its value write (" + Shown(line.substr(finding.other, finding.at - finding.other)) + ")" +
          Shown(line.substr(finding.at, end - finding.at))};
}

}  // namespace

std::vector<std::string> StopHints(std::string_view line, const exprcalc_diagnosis& d) {
  const std::size_t at = d.read;
  if (at >= line.size()) return {};
  switch (d.stop) {
    case EXPRCALC_STOP_UNKNOWN_NAME:
      return UnknownNameHints(line, at);
    case EXPRCALC_STOP_UNKNOWN_VARIABLE:
      if (auto hint = StrayByteHint(line, at)) return {*hint};
      if (auto hint = MultiplyBeforeHint(line, at)) return {*hint};
      return {};
    case EXPRCALC_STOP_UNREADABLE_BYTE:
      if (auto hint = CharacterHint(line.substr(at))) return {*hint};
      if (auto hint = StrayByteHint(line, at)) return {*hint};
      return {};
    default:
      return {};
  }
}

std::vector<std::string> NoteHints(std::string_view line, const exprcalc_finding& finding) {
  if (finding.at >= line.size() || (finding.other != EXPRCALC_NOWHERE && finding.other >= line.size())) return {};
  switch (finding.kind) {
    case EXPRCALC_FINDING_DIGIT_GROUPS:
      return {"the decimal point is \".\""};
    case EXPRCALC_FINDING_POWER_OF_ARGUMENT:
      return PowerOfArgumentHints(line, finding);
    case EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS:
      return OperandBeforeParenthesisHints(line, finding);
    case EXPRCALC_FINDING_REPEATED_OPERATOR:
      return RepeatedOperatorHints(line, finding);
    case EXPRCALC_FINDING_SIGN_AFTER_OPERATOR:
      return SignAfterOperatorHints(line, finding);
    case EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND:
      return OperandBeforeOperandHints(line, finding);
    default:
      return {};
  }
}

std::vector<std::string> MalformedHints(std::string_view line, std::size_t at) {
  if (auto hint = TrailingPercentHint(line, at)) return {*hint};
  return {};
}

std::string UnreadNameHint(std::string_view name, std::size_t readLength) {
  return "names hold only letters and digits: " + ShownShort(name, MaxEchoedNameBytes) + " reads as " +
         ShownShort(name.substr(0, std::min(readLength, name.size())), MaxEchoedNameBytes);
}

std::string SessionCommandHint() {
  return "start the session with exprcalc alone on a terminal, or with exprcalc -i on a pipe";
}

}  // namespace calculator
