// Allocation failure at every point: each operation below runs again and
// again with its k-th allocation failing (k = 0, 1, 2, ...) until it runs
// without an injected failure. Every failed run must give the documented
// result (257 and 0.0, 1, or -1), release every block it took, and leave the
// table exactly as it was. Both the single and the persistent failure mode.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "AllocationFaults.h"

namespace {

namespace allocation = exprcalc::allocation;
using Record = std::array<unsigned char, EXPRCALC_RECORD_SIZE>;

// Everything a host can see of the table.
struct TableImage {
  std::vector<Record> records;
  std::vector<int> foundByName;
  bool operator==(const TableImage&) const = default;
};

TableImage Snapshot() {
  TableImage image;
  const int count = GetVarCount();
  for (int i = 0; i < count; ++i) {
    Record record;
    EXPECT_EQ(GetVar(i, record.data()), 0);
    image.records.push_back(record);
    int type = 0;
    image.foundByName.push_back(GetIndexByKey(reinterpret_cast<const char*>(record.data() + 2), &type));
  }
  Record past;
  EXPECT_EQ(GetVar(count, past.data()), -1);
  return image;
}

void TableOf(int count) {
  FreeVariable();
  for (int i = 0; i < count; ++i) ASSERT_GT(EnterVarDouble(("@V" + std::to_string(i)).c_str(), i), 0);
}

// Diagnosed: an evaluation that tracks places, which goes on without them
// when only their memory fails. Judged: a statement judged first.
enum class Kind { Evaluation, Statement, Store, Diagnosed, Judged };

struct Outcome {
  int result;
  double value;
  std::size_t at = 0;  // Diagnosed: the failure's place; Judged: the right part's, or EXPRCALC_NOWHERE
};

struct Operation {
  const char* name;
  int tableSize;                  // the table holds @V0 ... before the operation
  Kind kind;
  bool allocates;                 // false: it must succeed even with its first allocation failing
  std::function<Outcome()> run;
  Outcome success;                // what the operation gives when memory does not run out
};

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

Outcome Evaluate(const std::string& text) {
  double value = -1.0;
  const int code = ParseString(text.c_str(), &value);
  return {code, value};
}

Outcome Statement(const std::string& text) { return {Substitution(text.c_str()), 0.0}; }

// Prepares text and evaluates it once: a failed preparation gives 257 and no handle.
Outcome Prepared(const std::string& text) {
  exprcalc_expr* expr = nullptr;
  const int code = exprcalc_prepare(text.c_str(), &expr);
  if (code != EXPRCALC_OK) return {expr == nullptr ? code : -1, 0.0};
  double value = -1.0;
  const int evaluated = exprcalc_evaluate(expr, &value);
  exprcalc_release(expr);
  return {evaluated, value};
}

// The place of the failure as explain, judge or a statement call gives it.
Outcome Explained(const std::string& text) {
  exprcalc_diagnosis d;
  const int code = exprcalc_explain(text.c_str(), &d);
  return {code, d.value, d.at};
}

Outcome Judged(const std::string& text) {
  exprcalc_judgement j;
  const int code = exprcalc_judge(text.c_str(), &j);
  return {code, j.diagnosis.value, j.diagnosis.at};
}

Outcome StatementJudged(int (*call)(const char*, exprcalc_statement_judgement*), const std::string& text) {
  exprcalc_statement_judgement j;
  const int result = call(text.c_str(), &j);
  return {result, 0.0, j.statement.expression.at};
}

// Long texts take the evaluator's stack from the heap; a fraction of more
// than 320 bytes with grouping commas takes a second block for its digits.
const std::string LongSum = Repeat("1+", 200) + "1";
const std::string GroupedDigits = Repeat("1,", 170) + "5.25";
const double GroupedValue = std::strtod((Repeat("1", 170) + "5.25").c_str(), nullptr);
const std::string LongDivision = Repeat("1+", 200) + "1/0";  // the "/" at 401

std::vector<Operation> Operations() {
  return {
      {"long sum", 0, Kind::Evaluation, true, [] { return Evaluate(LongSum); }, {0, 201.0}},
      {"long grouped fraction", 0, Kind::Evaluation, true, [] { return Evaluate(GroupedDigits); }, {0, GroupedValue}},
      {"grouped fraction in a long text", 0, Kind::Evaluation, true,
       [] { return Evaluate(std::string(300, ' ') + "1,000.5"); }, {0, 1000.5}},
      {"long text of variables", 3, Kind::Evaluation, true, [] { return Evaluate(Repeat("@V2*", 100) + "1"); },
       {0, 1267650600228229401496703205376.0}},
      {"long malformed text", 0, Kind::Evaluation, true, [] { return Evaluate(Repeat("(", 300) + Repeat(")", 301)); },
       {EXPRCALC_MALFORMED, 0.0}},
      {"text of 256 bytes", 0, Kind::Evaluation, false, [] { return Evaluate(Repeat("1+", 127) + "10"); }, {0, 137.0}},
      {"prepared short text", 3, Kind::Evaluation, true, [] { return Prepared("@V2*(1+@V1)"); }, {0, 4.0}},
      {"prepared long sum", 0, Kind::Evaluation, true, [] { return Prepared(LongSum); }, {0, 201.0}},
      {"prepared long grouped fraction", 0, Kind::Evaluation, true, [] { return Prepared(GroupedDigits); },
       {0, GroupedValue}},
      {"statement of a long sum, first variable", 0, Kind::Statement, true,
       [] { return Statement("@X = " + LongSum); }, {0, 0.0}},
      {"statement of a grouped fraction, 18th variable", 17, Kind::Statement, true,
       [] { return Statement("@X = " + GroupedDigits); }, {0, 0.0}},
      {"text statement, first variable", 0, Kind::Statement, true, [] { return Statement("@X = \"text"); }, {0, 0.0}},
      {"statement replacing a variable", 17, Kind::Statement, true, [] { return Statement("@V3 = " + LongSum); },
       {0, 0.0}},
      {"statement removing a variable", 17, Kind::Statement, false, [] { return Statement("@V3 ="); }, {0, 0.0}},
      {"statement, 50th variable", 49, Kind::Statement, true, [] { return Statement("@X = 5"); }, {0, 0.0}},
      {"explained long division", 0, Kind::Diagnosed, true, [] { return Explained(LongDivision); },
       {EXPRCALC_DIVISION_BY_ZERO, 0.0, 401}},
      {"judged long division", 0, Kind::Diagnosed, true, [] { return Judged(LongDivision); },
       {EXPRCALC_DIVISION_BY_ZERO, 0.0, 401}},
      {"judged long sum", 0, Kind::Diagnosed, true, [] { return Judged(LongSum); }, {0, 201.0, 0}},
      {"explained statement of a long division", 0, Kind::Statement, true, [] {
         exprcalc_statement_diagnosis d;
         return Outcome{exprcalc_explain_statement(("@X = " + LongDivision).c_str(), &d), 0.0, d.expression.at};
       }, {1, 0.0, 406}},
      {"judged statement of a long division", 0, Kind::Judged, true,
       [] { return StatementJudged(exprcalc_judge_statement, "@X = " + LongDivision); }, {1, 0.0, 406}},
      {"whole statement of a long sum", 17, Kind::Judged, true,
       [] { return StatementJudged(exprcalc_substitute_whole, "@X = " + LongSum); }, {0, 0.0, 0}},
      {"first number", 0, Kind::Store, true, [] { return Outcome{EnterVarDouble("A", 1.0), 0.0}; }, {1, 0.0}},
      {"first text", 0, Kind::Store, true, [] { return Outcome{EnterVarString("A", "x"), 0.0}; }, {1, 0.0}},
      {"18th variable", 17, Kind::Store, true, [] { return Outcome{EnterVarDouble("N", 18.0), 0.0}; }, {18, 0.0}},
      {"50th variable", 49, Kind::Store, true, [] { return Outcome{EnterVarString("N", "fifty"), 0.0}; }, {50, 0.0}},
      {"82nd variable", 81, Kind::Store, true, [] { return Outcome{EnterVarDouble("N", 82.0), 0.0}; }, {82, 0.0}},
      {"replaced variable", 17, Kind::Store, false, [] { return Outcome{EnterVarString("@v3", "three"), 0.0}; },
       {3, 0.0}},
  };
}

Outcome FailureOutcome(Kind kind) {
  switch (kind) {
    case Kind::Evaluation: case Kind::Diagnosed: return {EXPRCALC_OUT_OF_MEMORY, 0.0};
    case Kind::Statement: case Kind::Judged: return {EXPRCALC_STATEMENT_FAILED, 0.0};
    default: return {EXPRCALC_NOT_FOUND, 0.0};
  }
}

// A diagnosed or judged run whose failed allocation held only places gives
// the usual result; a place it could not know is EXPRCALC_NOWHERE, never 0.
bool PlacesOnlyLost(const Operation& operation, const Outcome& outcome) {
  if (operation.kind != Kind::Diagnosed && operation.kind != Kind::Judged) return false;
  return outcome.result == operation.success.result && outcome.value == operation.success.value &&
         (outcome.at == operation.success.at || outcome.at == EXPRCALC_NOWHERE);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Runs the operation with its k-th allocation failing, for k = 0, 1, ...
// until it succeeds; returns the number of runs.
std::size_t FailEveryAllocation(const Operation& operation, bool persistent) {
  const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
    TableOf(operation.tableSize);
    const TableImage before = Snapshot();
    const std::size_t blocks = allocation::LiveBlockCount();
    const Outcome outcome = failing.Run(operation.run);
    const std::string row = std::string(operation.name) + (persistent ? ", persistent" : "") +
                            ", allocation " + std::to_string(failing.Succeeding()) + " failing";
    if (!failing.Injected()) {
      EXPECT_EQ(outcome.result, operation.success.result) << row;
      EXPECT_EQ(outcome.at, operation.success.at) << row;
      if (operation.kind == Kind::Evaluation || operation.kind == Kind::Diagnosed) {
        EXPECT_EQ(outcome.value, operation.success.value) << row;
        EXPECT_EQ(allocation::LiveBlockCount(), blocks) << row << ": an evaluation kept a block";
      }
      return;
    }
    if (PlacesOnlyLost(operation, outcome)) return;  // it succeeded: a whole statement was carried out
    const Outcome failure = FailureOutcome(operation.kind);
    EXPECT_EQ(outcome.result, failure.result) << row;
    if (operation.kind == Kind::Evaluation || operation.kind == Kind::Diagnosed) {
      EXPECT_TRUE(SameBits(outcome.value, 0.0)) << row;
    }
    if (operation.kind == Kind::Diagnosed) {
      EXPECT_NE(outcome.at, 0u) << row << ": an unknown place given as 0";
    }
    EXPECT_EQ(allocation::LiveBlockCount(), blocks) << row << ": a block was not released";
    EXPECT_TRUE(Snapshot() == before) << row << ": the table changed";
  }, persistent);
  EXPECT_LT(failed, 100u) << operation.name << ": still failing after 100 allocations";
  return failed + 1;
}

TEST(AllocationFailure, EveryFailedAllocationReportsAndChangesNothing) {
  std::size_t points = 0;
  for (bool persistent : {false, true}) {
    for (const Operation& operation : Operations()) points += FailEveryAllocation(operation, persistent);
  }
  FreeVariable();
  EXPECT_EQ(allocation::LiveBlockCount(), 0u) << "the table kept a block after FreeVariable";
  std::printf("allocation failure points tried: %zu\n", points);
}

// The operations that need memory must actually reach an allocation, or the
// test above would prove nothing about them.
TEST(AllocationFailure, LongTextsAndNewVariablesAllocate) {
  for (const Operation& operation : Operations()) {
    TableOf(operation.tableSize);
    allocation::FailingAllocation failing(0, false);
    failing.Run(operation.run);
    EXPECT_EQ(failing.Injected(), operation.allocates) << operation.name;
  }
  FreeVariable();
}

}  // namespace
