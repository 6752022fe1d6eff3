// Tables of the host's own and functions of the host's own. The process
// table is the oracle: the same random series of calls on a new table and on
// the process table must give the same results, records and value bits.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "AllocationFaults.h"
#include "Random.h"

namespace {

using exprcalc::testing::Random;
using Record = std::array<unsigned char, EXPRCALC_RECORD_SIZE>;

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// Owns a table for one test.
struct OwnTable {
  OwnTable() { EXPECT_EQ(exprcalc_table_create(&table), EXPRCALC_OK); }
  ~OwnTable() { exprcalc_table_destroy(table); }
  OwnTable(const OwnTable&) = delete;
  OwnTable& operator=(const OwnTable&) = delete;
  exprcalc_table* table = nullptr;
};

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    exprcalc::allocation::StopFailing();
    FreeVariable();
  }
  void TearDown() override {
    exprcalc_table_define_function(nullptr, "TWICE", nullptr, nullptr);
    FreeVariable();
  }
};

// Every record of both tables, byte for byte.
void ExpectSameRecords(exprcalc_table* table, const std::string& step) {
  ASSERT_EQ(exprcalc_table_count(table), GetVarCount()) << step;
  for (int i = 0; i < GetVarCount(); ++i) {
    Record own{}, process{};
    ASSERT_EQ(exprcalc_table_record(table, i, own.data()), GetVar(i, process.data())) << step;
    ASSERT_EQ(own, process) << step << ": record " << i;
  }
}

