// Prepared expressions against ParseString, code and value bit for bit:
// texts over the language's alphabet and generated expressions, short and
// past 256 bytes, each prepared once and evaluated after every one of a
// series of random table changes (new values, added, removed and retyped
// variables, growth, a cleared table, statements). While only values have
// been written, the prepared program must be what runs: it is evaluated with
// every allocation failing, which a text past 256 bytes cannot survive.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "AllocationFaults.h"
#include "Random.h"
#include "ExtremeValues.h"
#include "exprcalc.h"
#include "program/Program.h"

namespace {

using exprcalc::testing::Random;

const char* const Names[] = {"@A", "@B", "@C", "@T", "@MISSING", "X", "@a", "QTY"};
// NaNs of both signs, with a payload, and signalling: a sum or product of two
// NaNs gives the first one's, quieted, whichever way it is computed.
const double Values[] = {0.0, -0.0, 1.0, -1.0, 2.5, 0.5, 1e-15, -7.0, 1e300, 3.0,
                         std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::quiet_NaN(), std::bit_cast<double>(0x7FF800000000BEEFull),
                         std::bit_cast<double>(0xFFF0000000000001ull)};

// A soup of tokens: malformed as often as not.
std::string TokenSoup(Random& random) {
  static const char* const pieces[] = {"1", "2.5", "0", ":30", "1,000", ".5", "12:30:36", "1.2.3", "@A", "@B", "@C",
                                       "@T", "@MISSING", "X", "QTY", "PAI", "SIN", "LOG", "ACOS", "SQRT", "+", "-",
                                       "*", "/", "%", "^", "(", ")", " ", "#", "_", "=", "e5"};
  std::string text;
  for (std::size_t n = 1 + random.Below(12); n > 0; --n) text += random.Pick(pieces);
  return text;
}

const char* const Operators[] = {"+", "-", "*", "/", "%", "^"};

// A well-formed expression over the variables, nested to the given depth.
std::string Expression(Random& random, int depth) {
  static const char* const leaves[] = {"@A", "@B", "@C", "@T", "X", "2", "0.5", "PAI", "@MISSING", "0", " @A", "\t X"};
  static const char* const functions[] = {"SIN", "COS",  "TAN", "LOG",  "LOG10", "SQRT", "ACOS",
                                          "ASIN", "ATAN", "EXP", "ABS", "DEG",   "RAD"};
  if (depth == 0 || random.Below(3) == 0) return random.Pick(leaves);
  switch (random.Below(4)) {
    case 0: return std::string(random.Pick(functions)) + "(" + Expression(random, depth - 1) + ")";
    case 1: return "(" + Expression(random, depth - 1) + ")";
    case 2: return "-(" + Expression(random, depth - 1) + ")";
    default: return Expression(random, depth - 1) + random.Pick(Operators) + Expression(random, depth - 1);
  }
}

// Only + - * / and no built-in, each left operand computed and each right
// one a group, then some of those operands again: the stack holds a computed
// value per level and the repeated ones are kept, and the machine code holds
// them all in registers while they fit (past the eighth included).
std::string CallFree(Random& random, int levels) {
  static const char* const leaves[] = {"@A", "@B", "@C", "X", "2", "0.5"};
  auto pick = [&] { return std::string(random.Pick(leaves)); };
  auto op = [&] { return std::string(Operators[random.Below(4)]); };
  std::vector<std::string> terms;
  std::string text = pick();
  for (int i = 0; i < levels; ++i) {
    terms.push_back("(" + pick() + op() + pick() + ")");
    text = terms.back() + op() + "(" + text + ")";
  }
  for (std::size_t again = random.Below(4); again > 0; --again) text += op() + terms[random.Below(terms.size())];
  return text;
}

// One random change of the table: any of the writing calls.
void ChangeTable(Random& random) {
  const char* name = random.Pick(Names);
  const double value = random.Pick(Values);
  switch (random.Below(12)) {
    case 0: case 1: case 2: exprcalc_set_double(static_cast<int>(random.Below(10)) - 1, value); break;
    case 3: case 4: EnterVarDouble(name, value); break;
    case 5: EnterVarString(name, "text"); break;
    case 6: RemoveVariable(name); break;
    case 7: RemoveVarIndex(static_cast<int>(random.Below(4))); break;
    case 8: for (int i = 0; i < 20; ++i) EnterVarDouble(("@G" + std::to_string(random.Below(100))).c_str(), i); break;
    case 9: if (random.Below(4) == 0) FreeVariable(); break;
    case 10: Substitution((std::string(name) + " = " + std::to_string(value)).c_str()); break;
    default: break;
  }
}

// A new value for a number variable, by index, by name or by statement:
// the table's shape stays as it is.
void WriteValue(Random& random) {
  const char* name = random.Pick(Names);
  const double value = random.Pick(Values);
  int type = 0;
  const int index = GetIndexByKey(name, &type);
  if (index < 0 || type != EXPRCALC_TYPE_NUMBER || random.Below(3) == 0) {
    exprcalc_set_double(static_cast<int>(random.Below(4)), value);
  } else if (name[0] == '@' && random.Below(2) == 0) {
    Substitution((std::string(name) + " = " + std::to_string(value)).c_str());
  } else {
    EnterVarDouble(name, value);
  }
}

int EvaluateWithoutMemory(const exprcalc_expr* expr, double& value) {
  exprcalc::allocation::FailAfter(0, true);
  const int code = exprcalc_evaluate(expr, &value);
  exprcalc::allocation::StopFailing();
  return code;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

using exprcalc::testing::ColumnExtremes;

// Evaluates expr until it runs as machine code, where it will: a program is
// compiled only once its evaluations show that compiling pays.
void WarmUp(const exprcalc_expr* expr) {
  double ignored = 0.0;
  int why = EXPRCALC_CODE_NOT_YET;
  for (int i = 0; i < 1000 && exprcalc_code_form(expr, &why) != EXPRCALC_FORM_MACHINE_CODE &&
                  why == EXPRCALC_CODE_NOT_YET;
       ++i) {
    exprcalc_evaluate(expr, &ignored);
  }
}

// Prepares text and compares it with ParseString after each of several
// changes; warm: as machine code from the start, where it can be had.
void Compare(const std::string& text, bool warm, Random& random, std::size_t& compared,
             std::string& firstMismatch) {
  exprcalc_expr* expr = nullptr;
  ASSERT_EQ(exprcalc_prepare(text.c_str(), &expr), EXPRCALC_OK) << text;
  if (warm) WarmUp(expr);
  bool onlyValuesWritten = true;
  for (int step = 0; step < 12; ++step) {
    double prepared = 1.0;
    double parsed = 2.0;
    const int preparedCode =
        onlyValuesWritten ? EvaluateWithoutMemory(expr, prepared) : exprcalc_evaluate(expr, &prepared);
    const int parsedCode = ParseString(text.c_str(), &parsed);
    ++compared;
    if ((preparedCode != parsedCode || !SameBits(prepared, parsed)) && firstMismatch.empty()) {
      firstMismatch = "\"" + text + "\" at step " + std::to_string(step) + ": prepared " +
                      std::to_string(preparedCode) + " " + std::to_string(prepared) + " (" +
                      std::to_string(std::bit_cast<std::uint64_t>(prepared)) + "), ParseString " +
                      std::to_string(parsedCode) + " " + std::to_string(parsed) + " (" +
                      std::to_string(std::bit_cast<std::uint64_t>(parsed)) + ")";
    }
    if (random.Below(3) == 0) {
      WriteValue(random);  // the common case
    } else {
      ChangeTable(random);
      onlyValuesWritten = false;
    }
  }
  exprcalc_release(expr);
}

// Growing the table moves its records. That alone must send prepared
// programs back to their text, also when the variable being added then
// finds no room and the table keeps its shape: steps read the records where
// they were compiled. Each round adds a variable with the allocation after
// the growth failing, until a growth has been met.
TEST(Prepared, RecordsThatMoveWithoutANewVariableAreReadWhereTheyAre) {
  FreeVariable();
  EnterVarDouble("@A", 1.5);
  const char* text = "@A*2+1";
  int type = 0;
  const int a = GetIndexByKey("@A", &type);
  bool grownWithoutNewVariable = false;
  for (int round = 0; round < 200 && !grownWithoutNewVariable; ++round) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(text, &expr), EXPRCALC_OK);
    double value = 0.0;
    for (int run = 0; run < 4; ++run) exprcalc_evaluate(expr, &value);  // steps from the third
    const std::string name = "@V" + std::to_string(round);
    exprcalc::allocation::FailingAllocation failing(1, false);
    const int added = failing.Run([&] { return EnterVarDouble(name.c_str(), 0.0); });
    if (failing.Injected()) {
      ASSERT_EQ(added, -1) << "round " << round;
      grownWithoutNewVariable = true;
    }
    exprcalc_set_double(a, 2.5 + round);
    double parsed = 0.0;
    ASSERT_EQ(exprcalc_evaluate(expr, &value), ParseString(text, &parsed)) << "round " << round;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(parsed)) << "round " << round;
    exprcalc_release(expr);
  }
  EXPECT_TRUE(grownWithoutNewVariable) << "no growth met the failing allocation";
  FreeVariable();
}

