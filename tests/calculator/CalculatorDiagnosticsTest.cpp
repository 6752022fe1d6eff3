// What the calculator says about a line it cannot take as it stands: the
// traps of the language that used to print a value and exit 0, statements
// that are refused or store what no expression reads, warnings, echoes of
// long lines and of control bytes, and the words shared with the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CalculatorProcess.h"
#include "exprcalc.h"
#include "language/BuiltIns.h"

namespace calculatortest {
namespace {

constexpr int Success = 0;
constexpr int LineFailed = 1;

std::string Warned(const std::string& place, const std::string& message, const std::string& line,
                   const std::vector<std::string>& hints = {}) {
  return Reported(place, "warning: " + message, line, hints);
}

TEST(CalculatorDiagnostics, TrapsOfTheLanguageAreErrorsWithTheirPlaceAndAHint) {
  const std::string unknownName = Stop(EXPRCALC_STOP_UNKNOWN_NAME);
  const std::string unclosed = exprcalc_finding_message(EXPRCALC_FINDING_CONTENTS_DROPPED);
  const std::string digitGroups = exprcalc_finding_message(EXPRCALC_FINDING_DIGIT_GROUPS);
  const std::string myRate = "names hold only letters and digits: @MY_RATE reads as @MY";
  const std::string sessionHint =
      "start the session with exprcalc alone on a terminal, or with exprcalc -i on a pipe";
  ExpectRuns({
      {"unknown variable", {"@NOPE+1"}, "", "",
       Reported("argument 1, column 1", Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE), "@NOPE+1"), LineFailed},
      {"a name with _ stored, then read", {"@MY_RATE = 5", "@MY_RATE * 2"}, "", "",
       Warned("argument 1, column 4", "@MY_RATE is stored, but expressions cannot read this name", "@MY_RATE = 5",
              {myRate}) +
           Reported("argument 2, column 1", Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE), "@MY_RATE * 2", {myRate}),
       LineFailed},
      {"_ after a stored name", {"@RATE = 4", "@RATE_2"}, "", "",
       Reported("argument 2, column 6", Stop(EXPRCALC_STOP_UNREADABLE_BYTE), "@RATE_2",
                {"names hold only letters and digits: @RATE_2 reads as @RATE"}),
       LineFailed},
      {"statement without @", {"RATE = 4"}, "", "",
       Reported("argument 1, column 1", unknownName, "RATE = 4",
                {std::string(exprcalc_reason_message(EXPRCALC_REASON_NO_NAME)) + ": @RATE = 4"}),
       LineFailed},
      {"exponent", {"1.5e3"}, "", "",
       Reported("argument 1, column 4", unknownName, "1.5e3",
                {"there is no exponent notation: write 1.5*10^3 for 1.5e3"}),
       LineFailed},
      {"hexadecimal", {"1+0x1F"}, "", "",
       Reported("argument 1, column 4", unknownName, "1+0x1F",
                {"there is no hexadecimal notation: write 31 for 0x1F"}),
       LineFailed},
      {"negative exponent", {"2*1e-5"}, "", "",
       Reported("argument 1, column 4", unknownName, "2*1e-5",
                {"there is no exponent notation: write 1*10^(-5) for 1e-5"}),
       LineFailed},
      {"ln", {"ln(2)"}, "", "",
       Reported("argument 1, column 1", unknownName, "ln(2)", {"LOG is the natural logarithm", BuiltInNamesHint}),
       LineFailed},
      {"pi", {"pi"}, "", "",
       Reported("argument 1, column 1", unknownName, "pi", {"write PAI for pi", BuiltInNamesHint}), LineFailed},
      {"a comma that does not group by three warns", {"3,5*2"}, "", "70\n",
       Warned("argument 1, column 2", digitGroups, "3,5*2",
              {"the decimal point is \".\""}),
       Success},
      {"groups of three, a first group of one to three", {"1,234.5", "12,345,678", "0,5"}, "", "1234.5\n12345678\n5\n",
       Warned("argument 3, column 2", digitGroups, "0,5",
              {"the decimal point is \".\""}),
       Success},
      {"a first group of 0 is never thousands", {"0,500", "00,500"}, "", "500\n500\n",
       Warned("argument 1, column 2", digitGroups, "0,500", {"the decimal point is \".\""}) +
           Warned("argument 2, column 3", digitGroups, "00,500", {"the decimal point is \".\""}),
       Success},
      {"a group of three after a first group of four", {"1000,500"}, "", "1000500\n",
       Warned("argument 1, column 5", digitGroups, "1000,500",
              {"the decimal point is \".\""}),
       Success},
      {"unclosed ( whose contents are dropped", {"2*(3+4", "(2+3"}, "", "5\n",
       Reported("argument 1, column 3", unclosed, "2*(3+4"), LineFailed},
      {"the dropped ( is the one after something", {"(1+2*(3+4"}, "", "",
       Reported("argument 1, column 6", unclosed, "(1+2*(3+4"), LineFailed},
      {"mod", {"10 mod 3"}, "", "",
       Reported("argument 1, column 4", unknownName, "10 mod 3",
                {"% is the integer remainder: 10 % 3", BuiltInNamesHint}),
       LineFailed},
      {"factorial", {"5!"}, "", "", Reported("argument 1, column 2", Stop(EXPRCALC_STOP_UNREADABLE_BYTE), "5!"),
       LineFailed},
      {"x", {"3 x 4"}, "", "",
       Reported("argument 1, column 3", unknownName, "3 x 4", {"* multiplies: 3 * 4", BuiltInNamesHint}), LineFailed},
      {"= in an expression", {"1 + 2 = 9"}, "", "",
       Reported("argument 1, column 7", Stop(EXPRCALC_STOP_LINE_END), "1 + 2 = 9"), LineFailed},
      {"a line end and white space are the end", {"5\r", " 6 \n "}, "", "5\n6\n", "", Success},
      {"session command on a pipe", {}, ":vars\n", "",
       Reported("<stdin>:1:1", "a session command, which only the interactive session runs", ":vars", {sessionHint}),
       LineFailed},
      {"session command as an argument", {"  :clear"}, "", "",
       Reported("argument 1, column 3", "a session command, which only the interactive session runs", "  :clear",
                {sessionHint}),
       LineFailed},
      {"statement failing in its evaluation", {"@A = 1/0"}, "", "",
       Reported("argument 1, column 7",
                NotCarriedOut(EXPRCALC_REASON_EVALUATION) + ": " + Code(EXPRCALC_DIVISION_BY_ZERO), "@A = 1/0"),
       LineFailed},
      {"a right part not read to its end is not carried out", {"@A = 2", "@A = 1.5e3", "@A = 3*(4", "@A"}, "", "2\n",
       Reported("argument 2, column 9", "statement not carried out: " + unknownName, "@A = 1.5e3",
                {"there is no exponent notation: write 1.5*10^3 for 1.5e3"}) +
           Reported("argument 3, column 8", "statement not carried out: " + unclosed, "@A = 3*(4"),
       LineFailed},
      {"a text variable read as 0 in a statement", {"@T = \"x", "@N = 1 + @T", "@N"}, "", "1\n",
       Warned("argument 2, column 10", exprcalc_finding_message(EXPRCALC_FINDING_TEXT_VARIABLE), "@N = 1 + @T"),
       Success},
      {"a NUL byte", {}, std::string("1\0+2\n", 5), "",
       Reported("<stdin>:1:2", "a NUL byte, which expressions and statements do not read", "1\\x00+2"), LineFailed},
  });
}

