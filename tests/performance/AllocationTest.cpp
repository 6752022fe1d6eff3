// The evaluation path's heap use, counted three ways (C++ operators, the
// library's allocation layer, and the C allocation functions where the build
// counts them): nothing at all for texts up to 256 bytes and for a statement
// that replaces a variable; everything released again for longer texts.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Corpus.h"
#include "CountingAllocator.h"
#include "ScalingTexts.h"
#include "exprcalc.h"
#include "AllocationFaults.h"

namespace {

using exprcalc::bench::Shape;
using exprcalc::bench::ScalingText;
using exprcalc::testing::CurrentHeapCounts;
using exprcalc::testing::HeapCounts;

constexpr std::size_t InlineLimit = 256;

struct Evaluation {
  int code = -1;
  double value = -1.0;
  HeapCounts before;
  HeapCounts after;

  std::size_t Requests() const {
    return (after.newCalls - before.newCalls) + (after.libraryRequests - before.libraryRequests) +
           (after.mallocRequests - before.mallocRequests);
  }
  bool ReleasedEverything() const {
    return after.libraryLive == before.libraryLive && after.mallocLiveBytes == before.mallocLiveBytes &&
           after.newCalls - before.newCalls == after.deleteCalls - before.deleteCalls;
  }
};

Evaluation Parse(const std::string& text) {
  Evaluation run;
  run.before = CurrentHeapCounts();
  run.code = ParseString(text.c_str(), &run.value);
  run.after = CurrentHeapCounts();
  return run;
}

Evaluation Substitute(const std::string& statement, const char* name) {
  Evaluation run;
  run.before = CurrentHeapCounts();
  run.code = Substitution(statement.c_str());
  run.after = CurrentHeapCounts();
  LookupVarDouble(name, &run.value);
  return run;
}

// Repeats unit and pads with blanks (or cuts) to exactly length bytes.
std::string Repeated(const std::string& unit, std::size_t length) {
  std::string text;
  while (text.size() < length) text += unit;
  text.resize(length, ' ');
  return text;
}

// "0,000,…,001.25": a grouped numeral whose commas force the compacted copy.
std::string GroupedFraction(std::size_t length) {
  std::string text = "0";
  while (text.size() + 11 <= length) text += ",000";
  text += ",001.25";
  text.resize(length, ' ');
  return text;
}

class Allocation : public ::testing::Test {
 protected:
  void SetUp() override {
    exprcalc::allocation::StopFailing();
    FreeVariable();
    exprcalc::bench::EnterCorpusVariables();
    EnterVarDouble("@TOTAL", 5.0);
    EnterVarString("@NOTE", "first text");
  }
  void TearDown() override {
    exprcalc::allocation::StopFailing();
    FreeVariable();
  }
};

TEST_F(Allocation, CorpusEvaluatesWithoutHeap) {
  for (const auto& row : exprcalc::bench::Corpus()) {
    const Evaluation run = Parse(std::string(row.text));
    EXPECT_EQ(run.code, EXPRCALC_OK) << row.name;
    EXPECT_EQ(run.Requests(), 0u) << row.name;
  }
}

// A prepared expression evaluates without the heap, while its values change
// and after the table grew (when it follows its text, which fits inline).
TEST_F(Allocation, PreparedExpressionsEvaluateWithoutHeap) {
  for (const auto& row : exprcalc::bench::Corpus()) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(std::string(row.text).c_str(), &expr), EXPRCALC_OK) << row.name;
    for (int round = 0; round < 2; ++round) {
      const HeapCounts before = CurrentHeapCounts();
      double value = 0.0;
      for (int i = 0; i < 10; ++i) {
        exprcalc_set_double(i % 3, 1.0 + i);
        exprcalc_evaluate(expr, &value);
      }
      const HeapCounts after = CurrentHeapCounts();
      EXPECT_EQ((after.newCalls - before.newCalls) + (after.libraryRequests - before.libraryRequests) +
                    (after.mallocRequests - before.mallocRequests),
                0u)
          << row.name << (round == 0 ? "" : ", after the table's shape changed");
      // Columns too, over more than one block of rows.
      const std::vector<double> column(300, 2.5);
      const int indexes[] = {0, 2};
      const double* const columns[] = {column.data(), column.data()};
      std::vector<double> results(column.size());
      const HeapCounts beforeColumns = CurrentHeapCounts();
      exprcalc_evaluate_columns(expr, results.size(), 2, indexes, columns, results.data(), nullptr);
      const HeapCounts afterColumns = CurrentHeapCounts();
      EXPECT_EQ(afterColumns.newCalls + afterColumns.libraryRequests + afterColumns.mallocRequests,
                beforeColumns.newCalls + beforeColumns.libraryRequests + beforeColumns.mallocRequests)
          << row.name << ", columns";
      EnterVarDouble("@ANOTHER", 1.0);
    }
    RemoveVariable("@ANOTHER");
    exprcalc_release(expr);
  }
}