TEST(Prepared, AgreesWithParseStringThroughEveryKindOfTableChange) {
  Random random(20261207);
  std::size_t compared = 0;
  std::string firstMismatch;
  FreeVariable();
  for (int i = 0; i < 6000; ++i) {
    if (i % 50 == 0) {
      FreeVariable();
      for (const char* name : Names) EnterVarDouble(name, random.Pick(Values));
      EnterVarString("@T", "text");
    }
    std::string text = i % 2 == 0 ? TokenSoup(random) : Expression(random, 4);
    if (i % 10 == 1) text = CallFree(random, 1 + i / 10 % 16);
    for (int folded = 0; i % 8 == 3 && folded < 300; folded += 2) text = "2-1+" + text;  // steps that fold away
    for (int open = 0; i % 16 == 5 && open < 10 + i % 200; ++open) text = "@A*(" + text + ")";  // a deep stack
    for (int term = 0; i % 64 == 9 && term < 300; ++term) text += "+@B";  // a long flat program, past 256 bytes
    while (i % 4 == 3 && text.size() <= 256) text += random.Pick(Operators) + Expression(random, 4);
    Compare(text, i % 4 == 1, random, compared, firstMismatch);
  }
  EXPECT_TRUE(firstMismatch.empty()) << firstMismatch;
  EXPECT_GT(compared, 70000u);
  FreeVariable();
}