// The echo shows control bytes and bytes of invalid UTF-8 escaped; the
// column counts bytes, the caret stands under the character.
TEST(CalculatorDiagnostics, EchoesControlBytesEscapedWithTheCaretInPlace) {
  const std::string unreadable = Stop(EXPRCALC_STOP_UNREADABLE_BYTE);
  const std::string byZero = NotCarriedOut(EXPRCALC_REASON_EVALUATION) + ": " + Code(EXPRCALC_DIVISION_BY_ZERO);
  const auto named = [](const std::string& what) { return "  hint: the character here is " + what + "\n"; };
  ExpectRuns({
      {"tab and escape", {"\t1+\x1b[2J"}, "", "",
       "exprcalc: argument 1, column 4: " + unreadable + "\n  \\t1+\\x1B[2J\n      ^\n" +
           named("an escape character (U+001B); delete it"),
       LineFailed},
      {"line feed", {"1\n2"}, "", "",
       "exprcalc: argument 1, column 2: " + Stop(EXPRCALC_STOP_LINE_END) + "\n  1\\n2\n   ^\n", LineFailed},
      {"invalid UTF-8 and a C1 control", {"\xff", "\xc2\x9b"}, "", "",
       "exprcalc: argument 1, column 1: " + unreadable + "\n  \\xFF\n  ^\n" +
           "  hint: the byte here (\\xFF) is not part of a UTF-8 character; delete it\n" +
           "exprcalc: argument 2, column 1: " + unreadable + "\n  \\xC2\\x9B\n  ^\n" +
           named("a control character (U+009B); delete it"),
       LineFailed},
      {"a UTF-8 letter takes one column", {"@\xc3\xa9 = 1/0"}, "", "",
       "exprcalc: argument 1, column 8: " + byZero + "\n  @\xc3\xa9 = 1/0\n        ^\n", LineFailed},
      {"invisible characters are escaped and named", {"1\xc2\xa0+1", "2+\xe2\x80\x8b" "3", "\xef\xbb\xbf" "4"}, "", "",
       "exprcalc: argument 1, column 2: " + unreadable + "\n  1\\u00A0+1\n   ^\n" +
           named("a no-break space (U+00A0); write a plain blank") + "exprcalc: argument 2, column 3: " +
           unreadable + "\n  2+\\u200B3\n    ^\n" + named("a zero-width space (U+200B); delete it") +
           "exprcalc: argument 3, column 1: " + unreadable + "\n  \\uFEFF4\n  ^\n" +
           named("a byte-order mark (U+FEFF); delete it"),
       LineFailed},
      {"a look-alike of an operator is named", {"4\xe2\x88\x92" "1"}, "", "",
       "exprcalc: argument 1, column 2: " + unreadable + "\n  4\xe2\x88\x92" "1\n   ^\n" +
           named("a minus sign (U+2212); write - to subtract"),
       LineFailed},
  });
  const Outcome listed = RunCalculator({"-i"}, "@A\x01" "B = \"x\x1b[31m\n@LONGER = 1\n:vars\n");
  EXPECT_EQ(listed.output, "0  @A\\x01B  text    \"x\\x1B[31m\"\n1  @LONGER  number  1\n");
}