TEST_F(Tables, RandomCallsGiveWhatTheProcessTableGives) {
  const char* names[] = {"@X", "@Y", "@z", " @X ", "@LONG_NAME_OF_MORE_THAN_THIRTY_ONE_BYTES", "A", "", "@Q1"};
  const char* texts[] = {"@X*2+1",     "@X/@Y",   "SQRT(@z)-@Q1", "2*(3+4",   "LOG(@Y)",  "@X^@Y%3",
                         "A+@X:30:15", "1,234.5", "SIN(@X",       "@UNKNOWN", "-@Y^0.5", "(@X+@Y)*(@X-@Y)"};
  const char* statements[] = {"@X = 3", "@Y = @X*2", "@z = \"text", "@Q1 =", "@X = 1/0", "@Y = @X-@Y", "A = 2"};
  OwnTable own;
  Random random(27);
  for (int step = 0; step < 4000; ++step) {
    const std::string at = "step " + std::to_string(step);
    const double number = static_cast<double>(random.Below(2001)) / 8.0 - 100.0;
    const int index = static_cast<int>(random.Below(12)) - 2;
    const char* name = random.Pick(names);
    double a = 1.5, b = 2.5;
    char textA[EXPRCALC_TEXT_BUFFER_SIZE] = "", textB[EXPRCALC_TEXT_BUFFER_SIZE] = "";
    int typeA = 9, typeB = 9;
    switch (random.Below(14)) {
      case 0: ASSERT_EQ(exprcalc_table_enter_double(own.table, name, number), EnterVarDouble(name, number)) << at; break;
      case 1: ASSERT_EQ(exprcalc_table_enter_string(own.table, name, "t x"), EnterVarString(name, "t x")) << at; break;
      case 2: ASSERT_EQ(exprcalc_table_remove(own.table, name), RemoveVariable(name)) << at; break;
      case 3: ASSERT_EQ(exprcalc_table_remove_index(own.table, index), RemoveVarIndex(index)) << at; break;
      case 4: {
        const char* statement = random.Pick(statements);
        ASSERT_EQ(exprcalc_table_substitute(own.table, statement), Substitution(statement)) << at;
        break;
      }
      case 5: {
        const char* text = random.Pick(texts);
        ASSERT_EQ(exprcalc_table_evaluate(own.table, text, &a), ParseString(text, &b)) << at << " " << text;
        ASSERT_EQ(Bits(a), Bits(b)) << at << " " << text;
        break;
      }
      case 6:
        ASSERT_EQ(exprcalc_table_lookup_double(own.table, name, &a), LookupVarDouble(name, &b)) << at;
        ASSERT_EQ(Bits(a), Bits(b)) << at;
        ASSERT_EQ(exprcalc_table_lookup_string(own.table, name, textA), LookupVarString(name, textB)) << at;
        ASSERT_STREQ(textA, textB) << at;
        ASSERT_EQ(exprcalc_table_index_of(own.table, name, &typeA), GetIndexByKey(name, &typeB)) << at;
        ASSERT_EQ(typeA, typeB) << at;
        break;
      case 7:
        ASSERT_EQ(exprcalc_table_double_at(own.table, index, &a), VarDouble(index, &b)) << at;
        ASSERT_EQ(Bits(a), Bits(b)) << at;
        ASSERT_EQ(exprcalc_table_string_at(own.table, index, textA), VarString(index, textB)) << at;
        ASSERT_STREQ(textA, textB) << at;
        break;
      case 8: ASSERT_EQ(exprcalc_table_set_double(own.table, index, number), exprcalc_set_double(index, number)) << at; break;
      case 9:
        if (random.Chance(10)) {
          ASSERT_EQ(exprcalc_table_clear(own.table), FreeVariable()) << at;
        }
        break;
      case 10: {
        const char* text = random.Pick(texts);
        exprcalc_judgement ownJudgement{}, processJudgement{};
        ASSERT_EQ(exprcalc_table_judge(own.table, text, &ownJudgement), exprcalc_judge(text, &processJudgement)) << at;
        ASSERT_EQ(std::memcmp(&ownJudgement, &processJudgement, sizeof ownJudgement), 0) << at << " " << text;
        exprcalc_diagnosis ownDiagnosis{}, processDiagnosis{};
        ASSERT_EQ(exprcalc_table_explain(own.table, text, &ownDiagnosis), exprcalc_explain(text, &processDiagnosis)) << at;
        ASSERT_EQ(std::memcmp(&ownDiagnosis, &processDiagnosis, sizeof ownDiagnosis), 0) << at << " " << text;
        break;
      }
      case 11: {
        const char* statement = random.Pick(statements);
        exprcalc_statement_judgement ownJudgement{}, processJudgement{};
        const bool carryOut = random.Chance(50);
        const int ownResult = carryOut ? exprcalc_table_substitute_whole(own.table, statement, &ownJudgement)
                                       : exprcalc_table_judge_statement(own.table, statement, &ownJudgement);
        const int processResult = carryOut ? exprcalc_substitute_whole(statement, &processJudgement)
                                           : exprcalc_judge_statement(statement, &processJudgement);
        ASSERT_EQ(ownResult, processResult) << at;
        ASSERT_EQ(std::memcmp(&ownJudgement, &processJudgement, sizeof ownJudgement), 0) << at << " " << statement;
        break;
      }
      case 12: {
        const char* statement = random.Pick(statements);
        exprcalc_statement_diagnosis ownWhy{}, processWhy{};
        ASSERT_EQ(exprcalc_table_explain_statement(own.table, statement, &ownWhy),
                  exprcalc_explain_statement(statement, &processWhy)) << at;
        ASSERT_EQ(std::memcmp(&ownWhy, &processWhy, sizeof ownWhy), 0) << at << " " << statement;
        break;
      }
      default: {
        // Prepared in each table, evaluated after a few more changes of values.
        const char* text = random.Pick(texts);
        exprcalc_expr *ownExpr = nullptr, *processExpr = nullptr;
        ASSERT_EQ(exprcalc_table_prepare(own.table, text, &ownExpr), exprcalc_prepare(text, &processExpr)) << at;
        exprcalc_table_set_double(own.table, 0, number);
        exprcalc_set_double(0, number);
        ASSERT_EQ(exprcalc_evaluate(ownExpr, &a), exprcalc_evaluate(processExpr, &b)) << at << " " << text;
        ASSERT_EQ(Bits(a), Bits(b)) << at << " " << text;
        exprcalc_release(ownExpr);
        exprcalc_release(processExpr);
        break;
      }
    }
    ExpectSameRecords(own.table, at);
  }
}

// A prepared expression holds its table: destroying the table leaves it
// evaluating as before, and releasing it frees the table (checked by ASan
// and by the library's block count).
TEST_F(Tables, PreparedExpressionsOutliveTheirDestroyedTable) {
  const std::size_t before = exprcalc::allocation::LiveBlockCount();
  exprcalc_table* table = nullptr;
  ASSERT_EQ(exprcalc_table_create(&table), EXPRCALC_OK);
  ASSERT_EQ(exprcalc_table_enter_double(table, "@X", 4.0), 1);
  exprcalc_expr *first = nullptr, *second = nullptr;
  ASSERT_EQ(exprcalc_table_prepare(table, "@X*2+1", &first), EXPRCALC_OK);
  ASSERT_EQ(exprcalc_table_prepare(table, "SQRT(@X)", &second), EXPRCALC_OK);
  double value = 0.0;
  ASSERT_EQ(exprcalc_evaluate(first, &value), EXPRCALC_OK);
  exprcalc_table_destroy(table);
  EXPECT_EQ(exprcalc_evaluate(first, &value), EXPRCALC_OK);
  EXPECT_EQ(value, 9.0);
  const int index = 0;
  const double column[] = {9.0, 16.0};
  const double* columns[] = {column};
  double results[2] = {};
  EXPECT_EQ(exprcalc_evaluate_columns(second, 2, 1, &index, columns, results, nullptr), 0);
  EXPECT_EQ(results[1], 4.0);
  exprcalc_release(first);
  EXPECT_EQ(exprcalc_evaluate(second, &value), EXPRCALC_OK);
  EXPECT_EQ(value, 2.0);
  exprcalc_release(second);
  EXPECT_EQ(exprcalc::allocation::LiveBlockCount(), before);
}

