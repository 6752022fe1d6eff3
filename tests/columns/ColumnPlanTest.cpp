// The column plan seen from inside: which texts it plans, in how many steps
// and buffers (numbers folded, a step on the same operands planned once,
// buffers used again), and which blocks it leaves to the exact runner. What
// each row gives is the columns oracle's, in PreparedTest.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "columns/ColumnPlan.h"
#include "columns/Columns.h"
#include "program/Program.h"
#include "module/EvaluatorModule.h"

namespace {

using exprcalc::ColumnPlan;
using exprcalc::ColumnValues;

exprcalc::ColumnProgram ColumnsOf(const exprcalc_expr& expr, const exprcalc::VariableTable& table) {
  return {expr.Recording(table), expr.Current(table), expr.Text()};
}

constexpr std::size_t Rows = 256;

struct Case {
  const char* text;
  std::size_t steps;    // 0: the plan leaves the text to the exact runner
  std::size_t buffers;
  double x, y;          // every row's @X and @Y
  bool planned;         // the block runs planned (false: a row may differ, it runs exactly)
};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// @X and @Y are columns, @R a record holding 2.
const Case Cases[] = {
    {"@X*2+1", 2, 1, 1.5, 1.5, true},
    {"2*SIN(30*PAI/180)+@X", 1, 0, 1.5, 1.5, true},
    {"@R*3-1", 1, 0, 1.5, 1.5, true},                 // one number, copied
    {"@X", 1, 0, 1.5, 1.5, true},
    {"SQRT(@X*@X+@Y*@Y+@R*@R)", 5, 3, 1.5, 2.5, true},
    {"@X^2+@X^2", 2, 1, 1.5, 1.5, true},              // one power a row
    {"SIN(@X)*COS(@Y)+COS(@X)*SIN(@Y)", 7, 4, 1.5, 2.5, true},
    {"(@X+1)*((@X+1)*((@X+1)*@Y))", 4, 3, 1.5, 2.5, true},
    {"-(@X%@Y)^@R/LOG(@Y)", 5, 3, 7.0, 2.5, true},
    {"@X/@Y", 1, 0, 1.5, 0.0, false},                 // a row divides by zero
    {"@X/@Y", 1, 0, 1.5, 4e-14, false},
    {"LOG(@X-@Y)", 2, 1, 1.5, 2.5, false},            // a negative logarithm
    {"SQRT(@X-@Y)", 2, 1, 1.5, 2.5, false},           // a NaN of the library's
    {"@X+@Y", 1, 0, NaN, 2.5, false},                 // a NaN sum: its bits are pinned
    {"(@X*@Y)^0", 2, 1, NaN, 2.5, false},             // a NaN that a power would hide
    {"@X-@Y", 1, 0, NaN, 2.5, true},                  // the difference's NaN is the instruction's
    {"@X/(@R-2)", 0, 0, 1.5, 1.5, true},              // fails in every row
    {"LOG(@R-2)*@X", 0, 0, 1.5, 1.5, true},
    {"@X+*2", 0, 0, 1.5, 1.5, true},                  // malformed
};

TEST(ColumnPlan, FoldsSharesAndFlagsAsItShould) {
  FreeVariable();
  EnterVarDouble("@X", 1.0);
  EnterVarDouble("@Y", 1.0);
  EnterVarDouble("@R", 2.0);
  int type = 0;
  const int indexes[] = {GetIndexByKey("@X", &type), GetIndexByKey("@Y", &type)};
  const exprcalc::VariableTable& table = exprcalc::TheModule().Table();
  for (const Case& c : Cases) {
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(c.text, &expr), EXPRCALC_OK);
    const std::vector<double> xs(Rows, c.x), ys(Rows, c.y);
    const double* const columns[] = {xs.data(), ys.data()};
    const ColumnValues values{indexes, columns, 2};
    ColumnPlan plan;
    const bool made = exprcalc::PlanColumns(ColumnsOf(*expr, table), values, plan);
    EXPECT_EQ(made ? plan.stepCount : 0, c.steps) << c.text;
    if (made) {
      EXPECT_EQ(plan.bufferCount, c.buffers) << c.text;
      std::vector<double> buffers(plan.bufferCount * Rows), target(Rows);
      EXPECT_EQ(exprcalc::RunPlanBlock(plan, values, 0, Rows, buffers.data(), Rows, target.data()), c.planned)
          << c.text;
    }
    exprcalc_release(expr);
  }
  // More steps than a plan holds: the text is left to the exact runner.
  std::string longText = "@X";
  for (int i = 0; i < 150; ++i) longText = "SIN(" + longText + ")";
  exprcalc_expr* expr = nullptr;
  ASSERT_EQ(exprcalc_prepare(longText.c_str(), &expr), EXPRCALC_OK);
  const double* const columns[] = {&Cases[0].x, &Cases[0].y};
  ColumnPlan plan;
  EXPECT_FALSE(exprcalc::PlanColumns(ColumnsOf(*expr, table), ColumnValues{indexes, columns, 2}, plan));
  exprcalc_release(expr);
  FreeVariable();
}

}  // namespace