// The text with @A read as @B and SIN as COS: alike, but for some steps.
std::string Twin(std::string text) {
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"@A", "@B"}, {"SIN", "COS"}}) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

// Columns against exprcalc_set_double of each column and exprcalc_evaluate,
// row by row, with the table changing between calls; block edges, repeated
// indexes, indexes that are not number variables, NaN payloads and results
// written over the first column included.
TEST(Prepared, ColumnsAgreeWithSetAndEvaluateRowByRow) {
  Random random(20261208);
  std::size_t compared = 0;
  std::string firstMismatch;
  FreeVariable();
  for (int i = 0; i < 4000; ++i) {
    if (i % 50 == 0) {
      FreeVariable();
      if (i % 1000 != 450) {  // now and then the table starts empty
        for (const char* name : Names) EnterVarDouble(name, random.Pick(Values));
      }
    }
    std::string text = i % 3 == 0 ? TokenSoup(random) : Expression(random, 4);
    if (i % 5 == 4) text = "(@A*(" + text + "))^0";  // a power of zero hides a NaN, but a signalling one
    if (i % 5 == 2) text = "(" + text + ")+(" + Twin(text) + ")";
    for (int open = 0; i % 20 == 7 && open < 5 + i % 60; ++open) text = "(@A+1)*(" + text + ")";  // many values held
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(text.c_str(), &expr), EXPRCALC_OK);
    // Mostly values are written between calls, so the plan runs; now and then the shape changes.
    for (int step = 0; step < 4; ++step, random.Below(3) == 0 ? ChangeTable(random) : WriteValue(random)) {
      const std::size_t rows = random.Below(3) == 0 ? 1 + random.Below(700) : random.Below(6);
      std::vector<int> indexes(random.Below(4));
      std::vector<std::vector<double>> values(indexes.size(), std::vector<double>(rows));
      std::vector<const double*> columns;
      // Half the calls keep to values in every domain, but for the extremes;
      // in half of them an extreme value is rare, so that blocks hold one or none.
      const bool gentle = random.Below(2) == 0;
      const std::size_t rarity = random.Below(2) == 0 ? 8 : 400;
      bool numbers = true;
      for (std::size_t k = 0; k < indexes.size(); ++k) {
        // Mostly a variable that the texts read; now and then any index.
        int type = 0;
        indexes[k] = random.Below(4) != 0 ? GetIndexByKey(random.Pick(Names), &type)
                                          : static_cast<int>(random.Below(static_cast<std::size_t>(GetVarCount()) + 1));
        double ignored = 0.0;
        numbers = numbers && VarDouble(indexes[k], &ignored) >= 0;
        for (double& value : values[k]) {
          if (random.Below(rarity) == 0) {
            value = random.Pick(ColumnExtremes);
          } else if (gentle) {
            value = 0.25 + random.Below(4);
          } else {
            value = random.Below(3) == 0 ? random.Pick(Values) : random.Below(9) - 4.0;
          }
        }
        columns.push_back(values[k].data());
      }
      // The results lie between two margins that no call may write.
      constexpr std::size_t Margin = 1024;
      std::vector<double> guarded(rows + 2 * Margin, 9.0);
      double* const results = guarded.data() + Margin;
      const bool inPlace = numbers && !columns.empty() && random.Below(5) == 0;
      if (inPlace) {
        std::copy(values[0].begin(), values[0].end(), results);
        columns[0] = results;
      }
      std::vector<int> codes(rows, -9);
      const int first = exprcalc_evaluate_columns(expr, rows, indexes.size(), indexes.data(), columns.data(),
                                                  results, codes.data());
      const auto untouched = [](double value) { return value == 9.0; };
      EXPECT_TRUE(std::all_of(guarded.begin(), guarded.begin() + Margin, untouched) &&
                  std::all_of(guarded.end() - Margin, guarded.end(), untouched))
          << text << ": written outside the results";
      if (!numbers) {
        EXPECT_EQ(first, -1);
        EXPECT_TRUE(std::all_of(results, results + rows, untouched)) << "nothing is written";
        continue;
      }
      int expectedFirst = 0;
      for (std::size_t r = 0; r < rows; ++r, ++compared) {
        for (std::size_t k = 0; k < indexes.size(); ++k) exprcalc_set_double(indexes[k], values[k][r]);
        double value = 1.0;
        const int code = exprcalc_evaluate(expr, &value);
        if (expectedFirst == 0) expectedFirst = code;
        if ((code != codes[r] || !SameBits(value, results[r])) && firstMismatch.empty()) {
          firstMismatch = "\"" + text + "\" row " + std::to_string(r) + ": columns " + std::to_string(codes[r]) +
                          " " + std::to_string(results[r]) + ", evaluate " + std::to_string(code) + " " +
                          std::to_string(value);
        }
      }
      EXPECT_EQ(first, expectedFirst) << text;
    }
    exprcalc_release(expr);
  }
  EXPECT_TRUE(firstMismatch.empty()) << firstMismatch;
  EXPECT_GT(compared, 300000u);
  FreeVariable();
}