// Every evaluation of a prepared expression stays off the heap, the one that
// compiles its machine code included, and so do the steps of a text too long
// to compile (1,000 bytes) or where code memory is denied (the test
// PreparedWithoutCodeMemory runs this with a code budget of nothing).
TEST_F(Allocation, PreparedEvaluationTakesNoHeapThroughItsCompile) {
  EnterVarDouble("@X", 0.5);
  std::string long_text = "@X";
  while (long_text.size() < 990) long_text += "+(@X*" + std::to_string(long_text.size()) + "-1)";
  for (const std::string& text : {std::string("(@X+1)*(@X-1)"), std::string("SIN(@X)^2+LOG(@X+3)"), long_text}) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(text.c_str(), &expr), EXPRCALC_OK);
    const HeapCounts before = CurrentHeapCounts();
    double value = 0.0;
    for (int i = 0; i < 1100; ++i) exprcalc_evaluate(expr, &value);  // past the compile
    const HeapCounts after = CurrentHeapCounts();
    EXPECT_EQ((after.newCalls - before.newCalls) + (after.libraryRequests - before.libraryRequests) +
                  (after.mallocRequests - before.mallocRequests),
              0u)
        << text.size() << " bytes";
    int why = -1;
    EXPECT_NE(exprcalc_code_form(expr, &why), EXPRCALC_FORM_TEXT) << text.size() << " bytes";
    exprcalc_release(expr);
  }
  RemoveVariable("@X");
}

struct ShortShape {
  const char* name;
  std::function<std::string(std::size_t)> build;
  std::optional<double> valueAtLimit;  // ParseString's value for the text of exactly InlineLimit bytes
};

TEST_F(Allocation, TextsUpToTheInlineLimitTakeNoHeap) {
  const ShortShape shapes[] = {
      {"flat", [](std::size_t n) { return ScalingText(Shape::Flat, n); }, 128.0},
      {"nested", [](std::size_t n) { return ScalingText(Shape::Nested, n); }, 1.0},
      {"functions", [](std::size_t n) { return ScalingText(Shape::Functions, n); }, 1.0},
      // 64 whole units of 4 bytes at the limit.
      {"variables", [](std::size_t n) { return Repeated("+QTY", n).replace(0, 1, " "); }, 64 * 12.0},
      {"grouped fraction", GroupedFraction, 1.25},
      // 32 units "+1:30:00" of 8 bytes, each 1.5.
      {"sexagesimal", [](std::size_t n) { return Repeated("+1:30:00", n).replace(0, 1, " "); }, 48.0},
      {"mixed", [](std::size_t n) { return Repeated("+@RATE*(SQRT(@BASE)-ABS(.5))", n).replace(0, 1, " "); },
       std::nullopt},
  };
  for (const ShortShape& shape : shapes) {
    for (std::size_t length = 1; length <= InlineLimit; ++length) {
      const Evaluation run = Parse(shape.build(length));
      ASSERT_EQ(run.Requests(), 0u) << shape.name << ", " << length << " bytes";
      ASSERT_NE(run.code, EXPRCALC_OUT_OF_MEMORY) << shape.name << ", " << length << " bytes";
    }
    const Evaluation atLimit = Parse(shape.build(InlineLimit));
    if (shape.valueAtLimit) {
      EXPECT_EQ(atLimit.code, EXPRCALC_OK) << shape.name;
      EXPECT_DOUBLE_EQ(atLimit.value, *shape.valueAtLimit) << shape.name;
    }
  }
}

