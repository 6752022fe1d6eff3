// Running a column plan over one block of rows, a step at a time: each step
// is a loop over the block that reads its operands straight from columns,
// numbers or buffers. + - * / and the signs, SQRT, ABS, DEG and RAD are
// element-wise IEEE operations that the compiler turns into vector code
// (twice on x86-64: for the baseline and for AVX2, chosen at run time);
// "%", "^" and the other built-ins call the evaluation's scalar functions
// per row. A block is flagged when some row may not give its exact
// evaluation: a failing row, a square root of a negative or NaN, a NaN power
// operand, or a NaN value when the plan has sums or products (the evaluation
// pins their NaN to the first NaN operand's, where the vector instruction,
// whose operands the compiler may swap, may take either operand's). Every
// other step gives the NaN of the evaluation (the same instruction or
// function on the same operands), and each step but "^" gives NaN from a NaN
// operand, so a NaN from a sum or product shows in the value or at a power.
// The caller runs a flagged block exactly.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "columns/ColumnPlan.h"
#include "language/Arithmetic.h"
#include "language/BuiltIns.h"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
// (Windows is left out: its compilers do not keep the stack aligned for AVX spills.)
#define EXPRCALC_COLUMNS_AVX2 1
#endif

namespace exprcalc {
namespace {

// A flag per row, gathered as a mask over the block (a form that vectorises).
struct Flags {
  std::uint64_t mask = 0;
  void Raise(bool raised) noexcept { mask |= raised ? ~std::uint64_t{0} : 0; }
  bool None() const noexcept { return mask == 0; }
};

// The search for a NaN among the values of the block's last step, made by
// the step's loop where it is a plain map.
struct NaNSearch {
  Flags found;
  bool made = false;
};

// out[j] = maths(a[j], b[j]), as plain element-wise loops.
template <typename A, typename B, typename Maths>
[[gnu::always_inline]] inline void Map(A a, B b, double* __restrict out, std::size_t n, Maths maths,
                                       NaNSearch* search) noexcept {
  if (search == nullptr) {
    for (std::size_t j = 0; j < n; ++j) out[j] = maths(a[j], b[j]);
    return;
  }
  for (std::size_t j = 0; j < n; ++j) {
    const double value = maths(a[j], b[j]);
    search->found.Raise(value != value);
    out[j] = value;
  }
  search->made = true;
}

template <typename A, typename B>
[[gnu::always_inline]] inline bool Infix(PlanStep::Code code, A a, B b, double* __restrict out, std::size_t n,
                                         NaNSearch* search) noexcept {
  switch (code) {
    case PlanStep::Add:
      Map(a, b, out, n, [](double x, double y) { return x + y; }, search);
      return true;
    case PlanStep::Subtract:
      Map(a, b, out, n, [](double x, double y) { return x - y; }, search);
      return true;
    case PlanStep::Multiply:
      Map(a, b, out, n, [](double x, double y) { return x * y; }, search);
      return true;
    case PlanStep::Divide: {
      if constexpr (std::is_same_v<B, Same>) {  // the plan holds no divisor that fails
        Map(a, b, out, n, [](double x, double y) { return x / y; }, search);
        return true;
      } else {
        // A failing row divides by 1, so that no row divides by zero.
        Flags zero;
        for (std::size_t j = 0; j < n; ++j) {
          const bool tiny = CountsAsZero(b[j]);
          zero.Raise(tiny);
          out[j] = a[j] / (tiny ? 1.0 : b[j]);
        }
        return zero.None();
      }
    }
    case PlanStep::Remainder: {
      Flags failed;
      for (std::size_t j = 0; j < n; ++j) {
        const Outcome outcome = exprcalc::Remainder(a[j], b[j]);
        failed.Raise(outcome.code != Ok);
        out[j] = outcome.value;
      }
      return failed.None();
    }
    default: {
      // Power: zero to a negative power fails, and takes 1 as its exponent.
      // A NaN operand is flagged too: a power of a NaN may be 1, which
      // would hide a NaN whose bits the plan does not vouch for.
      Flags unusual;
      for (std::size_t j = 0; j < n; ++j) {
        const bool domain = ZeroToNegativePower(a[j], b[j]);
        unusual.Raise(domain || a[j] != a[j] || b[j] != b[j]);
        out[j] = std::pow(a[j], domain ? 1.0 : b[j]);
      }
      return unusual.None();
    }
  }
}

// A built-in per row; a row outside its domain takes 1 as its operand.
template <typename Function>
[[gnu::always_inline]] inline bool Scalar(Function function, const double* a, double* __restrict out,
                                          std::size_t n) noexcept {
  Flags failed;
  for (std::size_t j = 0; j < n; ++j) {
    const bool outside = function.Test(a[j]) != Ok;
    failed.Raise(outside);
    out[j] = function.Value(outside ? 1.0 : a[j]);
  }
  return failed.None();
}

[[gnu::always_inline]] inline bool Prefix(const PlanStep& step, const double* a, double* __restrict out,
                                          std::size_t n, NaNSearch* search) noexcept {
  const Same none{0.0};
  if (step.code == PlanStep::Negate) {
    Map(Lanes{a}, none, out, n, [](double y, double) { return Negated(y); }, search);
    return true;
  }
  switch (step.function) {
    case 'Q': {
      // The square root of a negative or NaN is a NaN whose bits are the
      // library's: that block runs exactly. (Its value is NaN only there,
      // so no search for a NaN is left to make.)
      Flags outside;
      for (std::size_t j = 0; j < n; ++j) {
        outside.Raise(!(a[j] >= 0.0));
        out[j] = __builtin_sqrt(a[j]);
      }
      if (search != nullptr) search->made = true;
      return outside.None();
    }
    case 'A':
      Map(Lanes{a}, none, out, n, [](double y, double) { return builtin::Absolute(y); }, search);
      return true;
    case 'D':
      Map(Lanes{a}, none, out, n, [](double y, double) { return builtin::Degrees(y); }, search);
      return true;
    case 'R':
      Map(Lanes{a}, none, out, n, [](double y, double) { return builtin::Radians(y); }, search);
      return true;
    default: {
      bool usual = true;
      WithFunction(static_cast<TokenKind>(step.function),
                   [&](auto function) { usual = Scalar(function, a, out, n); });
      return usual;
    }
  }
}

[[gnu::always_inline]] inline bool AnyNaN(const double* numbers, std::size_t n) noexcept {
  Flags nan;
  for (std::size_t j = 0; j < n; ++j) nan.Raise(numbers[j] != numbers[j]);
  return !nan.None();
}

[[gnu::always_inline]] inline bool RunBlock(const ColumnPlan& plan, const ColumnValues& values, std::size_t start,
                                            std::size_t n, double* buffers, std::size_t stride,
                                            double* target) noexcept {
  auto lanes = [&](PlanOperand operand) -> const double* {
    return operand.kind == PlanOperand::Column ? values.columns[operand.index] + start
                                               : buffers + operand.index * stride;
  };
  bool usual = true;
  NaNSearch lastSearch;
  for (std::size_t s = 0; s < plan.stepCount; ++s) {
    const PlanStep& step = plan.steps[s];
    const bool last = step.out == ColumnPlan::Results;
    double* out = last ? target : buffers + step.out * stride;
    NaNSearch* const search = last && plan.checkNaN ? &lastSearch : nullptr;
    if (step.code == PlanStep::Copy) {
      if (step.a.kind == PlanOperand::Number) {
        const double number = plan.numbers[step.a.index];
        for (std::size_t j = 0; j < n; ++j) out[j] = number;
      } else {
        std::memcpy(out, lanes(step.a), n * sizeof(double));
      }
    } else if (step.code >= PlanStep::Negate) {
      usual &= Prefix(step, lanes(step.a), out, n, search);
    } else if (step.a.kind == PlanOperand::Number) {
      usual &= Infix(step.code, Same{plan.numbers[step.a.index]}, Lanes{lanes(step.b)}, out, n, search);
    } else if (step.b.kind == PlanOperand::Number) {
      usual &= Infix(step.code, Lanes{lanes(step.a)}, Same{plan.numbers[step.b.index]}, out, n, search);
    } else {
      usual &= Infix(step.code, Lanes{lanes(step.a)}, Lanes{lanes(step.b)}, out, n, search);
    }
  }
  if (plan.checkNaN && (lastSearch.made ? !lastSearch.found.None() : AnyNaN(target, n))) return false;
  return usual;
}

bool RunBlockBaseline(const ColumnPlan& plan, const ColumnValues& values, std::size_t start, std::size_t n,
                      double* buffers, std::size_t stride, double* target) noexcept {
  return RunBlock(plan, values, start, n, buffers, stride, target);
}

#ifdef EXPRCALC_COLUMNS_AVX2
[[gnu::target("avx2")]] bool RunBlockAvx2(const ColumnPlan& plan, const ColumnValues& values, std::size_t start,
                                          std::size_t n, double* buffers, std::size_t stride,
                                          double* target) noexcept {
  return RunBlock(plan, values, start, n, buffers, stride, target);
}
#endif

}  // namespace

// EXPRCALC_COLUMNS=baseline in the environment keeps the blocks on the
// baseline vector code even where the processor has AVX2, so that this
// path can be tested (and compared) on any machine. Read once.
bool ColumnsUseAvx2() noexcept {
#ifdef EXPRCALC_COLUMNS_AVX2
  static const bool avx2 = [] {
    const char* setting = std::getenv("EXPRCALC_COLUMNS");
    const bool baseline = setting != nullptr && std::strcmp(setting, "baseline") == 0;
    return !baseline && __builtin_cpu_supports("avx2");
  }();
  return avx2;
#else
  return false;
#endif
}

bool RunPlanBlock(const ColumnPlan& plan, const ColumnValues& values, std::size_t start, std::size_t n,
                  double* buffers, std::size_t stride, double* target) noexcept {
#ifdef EXPRCALC_COLUMNS_AVX2
  if (ColumnsUseAvx2()) return RunBlockAvx2(plan, values, start, n, buffers, stride, target);
#endif
  return RunBlockBaseline(plan, values, start, n, buffers, stride, target);
}

}  // namespace exprcalc