TEST_F(Tables, CreateReportsMemoryRunningOut) {
  exprcalc_table* table = reinterpret_cast<exprcalc_table*>(&table);
  exprcalc::allocation::FailAfter(0);
  EXPECT_EQ(exprcalc_table_create(&table), EXPRCALC_OUT_OF_MEMORY);
  exprcalc::allocation::StopFailing();
  EXPECT_EQ(table, nullptr);
}

// The host's function counts its calls and fails on request: 0 doubles, 1-3
// and 7 are returned as codes for arguments 1001-1003 and 1007, -1 for
// -1000; for 1000 it returns 0 without writing the value.
struct Calls {
  int count = 0;
};
int Twice(void* user, double argument, double* result) {
  if (user != nullptr) ++static_cast<Calls*>(user)->count;
  if (argument > 1000.0) return static_cast<int>(argument - 1000.0);
  if (argument == -1000.0) return -1;
  if (argument == 1000.0) return 0;  // leaves the value as it was handed over
  *result = 2.0 * argument;
  return 0;
}

TEST_F(Tables, HostFunctionsReadAsBuiltInsInEveryEvaluation) {
  OwnTable own;
  Calls calls;
  ASSERT_EQ(exprcalc_table_define_function(own.table, "twice", Twice, &calls), 0);
  ASSERT_EQ(exprcalc_table_enter_double(own.table, "@X", 3.0), 1);
  double value = 0.0;
  // Value, priority and the "(" rules of a built-in, and the code of each failure.
  const struct {
    const char* text;
    int code;
    double value;
  } rows[] = {
      {"TWICE(3)+1", 0, 7.0},     {"twice 3+1", 0, 7.0},        {"TWICE(@X)^2", 0, 18.0},
      {"-TWICE(-@X)", 0, 6.0},   {"TWICE(TWICE(1))", 0, 4.0},  {"2^TWICE 2", 0, 16.0},
      {"TWICE(1001)", 1, 0.0},   {"TWICE(1002)", 2, 0.0},      {"TWICE(1003)", 3, 0.0},
      {"1+TWICE(1007)", EXPRCALC_FUNCTION_FAILED, 0.0},       {"TWICE", EXPRCALC_MALFORMED, 0.0},
      {"TWICE(3", 0, 3.0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(exprcalc_table_evaluate(own.table, row.text, &value), row.code) << row.text;
    EXPECT_EQ(value, row.value) << row.text;
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_table_prepare(own.table, row.text, &expr), EXPRCALC_OK);
    for (int run = 0; run < 3; ++run) {  // the first run and the ones after it
      EXPECT_EQ(exprcalc_evaluate(expr, &value), row.code) << row.text;
      EXPECT_EQ(value, row.value) << row.text;
    }
    exprcalc_release(expr);
  }
  // Prepared, it runs as steps, then as machine code where the process may
  // have it: the same values and codes in each, and a repeated application
  // is called each time (machine code computes other repeats once).
  const struct {
    const char* text;
    int code;
    double value;
    int calls;
  } prepared[] = {
      {"TWICE(3)+1", 0, 7.0, 1},
      {"TWICE(3)+TWICE(3)/TWICE(3)+TWICE(1000)", 0, 7.0, 4},  // TWICE(1000) writes no value: 0
      {"TWICE(3)+TWICE(1002)*0", EXPRCALC_DOMAIN_ERROR, 0.0, 2},
      {"2^TWICE(1007)", EXPRCALC_FUNCTION_FAILED, 0.0, 1},
      {"1/TWICE(-1000)", EXPRCALC_FUNCTION_FAILED, 0.0, 1},
  };
  const bool compiles = exprcalc_code_form(nullptr, nullptr) == EXPRCALC_FORM_MACHINE_CODE;
  for (const auto& row : prepared) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_table_prepare(own.table, row.text, &expr), EXPRCALC_OK);
    int why = -1;
    EXPECT_EQ(exprcalc_code_form(expr, &why), EXPRCALC_FORM_STEPS) << row.text;
    for (int run = 0; run < 1100; ++run) {  // past the runs after which a program compiles
      calls.count = 0;
      value = 1.0;
      ASSERT_EQ(exprcalc_evaluate(expr, &value), row.code) << row.text << ", run " << run;
      ASSERT_EQ(Bits(value), Bits(row.value)) << row.text << ", run " << run;
      ASSERT_EQ(calls.count, row.calls) << row.text << ", run " << run;
    }
    EXPECT_EQ(exprcalc_code_form(expr, &why), compiles ? EXPRCALC_FORM_MACHINE_CODE : EXPRCALC_FORM_STEPS);
    exprcalc_release(expr);
  }
  // Once per application: a repeated call is made each time it appears.
  calls.count = 0;
  ASSERT_EQ(exprcalc_table_evaluate(own.table, "TWICE(@X)+TWICE(@X)", &value), 0);
  EXPECT_EQ(calls.count, 2);

  // Columns: each row applies it once per appearance, and a row that failed
  // before an application does not call it (1/0 below).
  exprcalc_expr* expr = nullptr;
  ASSERT_EQ(exprcalc_table_prepare(own.table, "TWICE(@X)+1/@X+TWICE(3)", &expr), EXPRCALC_OK);
  const int index = 0;
  const double column[] = {1.0, 2.0, 1003.0, -4.0, 0.0};
  const double* columns[] = {column};
  double results[5] = {};
  int codes[5] = {};
  calls.count = 0;
  EXPECT_EQ(exprcalc_evaluate_columns(expr, 5, 1, &index, columns, results, codes), 3);
  EXPECT_EQ(calls.count, 2 + 2 + 1 + 2 + 1);
  EXPECT_EQ(results[0], 9.0);
  EXPECT_EQ(results[1], 10.5);
  EXPECT_EQ(codes[2], 3);
  EXPECT_EQ(results[3], -2.25);
  EXPECT_EQ(codes[4], EXPRCALC_DIVISION_BY_ZERO);
  exprcalc_release(expr);

  // The process table knows nothing of it: reading stops at the name.
  exprcalc_diagnosis diagnosis{};
  EXPECT_EQ(exprcalc_explain("TWICE(3)+1", &diagnosis), EXPRCALC_OK);
  EXPECT_EQ(diagnosis.stop, EXPRCALC_STOP_UNKNOWN_NAME);
}