TEST_F(Allocation, StatementReplacingAVariableTakesNoHeap) {
  struct Row {
    const char* statement;
    const char* name;
    double value;
  };
  const Row rows[] = {
      {"@TOTAL = @TOTAL*2+1", "@TOTAL", 11.0},
      {"  @total=SQRT(QTY+4)  ", "@TOTAL", 4.0},
      {"@RATE = @RATE/2", "@RATE", 0.0375},
      {"@TOTAL = 12:30", "@TOTAL", 12.5},
  };
  for (const Row& row : rows) {
    const int count = GetVarCount();
    const Evaluation run = Substitute(row.statement, row.name);
    EXPECT_EQ(run.code, EXPRCALC_STATEMENT_DONE) << row.statement;
    EXPECT_DOUBLE_EQ(run.value, row.value) << row.statement;
    EXPECT_EQ(GetVarCount(), count) << row.statement;
    EXPECT_EQ(run.Requests(), 0u) << row.statement;
  }

  const HeapCounts before = CurrentHeapCounts();
  EXPECT_EQ(Substitution("@NOTE = \"second text"), EXPRCALC_STATEMENT_DONE);
  const HeapCounts after = CurrentHeapCounts();
  EXPECT_EQ(after.libraryRequests + after.newCalls + after.mallocRequests,
            before.libraryRequests + before.newCalls + before.mallocRequests);
  char text[EXPRCALC_TEXT_BUFFER_SIZE];
  EXPECT_GE(LookupVarString("@NOTE", text), 0);
  EXPECT_STREQ(text, "second text");
}

TEST_F(Allocation, LongTextsReleaseEverythingTheyTake) {
  const std::string flat1k = ScalingText(Shape::Flat, 1024);
  struct Row {
    const char* name;
    std::function<Evaluation()> run;
    int code;
    double value;
  };
  const Row rows[] = {
      {"flat, one byte over", [] { return Parse(ScalingText(Shape::Flat, InlineLimit + 1)); }, EXPRCALC_OK, 129.0},
      {"nested, 10 KB", [] { return Parse(ScalingText(Shape::Nested, 10 * 1024)); }, EXPRCALC_OK, 1.0},
      {"functions, 100 KB", [] { return Parse(ScalingText(Shape::Functions, 100 * 1024)); }, EXPRCALC_OK, 1.0},
      {"grouped fraction of 400 bytes", [] { return Parse(GroupedFraction(400)); }, EXPRCALC_OK, 1.25},
      {"division by zero at the end", [&] { return Parse(flat1k + "/0"); }, EXPRCALC_DIVISION_BY_ZERO, 0.0},
      {"unmatched parenthesis at the end", [&] { return Parse(flat1k + ")"); }, EXPRCALC_MALFORMED, 0.0},
      {"statement with a long right side", [&] { return Substitute("@TOTAL = " + flat1k, "@TOTAL"); },
       EXPRCALC_STATEMENT_DONE, 512.0},
      {"stack allocation fails",
       [&] {
         exprcalc::allocation::FailAfter(0);
         Evaluation run = Parse(flat1k);
         exprcalc::allocation::StopFailing();
         return run;
       },
       EXPRCALC_OUT_OF_MEMORY, 0.0},
  };
  for (const Row& row : rows) {
    const Evaluation run = row.run();
    EXPECT_EQ(run.code, row.code) << row.name;
    EXPECT_DOUBLE_EQ(run.value, row.value) << row.name;
    EXPECT_GE(run.after.libraryRequests - run.before.libraryRequests, 1u) << row.name << ": no heap path taken";
    EXPECT_TRUE(run.ReleasedEverything()) << row.name;
  }
}

}  // namespace