// After fork, parent and child share the pages of the machine code compiled
// so far: each goes on compiling and evaluating its own programs, and the
// programs compiled before still give their values in both.
TEST(Prepared, ParentAndChildEachGoOnAfterFork) {
  FreeVariable();
  EnterVarDouble("@A", 0.25);
  auto agreeWithParseString = [](exprcalc_expr* before) {
    bool agree = true;
    for (int i = 0; i < 300; ++i) {
      const std::string text = "(@A+" + std::to_string(i) + ")*(@A-" + std::to_string(i % 7) + ")/3";
      exprcalc_expr* expr = nullptr;
      double prepared = 0.0;
      double parsed = 1.0;
      if (exprcalc_prepare(text.c_str(), &expr) != EXPRCALC_OK) return false;
      agree = agree && exprcalc_evaluate(expr, &prepared) == ParseString(text.c_str(), &parsed) && prepared == parsed;
      exprcalc_release(expr);
      agree = agree && exprcalc_evaluate(before, &prepared) == EXPRCALC_OK && prepared == 0.25 * 2 + 1;
    }
    return agree;
  };
  exprcalc_expr* before = nullptr;
  ASSERT_EQ(exprcalc_prepare("@A*2+1", &before), EXPRCALC_OK);
  double value = 0.0;
  ASSERT_EQ(exprcalc_evaluate(before, &value), EXPRCALC_OK);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(agreeWithParseString(before) ? 0 : 1);
  EXPECT_TRUE(agreeWithParseString(before));
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  exprcalc_release(before);
  FreeVariable();
}

