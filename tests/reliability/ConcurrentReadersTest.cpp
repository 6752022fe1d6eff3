// The read-only exports called from several threads at once, as the header
// allows while no call writes: each phase, the main thread (alone) rebuilds
// the table with every kind of writing call, then reader threads started
// together check every variable, record and expression against what was
// written, through ParseString, exprcalc_explain, the judgements and prepared
// expressions that all readers evaluate at once. Built on the shared library through the public header; CI runs it
// under ThreadSanitizer (.ci/stages/60-threads.sh), where a write hidden in a
// read path, or state shared between two evaluations, shows up as a race.
#include <gtest/gtest.h>

#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "exprcalc.h"

namespace {

constexpr int ReaderCount = 4;
constexpr int RoundsPerReader = 200;
constexpr int PhaseCount = 3;

struct Variable {
  std::string name;  // as stored: upper case
  bool isNumber;
  double number;
  std::string text;
};

struct Expression {
  std::string text;
  int code;
  double value;
};

// What a phase writes, and so what every reader must read back.
struct Table {
  std::vector<Variable> variables;  // in index order
  std::vector<Expression> expressions;
  std::vector<exprcalc_expr*> prepared;  // one per expression, shared by every reader
};

std::string Name(int index) { return "@V" + std::to_string(index); }

// Texts of varied length, every fifth one the full 222 bytes (stored without a NUL).
std::string Text(int phase, int index) {
  std::string text = "phase " + std::to_string(phase) + " text " + std::to_string(index);
  if (index % 5 == 1) text.resize(EXPRCALC_RECORD_TEXT_SIZE, 'x');
  return text;
}

// Rebuilds the table through every kind of writing call: a scratch record at
// index 0 that is removed by index (the others move down), stores of both
// types, a replacement, a statement and a removal by name. The table grows
// past its first block, and by more each phase.
Table WritePhase(int phase) {
  Table table;
  const int count = 30 + 20 * phase;
  EXPECT_EQ(FreeVariable(), 0);
  EXPECT_EQ(EnterVarDouble("@SCRATCH", 1.0), 1);
  for (int index = 0; index < count; ++index) {
    if (index % 2 == 0) {
      const double number = phase * 1000.0 + index + 0.25;
      EXPECT_EQ(EnterVarDouble(Name(index).c_str(), number), index + 2);
      table.variables.push_back({Name(index), true, number, {}});
    } else {
      EXPECT_EQ(EnterVarString(Name(index).c_str(), "replaced below"), index + 2);
      EXPECT_EQ(EnterVarString(Name(index).c_str(), Text(phase, index).c_str()), index + 1);
      table.variables.push_back({Name(index), false, 0.0, Text(phase, index)});
    }
  }
  EXPECT_EQ(RemoveVarIndex(0), 0);
  EXPECT_EQ(Substitution("@SUM = @V0 + 2*@V2"), EXPRCALC_STATEMENT_DONE);
  const double sum = table.variables[0].number + 2 * table.variables[2].number;
  table.variables.push_back({"@SUM", true, sum, {}});
  EXPECT_EQ(EnterVarDouble("@GONE", 5.0), count + 2);
  EXPECT_EQ(RemoveVariable("@gone"), 0);

  std::string longSum = "1";
  for (int term = 0; term < 200; ++term) longSum += "+1";  // past 256 bytes: the heap path
  table.expressions = {
      {"@SUM - @V0", EXPRCALC_OK, 2 * table.variables[2].number},
      {" @v4 * 2 ", EXPRCALC_OK, 2 * table.variables[4].number},
      {"@V1 + 7", EXPRCALC_OK, 7.0},  // a text variable reads as 0
      {"SQRT(16) + 1:30", EXPRCALC_OK, 5.5},
      {"@V2 / 0", EXPRCALC_DIVISION_BY_ZERO, 0.0},
      {"LOG(0-1)", EXPRCALC_NEGATIVE_LOGARITHM, 0.0},
      {"3*@GONE+1", EXPRCALC_MALFORMED, 0.0},
      {longSum, EXPRCALC_OK, 201.0},
  };
  return table;
}

// A reader's findings: how many checks failed and what the first one was.
struct Findings {
  int failures = 0;
  std::string first;
  void Check(bool holds, const std::string& what) {
    if (holds) return;
    if (failures++ == 0) first = what;
  }
};

void CheckVariable(const Variable& variable, int index, Findings& findings) {
  const std::string row = variable.name + " at " + std::to_string(index) + ": ";
  const int type = variable.isNumber ? EXPRCALC_TYPE_NUMBER : EXPRCALC_TYPE_TEXT;
  int foundType = -1;
  findings.Check(GetIndexByKey(variable.name.c_str(), &foundType) == index && foundType == type,
                 row + "GetIndexByKey");

  double number = -1.0;
  char text[EXPRCALC_TEXT_BUFFER_SIZE];
  if (variable.isNumber) {
    findings.Check(LookupVarDouble(variable.name.c_str(), &number) == index && number == variable.number,
                   row + "LookupVarDouble");
    findings.Check(VarDouble(index, &number) == index && number == variable.number, row + "VarDouble");
    findings.Check(VarString(index, text) == EXPRCALC_NOT_FOUND && text[0] == '\0', row + "VarString");
  } else {
    findings.Check(LookupVarString(variable.name.c_str(), text) == index && text == variable.text,
                   row + "LookupVarString");
    findings.Check(VarString(index, text) == index && text == variable.text, row + "VarString");
    findings.Check(VarDouble(index, &number) == EXPRCALC_NOT_FOUND && number == 0.0, row + "VarDouble");
  }

  unsigned char record[EXPRCALC_RECORD_SIZE];
  findings.Check(GetVar(index, record) == 0 && record[EXPRCALC_RECORD_TYPE_OFFSET] == type &&
                     std::strcmp(reinterpret_cast<const char*>(record + EXPRCALC_RECORD_NAME_OFFSET),
                                 variable.name.c_str()) == 0,
                 row + "GetVar");
}

// One reader: every round walks all variables from a different start (so the
// threads are on different records at once) and evaluates every expression.
Findings Read(const Table& table, int reader) {
  Findings findings;
  const int count = static_cast<int>(table.variables.size());
  for (int round = 0; round < RoundsPerReader; ++round) {
    findings.Check(GetVarCount() == count, "GetVarCount");
    for (int step = 0; step < count; ++step) {
      const int index = (step + reader * 7 + round) % count;
      CheckVariable(table.variables[index], index, findings);
    }
    for (std::size_t i = 0; i < table.expressions.size(); ++i) {
      const Expression& expression = table.expressions[i];
      const std::string shown = expression.text.substr(0, 40);
      double value = -1.0;
      const int code = ParseString(expression.text.c_str(), &value);
      findings.Check(code == expression.code && value == expression.value,
                     "ParseString(" + shown + ") gave " + std::to_string(code));
      exprcalc_diagnosis diagnosis;
      findings.Check(exprcalc_explain(expression.text.c_str(), &diagnosis) == expression.code &&
                         diagnosis.value == expression.value,
                     "exprcalc_explain(" + shown + ")");
      exprcalc_judgement judgement;
      exprcalc_statement_judgement statement;
      findings.Check(exprcalc_judge(expression.text.c_str(), &judgement) == expression.code &&
                         exprcalc_judge_statement(("@JUDGED = " + expression.text).c_str(), &statement) ==
                             (expression.code == 0 ? 0 : 1),
                     "exprcalc_judge(" + shown + ")");
      value = -1.0;
      findings.Check(exprcalc_evaluate(table.prepared[i], &value) == expression.code && value == expression.value,
                     "exprcalc_evaluate(" + shown + ")");
      // A handle of the thread's own, prepared and released each round: the
      // heap's per-thread spare block serves texts of every length in turn.
      exprcalc_expr* own = nullptr;
      value = -1.0;
      findings.Check(exprcalc_prepare(expression.text.c_str(), &own) == EXPRCALC_OK &&
                         exprcalc_evaluate(own, &value) == expression.code && value == expression.value,
                     "a handle of its own for " + shown);
      exprcalc_release(own);
      double values[3] = {-1.0, -1.0, -1.0};
      int codes[3] = {-1, -1, -1};
      findings.Check(exprcalc_evaluate_columns(table.prepared[i], 3, 0, nullptr, nullptr, values, codes) ==
                             expression.code &&
                         codes[2] == expression.code && values[2] == expression.value,
                     "exprcalc_evaluate_columns(" + shown + ")");
    }
    int type = -1;
    double number = -1.0;
    findings.Check(GetIndexByKey("@GONE", &type) == EXPRCALC_NOT_FOUND && type == EXPRCALC_TYPE_NONE,
                   "GetIndexByKey(@GONE)");
    findings.Check(LookupVarDouble("@GONE", &number) == EXPRCALC_NOT_FOUND && number == 0.0,
                   "LookupVarDouble(@GONE)");
    unsigned char record[EXPRCALC_RECORD_SIZE];
    findings.Check(GetVar(count, record) == EXPRCALC_NOT_FOUND, "GetVar past the end");
  }
  return findings;
}

TEST(ConcurrentReaders, ReadOnlyCallsAgreeWhileNoCallWrites) {
  for (int phase = 0; phase < PhaseCount; ++phase) {
    Table table = WritePhase(phase);
    ASSERT_FALSE(HasFailure()) << "phase " << phase << ": the writes themselves failed";
    for (const Expression& expression : table.expressions) {
      table.prepared.push_back(nullptr);
      ASSERT_EQ(exprcalc_prepare(expression.text.c_str(), &table.prepared.back()), EXPRCALC_OK);
    }

    std::vector<Findings> findings(ReaderCount);
    std::latch start(ReaderCount);
    std::vector<std::thread> readers;
    for (int reader = 0; reader < ReaderCount; ++reader) {
      readers.emplace_back([&, reader] {
        start.arrive_and_wait();  // all readers at once, for the most overlap
        findings[reader] = Read(table, reader);
      });
    }
    for (std::thread& reader : readers) reader.join();
    for (exprcalc_expr* expr : table.prepared) exprcalc_release(expr);

    for (int reader = 0; reader < ReaderCount; ++reader) {
      EXPECT_EQ(findings[reader].failures, 0)
          << "phase " << phase << ", reader " << reader << ": first failure: " << findings[reader].first;
    }
  }
  EXPECT_EQ(FreeVariable(), 0);
}

}  // namespace