// A long line is echoed around the place, at most 200 bytes of it, with "..."
// where it was cut, and the caret under the byte at the column reported.
TEST(CalculatorDiagnostics, EchoesAboutTwoHundredBytesOfALongLine) {
  constexpr std::size_t Length = 1201;
  constexpr std::size_t MostShown = 200 + 2 * 3;
  for (const std::size_t at : {std::size_t{1}, std::size_t{61}, std::size_t{150}, std::size_t{600}, Length - 1}) {
    std::string line;
    while (line.size() < Length) line += "1+";
    line.resize(Length);
    line[at] = '#';
    const Outcome outcome = RunCalculator({line});
    std::istringstream lines(outcome.errors);
    std::string message, echo, caret;
    std::getline(lines, message);
    std::getline(lines, echo);
    std::getline(lines, caret);
    EXPECT_EQ(message,
              "exprcalc: argument 1, column " + std::to_string(at + 1) + ": " + Stop(EXPRCALC_STOP_UNREADABLE_BYTE));
    EXPECT_LE(echo.size(), 2 + MostShown) << at;
    EXPECT_NE(echo.find("..."), std::string::npos) << at;
    ASSERT_EQ(caret.find_first_not_of(' '), caret.size() - 1) << at;
    EXPECT_EQ(echo[caret.size() - 1], '#') << at << ": " << echo << "\n" << caret;
  }
}

// The hint lists the library's built-in names, all of them and only them.
TEST(CalculatorDiagnostics, TheHintListsTheBuiltInNames) {
  constexpr std::string_view Lead = "the built-in names are ";
  ASSERT_EQ(BuiltInNamesHint.rfind(Lead, 0), 0u);
  std::string list = BuiltInNamesHint.substr(Lead.size(), BuiltInNamesHint.find(';') - Lead.size());
  list.replace(list.find(" and "), 5, ", ");
  std::vector<std::string> hinted;
  std::istringstream names(list);
  for (std::string name; std::getline(names, name, ',');) hinted.push_back(name.substr(name.front() == ' '));
  std::vector<std::string> builtIn;
  for (const exprcalc::BuiltIn& name : exprcalc::BuiltIns) builtIn.emplace_back(name.name);
  std::sort(hinted.begin(), hinted.end());
  std::sort(builtIn.begin(), builtIn.end());
  EXPECT_EQ(hinted, builtIn);
  EXPECT_NE(RunCalculator({"ln(2)"}).errors.find(BuiltInNamesHint), std::string::npos);
}