#if defined(__linux__) && defined(__x86_64__)
// The mappings of machine code regions now.
std::size_t CodeMappings() {
  std::ifstream maps("/proc/self/maps");
  std::size_t count = 0;
  for (std::string line; std::getline(maps, line);) count += line.find("exprcalc-code") != std::string::npos ? 1 : 0;
  return count;
}

// Machine code shares regions that go back to the system once their last
// program is released, in whatever order programs are released; a program
// becomes machine code only after enough evaluations.
TEST(Prepared, MachineCodeRegionsGoBackWhenTheirProgramsDo) {
  if (EXPRCALC_FORM_MACHINE_CODE != exprcalc_code_form(nullptr, nullptr)) GTEST_SKIP() << "no machine code here";
  FreeVariable();
  EnterVarDouble("@A", 0.5);
  std::vector<exprcalc_expr*> programs(6000);
  for (std::size_t i = 0; i < programs.size(); ++i) {
    const std::string text = "SIN(@A*" + std::to_string(i) + ")+(@A-1)/(@A+" + std::to_string(i + 1) + ")";
    double value = 0.0;
    ASSERT_EQ(exprcalc_prepare(text.c_str(), &programs[i]), EXPRCALC_OK);
    int why = -1;
    ASSERT_EQ(exprcalc_code_form(programs[i], &why), EXPRCALC_FORM_STEPS);
    ASSERT_EQ(why, EXPRCALC_CODE_NOT_YET);
    for (std::uint32_t run = 0; run < exprcalc::Program::CompileAfter; ++run) {
      ASSERT_EQ(exprcalc_evaluate(programs[i], &value), EXPRCALC_OK);
    }
    ASSERT_EQ(exprcalc_code_form(programs[i], &why), EXPRCALC_FORM_MACHINE_CODE);
  }
  EXPECT_GT(CodeMappings(), 1u) << "thousands of programs fill more than one region";
  for (std::size_t i = 0; i < programs.size(); i += 2) exprcalc_release(programs[i]);
  for (std::size_t i = 1; i < programs.size(); i += 2) exprcalc_release(programs[i]);
  EXPECT_LE(CodeMappings(), 1u) << "only a region that new code can go to stays";
  FreeVariable();
}

// Each table has code memory of its own, which it gives back when it goes:
// more tables, one after the other, than the process's budget of regions.
TEST(Prepared, EachTableGivesBackItsCodeMemory) {
  if (EXPRCALC_FORM_MACHINE_CODE != exprcalc_code_form(nullptr, nullptr)) GTEST_SKIP() << "no machine code here";
  const std::size_t before = CodeMappings();
  for (int round = 0; round < 40; ++round) {
    exprcalc_table* table = nullptr;
    ASSERT_EQ(exprcalc_table_create(&table), EXPRCALC_OK);
    ASSERT_EQ(exprcalc_table_enter_double(table, "@X", round), 1);
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_table_prepare(table, "@X*2+1", &expr), EXPRCALC_OK);
    double value = 0.0;
    for (std::uint32_t run = 0; run <= exprcalc::Program::CompileAfter; ++run) exprcalc_evaluate(expr, &value);
    int why = -1;
    EXPECT_EQ(exprcalc_code_form(expr, &why), EXPRCALC_FORM_MACHINE_CODE) << "round " << round << ", why " << why;
    EXPECT_EQ(value, round * 2 + 1);
    exprcalc_release(expr);
    exprcalc_table_destroy(table);
  }
  EXPECT_EQ(CodeMappings(), before);
}