TEST_F(Tables, JudgementsAndDiagnosesNameHostFunctionsAsBuiltIns) {
  OwnTable own;
  ASSERT_EQ(exprcalc_table_define_function(own.table, "TWICE", Twice, nullptr), 0);
  exprcalc_judgement judgement{};
  EXPECT_EQ(exprcalc_table_judge(own.table, "TWICE(3", &judgement), 0);
  EXPECT_EQ(judgement.whole, 0);
  ASSERT_GE(judgement.count, 1);
  EXPECT_EQ(judgement.findings[0].kind, EXPRCALC_FINDING_NOT_APPLIED);
  EXPECT_EQ(judgement.findings[0].at, 0u);  // the function's name
  EXPECT_EQ(judgement.findings[0].other, 5u);

  // The same findings as for a built-in of a name as long, in the same places.
  ASSERT_EQ(exprcalc_table_define_function(own.table, "DBLE", Twice, nullptr), 0);
  const char* pairs[][2] = {{"DBLE(1)^2", "SQRT(1)^2"}, {"DBLE-1", "SQRT-1"}, {"2*DBLE(3", "2*SQRT(3"}, {"DBLE(2)(3)", "SQRT(2)(3)"}};
  for (const auto& pair : pairs) {
    exprcalc_judgement host{}, builtIn{};
    exprcalc_table_judge(own.table, pair[0], &host);
    exprcalc_table_judge(own.table, pair[1], &builtIn);
    EXPECT_EQ(host.whole, builtIn.whole) << pair[0];
    EXPECT_EQ(host.diagnosis.code, builtIn.diagnosis.code) << pair[0];
    ASSERT_EQ(host.count, builtIn.count) << pair[0];
    for (int i = 0; i < host.count; ++i) {
      EXPECT_EQ(host.findings[i].kind, builtIn.findings[i].kind) << pair[0];
      EXPECT_EQ(host.findings[i].at, builtIn.findings[i].at) << pair[0];
      EXPECT_EQ(host.findings[i].other, builtIn.findings[i].other) << pair[0];
    }
  }
  exprcalc_diagnosis diagnosis{};
  EXPECT_EQ(exprcalc_table_explain(own.table, "1+TWICE(1002)", &diagnosis), EXPRCALC_DOMAIN_ERROR);
  EXPECT_EQ(diagnosis.at, 2u);  // the function, as for a built-in's domain error
}

