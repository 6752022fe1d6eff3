// The cost of one evaluation, text by text, for the table of instructions
// per evaluation (bench/instructions.sh runs it under callgrind) and for the
// time ratios (run plainly, it prints nanoseconds). Per text and way of
// evaluating, the measured stretch is bracketed by callgrind's client
// requests, which do nothing outside callgrind:
//   parse     ParseString of the text, one-shot
//   prepared  exprcalc_set_double of @X, then exprcalc_evaluate
//   evaluate  exprcalc_evaluate alone
//   columns   exprcalc_evaluate_columns over @X, @Y, @Z (per row)
//   peer      the peer's Eval after a store to its bound x
//   bulk      the peer's bulk Eval over arrays of x, y, z (per row)
// The columns export is looked up at run time, so the program also measures
// a library that lacks it (for before-and-after comparisons).
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "exprcalc.h"
#ifdef EXPRCALC_BENCH_HAVE_CALLGRIND
#include <valgrind/callgrind.h>
#define RUNNING_ON_VALGRIND_OR_ZERO() RUNNING_ON_VALGRIND
#else
#define RUNNING_ON_VALGRIND_OR_ZERO() 0
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(label) static_cast<void>(label)
#endif
#ifdef EXPRCALC_BENCH_HAVE_PEER
#include <muParser.h>
#endif

namespace {

struct Text {
  const char* ours;
  const char* peer;
};

// Eleven texts over x, y and z, and one of constants only.
constexpr Text Texts[] = {
    {"@X*2+1", "x*2+1"},
    {"(@X+@Y)*(@X-@Y)", "(x+y)*(x-y)"},
    {"SQRT(@X*@X+@Y*@Y+@Z*@Z)", "sqrt(x*x+y*y+z*z)"},
    {"2*SIN(30*PAI/180)+@X", "2*sin(30*_pi/180)+x"},
    {"EXP(-(@X*@X)/2)/SQRT(2*PAI)", "exp(-(x*x)/2)/sqrt(2*_pi)"},
    {"LOG(@X+1)+LOG(@Y+2)+LOG(@Z+3)", "ln(x+1)+ln(y+2)+ln(z+3)"},
    {"SIN(@X)*COS(@Y)+COS(@X)*SIN(@Y)", "sin(x)*cos(y)+cos(x)*sin(y)"},
    {"-(@X-1)*(@X-2)*(@X-3)+(@Y-1)*(@Y-2)", "-(x-1)*(x-2)*(x-3)+(y-1)*(y-2)"},
    {"SQRT((@X-1.5)^2+(@Y-2.5)^2)*EXP(-(@Z/10))+LOG(1+@X*@X)*SIN(@Z*PAI/180)-COS(@Y*PAI/180)",
     "sqrt((x-1.5)^2+(y-2.5)^2)*exp(-(z/10))+ln(1+x*x)*sin(z*_pi/180)-cos(y*_pi/180)"},
    {"(3*@X^2+2*@X+1)/(@X^2+1)+(5*@Y^3-4*@Y^2+3*@Y-2)/(@Y^2+4)+SQRT(@Z^2+16)*2.5-0.125*@Z*(@Z+1)*(@Z+2)",
     "(3*x^2+2*x+1)/(x^2+1)+(5*y^3-4*y^2+3*y-2)/(y^2+4)+sqrt(z^2+16)*2.5-0.125*z*(z+1)*(z+2)"},
    {"(@X+1)*(@X+2)*(@X+3)*(@X+4)/((@Y+3)*(@Y+4)) + SQRT(@X*@X+1)*EXP(@Y/4) - LOG(@Z*@Z+1)*COS(@X*PAI/180) + "
     "SIN(@Z*PAI/180)*2.75",
     "(x+1)*(x+2)*(x+3)*(x+4)/((y+3)*(y+4)) + sqrt(x*x+1)*exp(y/4) - ln(z*z+1)*cos(x*_pi/180) + "
     "sin(z*_pi/180)*2.75"},
    {"SQRT(2)*3+1", "sqrt(2)*3+1"},
};

constexpr double X = 0.7;
constexpr double Y = 0.3;
constexpr double Z = 1.9;
constexpr std::size_t Rows = 4096;
// The values x takes in turn, one store before each evaluation.
constexpr double Alternating[] = {X, X * 1.0000001};

using ColumnsFunction = int (*)(const exprcalc_expr*, size_t, size_t, const int*, const double* const*, double*,
                                int*);

volatile double sink;

// Runs body(repeats) once to warm up, then measured: the instructions under
// callgrind (dumped under label), the best of five times otherwise.
template <typename Body>
void Measure(const std::string& label, std::size_t perRepeat, Body body) {
  const bool counted = RUNNING_ON_VALGRIND_OR_ZERO() != 0;
  const std::size_t repeats = counted ? (perRepeat > 1 ? 2 : 200) : 20000 / perRepeat + 1;
  // Past the runs after which a prepared expression compiles: its steady state.
  body(std::max<std::size_t>(repeats / 10 + 1, 2048 / perRepeat + 1));
  double best = 1e300;
  const std::string dump = label + " " + std::to_string(repeats * perRepeat);
  for (int round = 0; round < (counted ? 1 : 5); ++round) {
    CALLGRIND_ZERO_STATS;
    const auto start = std::chrono::steady_clock::now();
    body(repeats);
    const auto stop = std::chrono::steady_clock::now();
    CALLGRIND_DUMP_STATS_AT(dump.c_str());
    best = std::min(best, std::chrono::duration<double, std::nano>(stop - start).count());
  }
  std::printf("%s %.3f\n", label.c_str(), best / static_cast<double>(repeats * perRepeat));
}

}  // namespace

