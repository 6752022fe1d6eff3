// Columns are evaluated a block of rows at a time. A block first runs the
// column plan (ColumnPlan.h): plain vector arithmetic that gives each row its
// exact value unless the block raises a flag. A flagged block, and every
// block of a program the plan leaves alone, runs here exactly: each
// operation of the program runs over the whole block before the next one, on
// a stack whose entries hold one number per row. Its loops of + - * / and
// the signs are element-wise arithmetic that the compiler turns into vector
// instructions (each lane performs the very IEEE operation of the single
// evaluation, NaNs pinned as there); the built-ins, "%" and "^" call the same
// scalar functions per row. A row that fails keeps its first code and is
// computed on harmlessly until its block ends, then delivers 0.0 as a single
// evaluation does.
#include "columns/Columns.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "columns/ColumnPlan.h"
#include "evaluation/Evaluate.h"
#include "language/Parse.h"
#include "language/Reduce.h"

namespace exprcalc {

// The stack frame's numbers: 16 KiB, whatever the program.
inline constexpr std::size_t ColumnScratchNumbers = 2048;
// Programs of up to this many operations have their operands' columns looked
// up once per call; longer ones once per block.
inline constexpr std::size_t ResolvedOperations = 258;

class ColumnRunner {
 public:
  ColumnRunner(const Program& program, const VariableTable& table, const ColumnValues& values) noexcept
      : program_(program), table_(table), values_(values) {}

  // The deepest stack the program uses, or NotRunnable when an operation
  // would take a number that is not there (the program then is not run).
  static constexpr std::size_t NotRunnable = static_cast<std::size_t>(-1);
  std::size_t DeepestStack() const noexcept {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (std::size_t i = 0; i < program_.operationCount_; ++i) {
      const auto code = static_cast<Program::Code>(program_.operations_[i] & 0xFF);
      if (code == Program::Malformed) break;
      if (code == Program::PushConstant || code == Program::PushVariable) {
        deepest = std::max(deepest, ++depth);
      } else if (depth == 0 || (IsStackInfix(code) && depth-- < 2)) {
        return NotRunnable;
      }
    }
    const std::size_t slot = program_.resultSlot_;
    return slot == NoOperand || slot < depth ? deepest : NotRunnable;
  }

  // Runs rows begin to end - 1 on numbers, a scratch of ColumnScratchNumbers.
  template <std::size_t Lanes>
  ResultCode Run(std::size_t begin, std::size_t end, double* numbers, double* results, int* codes) noexcept;

  bool Plan(ColumnPlan& plan) const noexcept {
    const RecordedProgram recorded{program_.operations_, program_.operationCount_, program_.constants_,
                                   program_.resultSlot_};
    return MakeColumnPlan(recorded, table_, values_, plan);
  }

 private:
  static bool IsStackInfix(Program::Code code) noexcept {
    return code == Program::Add || code == Program::Subtract || code == Program::Multiply ||
           code == Program::Divide || code == Program::Remainder || code == Program::Power;
  }

  const Program& program_;
  const VariableTable& table_;
  const ColumnValues& values_;
};

namespace {

// The right operand of an infix operation: the stack's top entry or a
// column (one number per lane), or one number for every lane.
struct Lanewise {
  const double* numbers;
  double operator[](std::size_t lane) const noexcept { return numbers[lane]; }
};
struct Uniform {
  double number;
  double operator[](std::size_t) const noexcept { return number; }
};

// Sum and Product with their NaN pinned to the first operand's, as selects
// rather than branches so that the loops stay vector code.
inline double PinnedNaN(double a, double b, double result) noexcept {
  const double pinned = a != a ? Quieted(a) : (b != b ? Quieted(b) : result);
  return result != result ? pinned : result;
}

// Without a NaN operand a sum or product is its own pinned value (see
// FirstNaN), so a block without one takes the plain loop.
// The test is on the bits, in integer operations that vectorise: the
// magnitude's bits exceed infinity's only for a NaN, and then the
// difference below has its top bit set.
inline std::uint64_t NaNProbe(double x) noexcept {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &x, sizeof bits);
  return std::uint64_t{0x7FF0000000000000} - (bits & std::uint64_t{0x7FFFFFFFFFFFFFFF});
}
template <typename Right>
[[gnu::always_inline]] inline bool AnyNaN(const double* a, Right b, std::size_t n) noexcept {
  std::uint64_t probe = 0;
  for (std::size_t j = 0; j < n; ++j) probe |= NaNProbe(a[j]) | NaNProbe(b[j]);
  return (probe >> 63) != 0;
}

// A lane's first failure is the one it keeps.
inline int KeepFirst(int code, bool failed, int failure) noexcept { return code == Ok && failed ? failure : code; }

template <typename Right>
[[gnu::always_inline]] inline void ApplyLanes(Program::Code code, double* __restrict a, Right b, int* __restrict failures,
                                              std::size_t n) noexcept {
  switch (code) {
    case Program::Add:
      if (!AnyNaN(a, b, n)) {
        for (std::size_t j = 0; j < n; ++j) a[j] = a[j] + b[j];
      } else {
        for (std::size_t j = 0; j < n; ++j) a[j] = PinnedNaN(a[j], b[j], a[j] + b[j]);
      }
      return;
    case Program::Subtract:
      for (std::size_t j = 0; j < n; ++j) a[j] = a[j] - b[j];
      return;
    case Program::Multiply:
      if (!AnyNaN(a, b, n)) {
        for (std::size_t j = 0; j < n; ++j) a[j] = a[j] * b[j];
      } else {
        for (std::size_t j = 0; j < n; ++j) a[j] = PinnedNaN(a[j], b[j], a[j] * b[j]);
      }
      return;
    case Program::Divide:
      // The quotient of a failed lane is never used: it divides by 1 instead of by ~0.
      for (std::size_t j = 0; j < n; ++j) {
        const bool zero = std::fabs(b[j]) < ZeroThreshold;
        failures[j] = KeepFirst(failures[j], zero, DivisionByZero);
        a[j] = a[j] / (zero ? 1.0 : b[j]);
      }
      return;
    case Program::Remainder:
      for (std::size_t j = 0; j < n; ++j) {
        const Outcome outcome = Remainder(a[j], b[j]);
        failures[j] = KeepFirst(failures[j], outcome.code != Ok, outcome.code);
        a[j] = outcome.value;
      }
      return;
    default:  // Power
      for (std::size_t j = 0; j < n; ++j) {
        const Outcome outcome = ApplyInfix(a[j], '^', b[j]);
        failures[j] = KeepFirst(failures[j], outcome.code != Ok, outcome.code);
        a[j] = outcome.value;
      }
      return;
  }
}

}  // namespace