// The manual page lists every message of the library that the calculator prints.
TEST(CalculatorDiagnostics, TheManualPageListsTheLibrarysMessages) {
  std::ifstream file(EXPRCALC_MAN_PAGE);
  std::string page, line;
  while (std::getline(file, line)) {
    for (std::size_t at = line.find("\\-"); at != std::string::npos; at = line.find("\\-", at)) line.erase(at, 1);
    page += line + "\n";
  }
  ASSERT_FALSE(page.empty());
  std::vector<std::string> messages;
  for (int code : {EXPRCALC_DIVISION_BY_ZERO, EXPRCALC_DOMAIN_ERROR, EXPRCALC_NEGATIVE_LOGARITHM,
                   EXPRCALC_OUT_OF_MEMORY, EXPRCALC_MALFORMED}) {
    messages.push_back(exprcalc_message(code));
  }
  for (int stop = EXPRCALC_STOP_LINE_END; stop <= EXPRCALC_STOP_OUT_OF_MEMORY; ++stop) {
    messages.push_back(exprcalc_stop_message(stop));
  }
  // A line handed over as a statement has "=" and a name with "@", so it never fails as "not a statement";
  // the words for a name without "@" come as the hint for "RATE = 4".
  for (int reason : {EXPRCALC_REASON_NO_NAME, EXPRCALC_REASON_EVALUATION, EXPRCALC_REASON_NO_ROOM,
                     EXPRCALC_REASON_NOTHING_TO_REMOVE}) {
    messages.push_back(exprcalc_reason_message(reason));
  }
  for (int kind : {EXPRCALC_FINDING_CONTENTS_DROPPED, EXPRCALC_FINDING_TEXT_CUT, EXPRCALC_FINDING_TEXT_VARIABLE,
                   EXPRCALC_FINDING_DIGIT_GROUPS, EXPRCALC_FINDING_POWER_OF_ARGUMENT,
                   EXPRCALC_FINDING_NUMBER_WITHOUT_DIGITS, EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS,
                   EXPRCALC_FINDING_REPEATED_OPERATOR, EXPRCALC_FINDING_SIGN_AFTER_OPERATOR,
                   EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND}) {
    messages.push_back(exprcalc_finding_message(kind));
  }
  for (const std::string& message : messages) EXPECT_NE(page.find(message), std::string::npos) << message;
}

// What people write from other calculators or from print: a product
// without its "*", digits grouped by a blank, a superscript power, a
// percentage. The library says where and why; the hint says what to write.
TEST(CalculatorDiagnostics, MissingOperatorsAndLookAlikesGetAHint) {
  const std::string twoOperands = exprcalc_finding_message(EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND);
  const std::string malformed = Code(EXPRCALC_MALFORMED);
  const std::string unreadable = Stop(EXPRCALC_STOP_UNREADABLE_BYTE);
  const std::string percent = "% is the integer remainder (10 % 3); for a percentage write ";
  struct Case {
    std::string line;
    std::size_t column;
    std::string message;
    std::string hint;
  };
  const std::vector<Case> cases{
      {"2PAI", 2, twoOperands, "to multiply, write 2*PAI"},
      {"2SIN(1)", 2, twoOperands, "to multiply, write 2*SIN(1)"},
      {"3 @X", 3, twoOperands, "to multiply, write 3*@X"},
      {"(1+2)PAI", 6, twoOperands, "to multiply, write (1+2)*PAI"},
      {"2@NOPE", 2, Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE), "to multiply, write 2*@NOPE"},
      {"1 000", 3, twoOperands, "numbers hold no blanks: write 1000"},
      {"1 000 000+2", 3, twoOperands, "numbers hold no blanks: write 1000000+2"},
      {"2 3", 3, twoOperands, "to multiply, write 2*3"},
      {"2\u00B2", 2, unreadable, "the character here is a superscript two (U+00B2); write ^2 to raise to a power"},
      {"2\u00B3", 2, unreadable, "the character here is a superscript three (U+00B3); write ^3 to raise to a power"},
      {"5%", 2, malformed, percent + "5/100"},
      {"20 % ", 4, malformed, percent + "20/100"},
  };
  std::vector<calculatortest::Run> runs;
  for (const Case& c : cases) {
    runs.push_back({c.line.c_str(), {"@X = 4", c.line}, "", "",
                    Reported("argument 2, column " + std::to_string(c.column), c.message, c.line, {c.hint}),
                    LineFailed});
  }
  ExpectRuns(runs);
}

}  // namespace
}  // namespace calculatortest