int main() {
  EnterVarDouble("@X", X);
  EnterVarDouble("@Y", Y);
  EnterVarDouble("@Z", Z);
  int type = 0;
  const int indexes[] = {GetIndexByKey("@X", &type), GetIndexByKey("@Y", &type), GetIndexByKey("@Z", &type)};
  std::vector<double> xs(Rows), ys(Rows), zs(Rows), results(Rows);
  for (std::size_t r = 0; r < Rows; ++r) {
    xs[r] = X + 1e-4 * static_cast<double>(r);
    ys[r] = Y + 2e-4 * static_cast<double>(r);
    zs[r] = Z - 1e-4 * static_cast<double>(r);
  }
  const double* const columns[] = {xs.data(), ys.data(), zs.data()};
  const auto evaluateColumns = reinterpret_cast<ColumnsFunction>(dlsym(RTLD_DEFAULT, "exprcalc_evaluate_columns"));

  for (std::size_t t = 0; t < std::size(Texts); ++t) {
    const Text& text = Texts[t];
    const std::string name = "text" + std::to_string(t + 1);
    double value = 0.0;
    Measure(name + " parse", 1, [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) ParseString(text.ours, &value);
      sink = value;
    });
    exprcalc_expr* expr = nullptr;
    if (exprcalc_prepare(text.ours, &expr) != EXPRCALC_OK) return 1;
    Measure(name + " prepared", 1, [&](std::size_t n) {
      const int index = indexes[0];
      for (std::size_t i = 0; i < n; ++i) {
        exprcalc_set_double(index, Alternating[i & 1]);
        exprcalc_evaluate(expr, &value);
      }
      sink = value;
    });
    Measure(name + " evaluate", 1, [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) exprcalc_evaluate(expr, &value);
      sink = value;
    });
    if (evaluateColumns != nullptr) {
      Measure(name + " columns", Rows, [&](std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) evaluateColumns(expr, Rows, 3, indexes, columns, results.data(), nullptr);
        sink = results[Rows - 1];
      });
    }
    exprcalc_release(expr);
#ifdef EXPRCALC_BENCH_HAVE_PEER
    double x = X, y = Y, z = Z;
    mu::Parser parser;
    parser.DefineConst("_pi", 3.141592653589793);
    parser.DefineVar("x", &x);
    parser.DefineVar("y", &y);
    parser.DefineVar("z", &z);
    parser.SetExpr(text.peer);
    sink = parser.Eval();
    Measure(name + " peer", 1, [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        x = Alternating[i & 1];
        value = parser.Eval();
      }
      sink = value;
    });
    mu::Parser bulk;
    bulk.DefineConst("_pi", 3.141592653589793);
    bulk.DefineVar("x", xs.data());
    bulk.DefineVar("y", ys.data());
    bulk.DefineVar("z", zs.data());
    bulk.SetExpr(text.peer);
    Measure(name + " bulk", Rows, [&](std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) bulk.Eval(results.data(), static_cast<int>(Rows));
      sink = results[Rows - 1];
    });
#endif
  }
  FreeVariable();
  return 0;
}
