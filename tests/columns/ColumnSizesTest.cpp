// Columns over plans of every size a plan holds, against exprcalc_set_double
// and exprcalc_evaluate row by row. The texts hold from 1 to more than
// ColumnPlan::MostBuffers values at once (each computed from a column and
// kept while the terms to its right are), so the plans take every number of
// buffers, up to the largest and past it; each is run with its results apart
// and with its results written over each of its columns in turn (the plan
// then stages every block in one more buffer). Block sizes depend on both,
// so a fault in how they are chosen shows here.
//
// With EXPRCALC_COLUMNS=baseline in the environment (the ColumnsBaseline
// test) the same runs take the baseline vector code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ExtremeValues.h"
#include "Random.h"
#include "columns/ColumnPlan.h"
#include "columns/Columns.h"
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "program/Program.h"

namespace {

using exprcalc::ColumnPlan;
using exprcalc::testing::ColumnExtremes;
using exprcalc::testing::Random;

const char* const ColumnNames[] = {"@X", "@Y", "@Z"};

// A term that becomes a step of its own: its constant (1.25 + i) is no
// other term's, so the plan shares no step between terms.
std::string Term(Random& random, std::size_t i) {
  const std::string c = std::to_string(i + 1) + ".25";
  const std::string v = random.Pick(ColumnNames);
  switch (random.Below(6)) {
    case 0: return "(" + v + "+" + c + ")";
    case 1: return "(" + v + "*" + c + ")";
    case 2: return "SIN(" + v + "-" + c + ")";
    case 3: return "(" + c + "/" + v + ")";
    case 4: return "(" + v + "%" + c + ")";
    default: return "-(" + v + "^" + c + ")";
  }
}

// t0 op (t1 op (... t[held-1])): every term is kept while those to its right are computed.
std::string Held(Random& random, std::size_t held) {
  static const char* const operators[] = {"+", "-", "*", "/", "+", "*"};
  std::string text = Term(random, held - 1);
  for (std::size_t i = held - 1; i-- > 0;) {
    text = Term(random, i) + random.Pick(operators) + "(" + text + ")";
    if (random.Below(8) == 0) text = "ABS(" + text + ")";
  }
  return text;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Call {
  std::size_t rows;
  std::vector<int> indexes;
  std::vector<std::vector<double>> values;  // per column, its rows
  std::size_t aliased;                      // the column the results are written over, or none
};

constexpr std::size_t Apart = static_cast<std::size_t>(-1);

// Columns of mostly ordinary values; in some calls a rare extreme one, so
// that blocks run planned and now and then exactly.
Call Draw(Random& random, const int (&indexes)[3], std::size_t aliased) {
  Call call;
  call.rows = random.Below(3) == 0 ? 1 + random.Below(700) : 1 + random.Below(300);
  call.indexes.assign(std::begin(indexes), std::end(indexes));
  if (random.Below(4) == 0) call.indexes.push_back(random.Pick(indexes));  // an index given twice: the last counts
  const std::size_t rarity = random.Below(2) == 0 ? 0 : 300;
  for (std::size_t k = 0; k < call.indexes.size(); ++k) {
    std::vector<double> column(call.rows);
    for (double& value : column) {
      value = rarity != 0 && random.Below(rarity) == 0 ? random.Pick(ColumnExtremes) : 0.25 + random.Below(16) * 0.5;
    }
    call.values.push_back(std::move(column));
  }
  call.aliased = aliased == Apart ? Apart : aliased % call.indexes.size();
  return call;
}

// Runs the call and compares every row with the single evaluation; returns the first difference.
std::string Compare(const exprcalc_expr* expr, const std::string& text, const Call& call) {
  constexpr std::size_t Margin = 64;
  std::vector<double> guarded(call.rows + 2 * Margin, 9.0);
  double* const results = guarded.data() + Margin;
  std::vector<const double*> columns;
  for (const auto& column : call.values) columns.push_back(column.data());
  if (call.aliased != Apart) {
    std::copy(call.values[call.aliased].begin(), call.values[call.aliased].end(), results);
    columns[call.aliased] = results;
  }
  std::vector<int> codes(call.rows, -9);
  const int first = exprcalc_evaluate_columns(expr, call.rows, call.indexes.size(), call.indexes.data(),
                                              columns.data(), results, codes.data());
  const auto untouched = [](double value) { return value == 9.0; };
  if (!std::all_of(guarded.begin(), guarded.begin() + Margin, untouched) ||
      !std::all_of(guarded.end() - Margin, guarded.end(), untouched)) {
    return text + ": written outside the results";
  }
  int expectedFirst = 0;
  for (std::size_t r = 0; r < call.rows; ++r) {
    for (std::size_t k = 0; k < call.indexes.size(); ++k) exprcalc_set_double(call.indexes[k], call.values[k][r]);
    double value = 1.0;
    const int code = exprcalc_evaluate(expr, &value);
    if (expectedFirst == 0) expectedFirst = code;
    if (code != codes[r] || !SameBits(value, results[r])) {
      return text + " (" + std::to_string(call.rows) + " rows, results over column " +
             (call.aliased == Apart ? std::string("none") : std::to_string(call.aliased)) + ") row " +
             std::to_string(r) + ": columns " + std::to_string(codes[r]) + " " + std::to_string(results[r]) +
             ", evaluate " + std::to_string(code) + " " + std::to_string(value);
    }
  }
  return first == expectedFirst ? std::string() : text + ": the first failing code";
}

TEST(Columns, AgreeWithEvaluateOnPlansOfEverySize) {
  FreeVariable();
  for (const char* name : ColumnNames) EnterVarDouble(name, 1.0);
  int type = 0;
  const int indexes[] = {GetIndexByKey("@X", &type), GetIndexByKey("@Y", &type), GetIndexByKey("@Z", &type)};
  const exprcalc::VariableTable& table = exprcalc::TheModule().Table();
  Random random(20261207);
  // planned[b][staged]: calls whose plan took b buffers (0: none planned), staged or not.
  std::size_t planned[ColumnPlan::MostBuffers + 1][2] = {};
  std::string firstMismatch;
  for (std::size_t held = 1; held <= ColumnPlan::MostBuffers + 2; ++held) {
    for (int draw = 0; draw < 10; ++draw) {
      const std::string text = Held(random, held);
      exprcalc_expr* expr = nullptr;
      ASSERT_EQ(exprcalc_prepare(text.c_str(), &expr), EXPRCALC_OK);
      for (std::size_t aliased : {Apart, std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
        const Call call = Draw(random, indexes, aliased);
        std::vector<const double*> columns;
        for (const auto& column : call.values) columns.push_back(column.data());
        ColumnPlan plan;
        const exprcalc::ColumnValues values{call.indexes.data(), columns.data(), call.indexes.size()};
        const exprcalc::ColumnProgram program{expr->Recording(table), expr->Current(table), expr->Text()};
        const std::size_t buffers = exprcalc::PlanColumns(program, values, plan) ? plan.bufferCount : 0;
        ++planned[buffers][call.aliased == Apart ? 0 : 1];
        const std::string mismatch = Compare(expr, text, call);
        if (firstMismatch.empty()) firstMismatch = mismatch;
      }
      exprcalc_release(expr);
    }
  }
  EXPECT_TRUE(firstMismatch.empty()) << firstMismatch;
  for (std::size_t b = 1; b <= ColumnPlan::MostBuffers; ++b) {
    EXPECT_GT(planned[b][0], 0u) << "no plan of " << b << " buffers with its results apart";
    EXPECT_GT(planned[b][1], 0u) << "no plan of " << b << " buffers with its results over a column";
  }
  EXPECT_GT(planned[0][0], 0u) << "no text needs more buffers than a plan holds";
  FreeVariable();
}

// The switch that keeps the columns on the baseline vector code.
TEST(Columns, TakeTheVectorCodeTheEnvironmentAllows) {
  const char* setting = std::getenv("EXPRCALC_COLUMNS");
  if (setting != nullptr && std::strcmp(setting, "baseline") == 0) {
    EXPECT_FALSE(exprcalc::ColumnsUseAvx2());
  } else {
#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
    EXPECT_EQ(exprcalc::ColumnsUseAvx2(), __builtin_cpu_supports("avx2") != 0);
#else
    EXPECT_FALSE(exprcalc::ColumnsUseAvx2());
#endif
  }
}

}  // namespace