template <std::size_t Lanes>
ResultCode ColumnRunner::Run(std::size_t begin, std::size_t end, double* scratch, double* results,
                             int* codes) noexcept {
  // Entry k of the stack holds Lanes numbers.
  auto numbers = [scratch](std::size_t k) { return scratch + k * Lanes; };
  int failures[Lanes];
  const std::uint32_t* const operations = program_.operations_;
  const std::size_t count = program_.operationCount_;

  // The column each operation's variable reads (null: its record), when the program is short enough.
  const double* resolved[ResolvedOperations];
  const bool isResolved = count <= ResolvedOperations;
  auto columnOf = [&](std::size_t i) {
    return values_.ColumnOf(static_cast<int>(operations[i] >> Program::OperandShift));
  };
  if (isResolved) {
    for (std::size_t i = 0; i < count; ++i) resolved[i] = columnOf(i);
  }

  ResultCode first = Ok;
  for (std::size_t start = begin; start < end; start += Lanes) {
    const std::size_t n = std::min(Lanes, end - start);
    std::fill_n(failures, n, Ok);
    std::size_t depth = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t operand = operations[i] >> Program::OperandShift;
      const auto code = static_cast<Program::Code>(operations[i] & 0xFF);
      const double* column = nullptr;
      if (code == Program::PushVariable || (code >= Program::Add && (code - Program::Add) % 3 == 2)) {
        column = isResolved ? resolved[i] : columnOf(i);
        if (column != nullptr) column += start;
      }
      double* top = numbers(depth == 0 ? 0 : depth - 1);
      switch (code) {
        case Program::PushConstant:
          std::fill_n(numbers(depth++), n, program_.constants_[operand]);
          continue;
        case Program::PushVariable:
          if (column != nullptr) {
            std::memcpy(numbers(depth++), column, n * sizeof(double));
          } else {
            std::fill_n(numbers(depth++), n, table_.NumberAt(static_cast<int>(operand)));
          }
          continue;
        case Program::Negate:
          for (std::size_t j = 0; j < n; ++j) top[j] = top[j] * -1.0;
          continue;
        case Program::Function:
          WithFunction(static_cast<TokenKind>(operand), [&](auto function) {
            for (std::size_t j = 0; j < n; ++j) {
              const ResultCode test = function.Test(top[j]);
              failures[j] = KeepFirst(failures[j], test != Ok, test);
              top[j] = function.Value(top[j]);
            }
          });
          continue;
        case Program::Malformed:
          for (std::size_t j = 0; j < n; ++j) failures[j] = KeepFirst(failures[j], true, exprcalc::Malformed);
          i = count;  // every row has its code: the rest is not run
          continue;
        default:
          break;
      }
      // An infix operation: the right operand on the stack, a constant or a variable.
      const auto base = static_cast<Program::Code>(code - (code - Program::Add) % 3);
      switch ((code - Program::Add) % 3) {
        case 0:
          ApplyLanes(base, numbers(depth - 2), Lanewise{top}, failures, n);
          --depth;
          break;
        case 1:
          ApplyLanes(base, top, Uniform{program_.constants_[operand]}, failures, n);
          break;
        default:
          if (column != nullptr) {
            ApplyLanes(base, top, Lanewise{column}, failures, n);
          } else {
            ApplyLanes(base, top, Uniform{table_.NumberAt(static_cast<int>(operand))}, failures, n);
          }
          break;
      }
    }
    const std::size_t slot = program_.resultSlot_;
    if (slot == NoOperand) {
      std::fill_n(results + start, n, 0.0);
    } else {
      std::memcpy(results + start, numbers(slot), n * sizeof(double));
    }
    int failed = Ok;
    for (std::size_t j = 0; j < n; ++j) failed |= failures[j];
    for (std::size_t j = 0; failed != Ok && j < n; ++j) {
      if (failures[j] == Ok) continue;
      results[start + j] = 0.0;
      if (first == Ok) first = static_cast<ResultCode>(failures[j]);
    }
    if (codes != nullptr) std::memcpy(codes + start, failures, n * sizeof(int));
  }
  return first;
}

