// The arithmetic's edge rules through every back end: each rule's texts run
// over every pair of edge values (the divisor and logarithm threshold and
// its neighbours, the unit bounds of the inverse sine and cosine, zeros of
// both signs, the ends of 32-bit truncation, infinities, NaNs of both signs
// and with payloads) as a text (ParseString), as the recorded operations, as
// steps, as machine code and as columns, and every back end must give the
// text's code and value, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/CodeSpace.h"
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "native/NativeCompiler.h"
#include "program/Program.h"
#include "program/Steps.h"

namespace {

using exprcalc::ZeroThreshold;

double Bits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
std::uint64_t BitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

const double Inf = std::numeric_limits<double>::infinity();
const std::vector<double> Edges = {
    0.0, -0.0, ZeroThreshold, std::nextafter(ZeroThreshold, 0.0), -ZeroThreshold,
    -std::nextafter(ZeroThreshold, 0.0), 1.0, std::nextafter(1.0, 2.0), -1.0, std::nextafter(-1.0, -2.0),
    0.999, -0.999, 3.0, -2.5, 2147483647.5, 2147483648.0, -2147483649.0, Inf, -Inf,
    Bits(0x7FF8000000000000), Bits(0xFFF8000000000000), Bits(0x7FF8000000000123), Bits(0xFFF0000000000042),
};

// One text per rule, and the forms that read a constant as the right operand.
const char* const Texts[] = {
    "@A/@B", "@A/0.00000000000005", "@A/0.0000000000000499", "@A^@B", "@A^-1", "@A%@B", "@A%0.999",
    "@A+@B", "@A*@B", "@A-@B", "-@A", "-(@A+@B)", "LOG(@A)", "LOG10(@A+@B)", "ASIN(@A)", "ACOS(@A*@B)",
    "SQRT(@A)", "@A/(@B-@B)", "(@A+1)*(@B*2)", "-(@A/@B)", "-(@A*@B)-@B",
};

struct Result {
  int code;
  double value;
};

Result Steps(const exprcalc::RecordedProgram& recorded) {
  std::vector<exprcalc::Step> steps(recorded.count + recorded.count / exprcalc::Program::SegmentSteps + 2);
  std::size_t slots = 0;
  const std::size_t count = exprcalc::CompileSteps(recorded, steps.data(), slots);
  if (count == exprcalc::NotCompiled) return {-1, 0.0};
  std::vector<double> frame(slots);
  exprcalc::Outcome outcome{exprcalc::Ok, 0.0};
  for (std::size_t i = 0; i < count && outcome.code == exprcalc::Ok; i += exprcalc::Program::SegmentSteps + 1) {
    outcome = steps[i].run(steps[i], frame.data());
  }
  return {outcome.code, outcome.value};
}

class EdgeRules : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeVariable();
    int type = 0;
    EnterVarDouble("@A", 0.0);
    EnterVarDouble("@B", 0.0);
    a_ = GetIndexByKey("@A", &type);
    b_ = GetIndexByKey("@B", &type);
  }
  void TearDown() override { FreeVariable(); }

  // Every pair, row by row: the first value @A, the second @B.
  void Expect(const char* text) {
    const exprcalc::VariableTable& table = exprcalc::TheModule().Table();
    exprcalc_expr* expr = nullptr;
    ASSERT_EQ(exprcalc_prepare(text, &expr), EXPRCALC_OK);
    const exprcalc::RecordedProgram recorded = expr->Recording(table);
    ASSERT_TRUE(expr->Current(table) && recorded.shape.runnable) << text;
    const exprcalc::NativeCode native = exprcalc::CompileNative(recorded, table.Code());
    std::vector<double> as, bs;
    std::vector<Result> expected;
    exprcalc_expr* previous = nullptr;
    for (double a : Edges) {
      for (double b : Edges) {
        as.push_back(a);
        bs.push_back(b);
        exprcalc_set_double(a_, a);
        exprcalc_set_double(b_, b);
        Result text_result{};
        text_result.code = ParseString(text, &text_result.value);
        expected.push_back(text_result);
        const exprcalc::Outcome operations = exprcalc::RunRecorded(recorded);
        Check(text, "recorded operations", a, b, text_result, {operations.code, operations.value});
        // A handle's first run gives what its text gave when it was prepared;
        // the one prepared under the pair before has seen two stores since.
        if (previous != nullptr) Check(text, "handle of the pair before", a, b, text_result, Run(previous));
        exprcalc_release(previous);
        ASSERT_EQ(exprcalc_prepare(text, &previous), EXPRCALC_OK);
        Check(text, "fresh handle", a, b, text_result, Run(previous));
        Check(text, "steps", a, b, text_result, Steps(recorded));
        if (native.run != nullptr) {
          Result code{};
          code.code = native.run(&code.value);
          Check(text, "machine code", a, b, text_result, code);
        }
      }
    }
    exprcalc_release(previous);
    const int indexes[] = {a_, b_};
    const double* const columns[] = {as.data(), bs.data()};
    std::vector<double> results(as.size());
    std::vector<int> codes(as.size());
    exprcalc_evaluate_columns(expr, as.size(), 2, indexes, columns, results.data(), codes.data());
    for (std::size_t r = 0; r < as.size(); ++r) Check(text, "columns", as[r], bs[r], expected[r], {codes[r], results[r]});
    exprcalc::CodeSpace::Release(native.region);
    exprcalc_release(expr);
  }

  static Result Run(const exprcalc_expr* expr) {
    Result result{};
    result.code = exprcalc_evaluate(expr, &result.value);
    return result;
  }

  static void Check(const char* text, const char* way, double a, double b, Result expected, Result got) {
    EXPECT_TRUE(got.code == expected.code && BitsOf(got.value) == BitsOf(expected.value))
        << way << ": " << text << " with @A " << std::hex << BitsOf(a) << ", @B " << BitsOf(b) << " gives "
        << std::dec << got.code << " " << std::hex << BitsOf(got.value) << ", the text " << std::dec << expected.code
        << " " << std::hex << BitsOf(expected.value);
  }

  int a_ = -1;
  int b_ = -1;
};

TEST_F(EdgeRules, EveryBackEndGivesTheTextsBits) {
  for (const char* text : Texts) Expect(text);
}

}  // namespace