// Whether a program may ever become machine code is told from the start, as
// "not yet" or as the reason it never will, and a program with more
// operations than the compiler takes stays steps, exact, past the compile's
// count.
TEST(Prepared, ReasonsAgainstMachineCodeHoldFromTheStart) {
  if (EXPRCALC_FORM_MACHINE_CODE != exprcalc_code_form(nullptr, nullptr)) GTEST_SKIP() << "no machine code here";
  FreeVariable();
  EnterVarDouble("@A", 0.25);
  std::string tooLong = "@A";
  for (int i = 0; i < 100; ++i) tooLong += "*(@A+" + std::to_string(i) + ")";
  const struct {
    std::string text;
    int why;
  } rows[] = {{"@A*2+1", EXPRCALC_CODE_NOT_YET}, {"(@A+1)*(@A-1)", EXPRCALC_CODE_NOT_YET}, {tooLong, EXPRCALC_CODE_TOO_LONG}};
  for (const auto& row : rows) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(row.text.c_str(), &expr), EXPRCALC_OK);
    int why = -1;
    EXPECT_EQ(exprcalc_code_form(expr, &why), EXPRCALC_FORM_STEPS) << row.text;
    EXPECT_EQ(why, row.why) << row.text;
    double value = 0.0;
    double parsed = 0.0;
    for (std::uint32_t run = 0; run <= exprcalc::Program::CompileAfter; ++run) exprcalc_evaluate(expr, &value);
    ASSERT_EQ(ParseString(row.text.c_str(), &parsed), EXPRCALC_OK);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(parsed)) << row.text;
    const int form = exprcalc_code_form(expr, &why);
    if (row.why == EXPRCALC_CODE_TOO_LONG) {
      EXPECT_EQ(form, EXPRCALC_FORM_STEPS);
      EXPECT_EQ(why, EXPRCALC_CODE_TOO_LONG);
    } else {
      EXPECT_EQ(form, EXPRCALC_FORM_MACHINE_CODE) << row.text;
    }
    exprcalc_release(expr);
  }
  FreeVariable();
}
#endif

// EXPRCALC_MACHINE_CODE=off (the PreparedAsSteps test) turns the machine code off for the process.
TEST(Prepared, MachineCodeFollowsTheSwitch) {
  const char* setting = std::getenv("EXPRCALC_MACHINE_CODE");
  int why = -1;
  const int form = exprcalc_code_form(nullptr, &why);
  if (setting != nullptr && std::strcmp(setting, "off") == 0) {
    EXPECT_EQ(form, EXPRCALC_FORM_STEPS);
    EXPECT_EQ(why, EXPRCALC_CODE_TURNED_OFF);
  } else {
    EXPECT_NE(why, EXPRCALC_CODE_TURNED_OFF);
  }
}

TEST(Prepared, HandlesAndOutputsThatAreNullOrSmall) {
  double value = 1.0;
  EXPECT_EQ(exprcalc_evaluate(nullptr, &value), EXPRCALC_OK);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(exprcalc_prepare("1+1", nullptr), EXPRCALC_OK);
  exprcalc_release(nullptr);
  exprcalc_expr* expr = nullptr;
  ASSERT_EQ(exprcalc_prepare(nullptr, &expr), EXPRCALC_OK);
  EXPECT_EQ(exprcalc_evaluate(expr, reinterpret_cast<double*>(16)), EXPRCALC_OK);
  exprcalc_release(expr);
  FreeVariable();
  EXPECT_EQ(exprcalc_set_double(0, 1.0), -1);
  EnterVarString("@T", "t");
  EnterVarDouble("@N", 1.0);
  EXPECT_EQ(exprcalc_set_double(0, 1.0), -1) << "a text record";
  EXPECT_EQ(exprcalc_set_double(1, 5.0), 1);
  EXPECT_EQ(LookupVarDouble("@N", &value), 1);
  EXPECT_EQ(value, 5.0);
  FreeVariable();
}

}  // namespace