namespace {

// True when results, over rows, overlaps a column: the plan then stages each
// block's values apart until the block is known to need no exact run.
bool ResultsOverlapColumns(const double* results, std::size_t rows, const ColumnValues& values) noexcept {
  const auto low = reinterpret_cast<std::uintptr_t>(results);
  const std::uintptr_t high = low + rows * sizeof(double);
  for (std::size_t k = 0; k < values.count; ++k) {
    const auto column = reinterpret_cast<std::uintptr_t>(values.columns[k]);
    if (column < high && low < column + rows * sizeof(double)) return true;
  }
  return false;
}

// Blocks of rows for a plan that needs this many buffers, or 0 when its
// buffers do not fit in the scratch.
std::size_t BlockRows(std::size_t buffers) noexcept {
  for (std::size_t rows = 256; rows >= 128; rows /= 2) {
    if (buffers * rows <= ColumnScratchNumbers) return rows;
  }
  return 0;
}

}  // namespace

namespace {

using ExactRun = ResultCode (ColumnRunner::*)(std::size_t, std::size_t, double*, double*, int*) noexcept;

// The blocks of a program that runs: the plan where it holds, each block
// that it flags run again exactly. Out of line, so that the text path's
// frame does not carry the scratch.
[[gnu::noinline]] ResultCode RunBlocks(ColumnRunner& runner, ExactRun exact, const ColumnValues& values,
                                       std::size_t rows, double* results, int* codes) noexcept {
  alignas(64) double scratch[ColumnScratchNumbers];
  ColumnPlan plan;
  if (!runner.Plan(plan)) return (runner.*exact)(0, rows, scratch, results, codes);
  const bool staged = ResultsOverlapColumns(results, rows, values);
  const std::size_t stride = BlockRows(plan.bufferCount + (staged ? 1 : 0));
  if (stride == 0) return (runner.*exact)(0, rows, scratch, results, codes);

  ResultCode first = Ok;
  for (std::size_t start = 0; start < rows; start += stride) {
    const std::size_t n = std::min(stride, rows - start);
    double* target = staged ? scratch + plan.bufferCount * stride : results + start;
    if (RunPlanBlock(plan, values, start, n, scratch, stride, target)) {
      if (staged) std::memcpy(results + start, target, n * sizeof(double));
      if (codes != nullptr) std::fill_n(codes + start, n, Ok);
      continue;
    }
    const ResultCode code = (runner.*exact)(start, start + n, scratch, results, codes);
    if (first == Ok) first = code;
  }
  return first;
}

}  // namespace

bool PlanColumns(const Program& program, const VariableTable& table, const ColumnValues& values,
                 ColumnPlan& plan) noexcept {
  const ColumnRunner runner(program, table, values);
  return program.Current(table) && runner.DeepestStack() != ColumnRunner::NotRunnable && runner.Plan(plan);
}

ResultCode EvaluateColumns(const Program& program, const VariableTable& table, const ColumnValues& values,
                           std::size_t rows, double* results, int* codes) noexcept {
  ColumnRunner runner(program, table, values);
  const std::size_t deepest = program.Current(table) ? runner.DeepestStack() : ColumnRunner::NotRunnable;
  // The wider the blocks, the less each operation's dispatch costs per row.
  if (deepest <= ColumnScratchNumbers / 128) {
    return RunBlocks(runner, &ColumnRunner::Run<128>, values, rows, results, codes);
  }
  if (deepest <= ColumnScratchNumbers / 32) {
    return RunBlocks(runner, &ColumnRunner::Run<32>, values, rows, results, codes);
  }
  if (deepest <= ColumnScratchNumbers / 8) {
    return RunBlocks(runner, &ColumnRunner::Run<8>, values, rows, results, codes);
  }

  // After a change of shape (or for a program that cannot run), each row
  // evaluates the text, as a single evaluation does. The value is stored
  // once the row is evaluated: results may be a column.
  ResultCode first = Ok;
  for (std::size_t row = 0; row < rows; ++row) {
    const RowValues rowValues{values, row};
    double value = 0.0;
    const ResultCode code = Evaluate(program.Text(), table, value, &rowValues);
    results[row] = value;
    if (codes != nullptr) codes[row] = code;
    if (first == Ok) first = code;
  }
  return first;
}

}  // namespace exprcalc