TEST_F(Tables, FunctionNamesAndVariableNamesNeverMeet) {
  OwnTable own;
  ASSERT_EQ(exprcalc_table_enter_double(own.table, "RATE", 2.0), 1);
  const struct {
    const char* name;
    int result;
  } rows[] = {
      {"SIN", EXPRCALC_FUNCTION_NAME_TAKEN}, {"sqrt", EXPRCALC_FUNCTION_NAME_TAKEN}, {"PAI", EXPRCALC_FUNCTION_NAME_TAKEN},
      {"rate", EXPRCALC_FUNCTION_NAME_TAKEN}, {"@F", EXPRCALC_FUNCTION_NOT_A_NAME},   {"", EXPRCALC_FUNCTION_NOT_A_NAME},
      {"1F", EXPRCALC_FUNCTION_NOT_A_NAME},   {"MY_F", EXPRCALC_FUNCTION_NOT_A_NAME}, {" F", EXPRCALC_FUNCTION_NOT_A_NAME},
      {"F2", 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(exprcalc_table_define_function(own.table, row.name, Twice, nullptr), row.result) << row.name;
  }
  // A variable is not stored under a function's name (in any case).
  EXPECT_EQ(exprcalc_table_enter_double(own.table, "f2", 1.0), -1);
  EXPECT_EQ(exprcalc_table_enter_string(own.table, " F2 ", "x"), -1);
  EXPECT_EQ(exprcalc_table_count(own.table), 1);
  // A null function removes it; then the name is free again.
  EXPECT_EQ(exprcalc_table_define_function(own.table, "F2", nullptr, nullptr), 0);
  EXPECT_EQ(exprcalc_table_define_function(own.table, "F2", nullptr, nullptr), EXPRCALC_NOT_FOUND);
  exprcalc_diagnosis diagnosis{};
  EXPECT_EQ(exprcalc_table_explain(own.table, "F2(1)", &diagnosis), EXPRCALC_OK);
  EXPECT_EQ(diagnosis.stop, EXPRCALC_STOP_UNKNOWN_NAME);
  EXPECT_EQ(exprcalc_table_enter_double(own.table, "F2", 1.0), 2);
}

// A prepared expression follows the functions defined after it was made.
TEST_F(Tables, PreparedExpressionsSeeFunctionsDefinedLater) {
  OwnTable own;
  exprcalc_expr* expr = nullptr;
  ASSERT_EQ(exprcalc_table_prepare(own.table, "1+TWICE(4)", &expr), EXPRCALC_OK);
  double value = 0.0;
  EXPECT_EQ(exprcalc_evaluate(expr, &value), EXPRCALC_MALFORMED);  // reading stops at TWICE: "1+"
  ASSERT_EQ(exprcalc_table_define_function(own.table, "TWICE", Twice, nullptr), 0);
  EXPECT_EQ(exprcalc_evaluate(expr, &value), EXPRCALC_OK);
  EXPECT_EQ(value, 9.0);
  ASSERT_EQ(exprcalc_table_define_function(own.table, "TWICE", nullptr, nullptr), 0);
  EXPECT_EQ(exprcalc_evaluate(expr, &value), EXPRCALC_MALFORMED);
  exprcalc_release(expr);
}

// The process table takes functions too; with none, nothing changed.
TEST_F(Tables, TheProcessTableTakesFunctions) {
  ASSERT_EQ(exprcalc_table_define_function(exprcalc_process_table(), "TWICE", Twice, nullptr), 0);
  double value = 0.0;
  EXPECT_EQ(ParseString("TWICE(3)+1", &value), EXPRCALC_OK);
  EXPECT_EQ(value, 7.0);
  EXPECT_EQ(EnterVarDouble("TWICE", 1.0), -1);
  EXPECT_EQ(Substitution("@TWICE = 1"), 0);  // "@TWICE" is another name
  // A null table is the process table; destroying the process table is ignored.
  EXPECT_EQ(exprcalc_table_define_function(nullptr, "TWICE", nullptr, nullptr), 0);
  exprcalc_table_destroy(exprcalc_process_table());
  EXPECT_EQ(exprcalc_table_count(nullptr), 1);
}

}  // namespace
