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
// evaluation does; only a host's function is not called for it, since a
// single evaluation would not have called it.
#include "columns/Columns.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "columns/ColumnPlan.h"
#include "evaluation/Evaluate.h"
#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "language/HostKinds.h"

namespace exprcalc {

// The stack frame's numbers: 16 KiB, whatever the program.
inline constexpr std::size_t ColumnScratchNumbers = 2048;
// Programs of up to this many operations have their operands' columns looked
// up once per call; longer ones once per block.
inline constexpr std::size_t ResolvedOperations = 258;

class ColumnRunner {
 public:
  ColumnRunner(const RecordedProgram& program, const ColumnValues& values) noexcept
      : program_(program), values_(values) {}

  // Runs rows begin to end - 1 on numbers, a scratch of ColumnScratchNumbers.
  template <std::size_t Width>
  ResultCode Run(std::size_t begin, std::size_t end, double* numbers, double* results, int* codes) noexcept;

  bool Plan(ColumnPlan& plan) const noexcept { return MakeColumnPlan(program_, values_, plan); }

 private:
  // One block of n rows from start; failures receives each row's code.
  template <std::size_t Width>
  void RunBlock(std::size_t start, std::size_t n, double* scratch, int* failures) noexcept;
  // An infix operation whose right operand is a constant or a variable, on the stack's top entry.
  void InfixOnTop(const Operation& operation, const double* column, double* top, int* failures,
                  std::size_t n) const noexcept;
  // The column that operation i reads in the block from start, or null (its record, or none).
  const double* ColumnRead(std::size_t i, const Operation& operation, std::size_t start) const noexcept {
    if (!operation.ReadsVariable()) return nullptr;
    const double* column = isResolved_ ? resolved_[i] : values_.ColumnOf(static_cast<int>(operation.index));
    return column == nullptr ? nullptr : column + start;
  }
  double Record(const Operation& operation) const noexcept {
    return program_.table.NumberAt(static_cast<int>(operation.index));
  }

  const RecordedProgram& program_;
  const ColumnValues& values_;
  // The column each operation's variable reads (null: its record), when the
  // program is short enough to look them up once per call.
  const double* resolved_[ResolvedOperations];
  bool isResolved_ = false;
};

namespace {

template <typename Right>
[[gnu::always_inline]] inline bool AnyNaN(const double* a, Right b, std::size_t n) noexcept {
  std::uint64_t probe = 0;
  for (std::size_t j = 0; j < n; ++j) probe |= NaNProbe(a[j]) | NaNProbe(b[j]);
  return ProbeFoundNaN(probe);
}

// A lane's first failure is the one it keeps.
inline int KeepFirst(int code, bool failed, int failure) noexcept { return code == Ok && failed ? failure : code; }

// a = a op b in every lane, for a sum or a product: the plain loop unless a
// lane holds a NaN, whose sum or product is then pinned as FirstNaN pins it.
template <typename Right, typename Maths>
[[gnu::always_inline]] inline void PinnedLanes(double* __restrict a, Right b, std::size_t n, Maths maths) noexcept {
  if (!AnyNaN(a, b, n)) {
    for (std::size_t j = 0; j < n; ++j) a[j] = maths(a[j], b[j]);
  } else {
    for (std::size_t j = 0; j < n; ++j) a[j] = PinnedNaN(a[j], b[j], maths(a[j], b[j]));
  }
}

// a = a op b in every lane by the scalar operation, each lane keeping its first failure.
template <typename Right, typename Apply>
[[gnu::always_inline]] inline void ScalarLanes(double* __restrict a, Right b, int* __restrict failures, std::size_t n,
                                               Apply apply) noexcept {
  for (std::size_t j = 0; j < n; ++j) {
    const Outcome outcome = apply(a[j], b[j]);
    failures[j] = KeepFirst(failures[j], outcome.code != Ok, outcome.code);
    a[j] = outcome.value;
  }
}

// A built-in in every lane, each lane keeping its first failure.
inline void FunctionLanes(TokenKind kind, double* top, int* failures, std::size_t n) noexcept {
  WithFunction(kind, [&](auto function) {
    for (std::size_t j = 0; j < n; ++j) {
      const ResultCode test = function.Test(top[j]);
      failures[j] = KeepFirst(failures[j], test != Ok, test);
      top[j] = function.Value(top[j]);
    }
  });
}

// A host's function in every lane that has not failed: one call per row.
inline void HostLanes(HostCallback call, void* user, double* top, int* failures, std::size_t n) noexcept {
  for (std::size_t j = 0; j < n; ++j) {
    if (failures[j] != Ok) continue;
    const Outcome outcome = CallHost(call, user, top[j]);
    failures[j] = outcome.code;
    top[j] = outcome.value;
  }
}

template <typename Right>
[[gnu::always_inline]] inline void ApplyLanes(Operator op, double* __restrict a, Right b, int* __restrict failures,
                                              std::size_t n) noexcept {
  switch (op) {
    case Operator::Add:
      PinnedLanes(a, b, n, [](double x, double y) { return x + y; });
      return;
    case Operator::Subtract:
      for (std::size_t j = 0; j < n; ++j) a[j] = a[j] - b[j];
      return;
    case Operator::Multiply:
      PinnedLanes(a, b, n, [](double x, double y) { return x * y; });
      return;
    case Operator::Divide:
      // The quotient of a failed lane is never used: it divides by 1 instead of by ~0.
      for (std::size_t j = 0; j < n; ++j) {
        const bool zero = CountsAsZero(b[j]);
        failures[j] = KeepFirst(failures[j], zero, DivisionByZero);
        a[j] = a[j] / (zero ? 1.0 : b[j]);
      }
      return;
    case Operator::Remainder:
      ScalarLanes(a, b, failures, n, [](double x, double y) { return Remainder(x, y); });
      return;
    case Operator::Power:
      ScalarLanes(a, b, failures, n, [](double x, double y) { return ApplyOperator<'^'>(x, y); });
      return;
  }
}

}  // namespace

template <std::size_t Width>
ResultCode ColumnRunner::Run(std::size_t begin, std::size_t end, double* scratch, double* results,
                             int* codes) noexcept {
  isResolved_ = program_.count <= ResolvedOperations;
  for (std::size_t i = 0; isResolved_ && i < program_.count; ++i) {
    resolved_[i] = values_.ColumnOf(static_cast<int>(program_.At(i).index));
  }
  int failures[Width];
  ResultCode first = Ok;
  for (std::size_t start = begin; start < end; start += Width) {
    const std::size_t n = std::min(Width, end - start);
    RunBlock<Width>(start, n, scratch, failures);
    const std::size_t slot = program_.resultSlot;
    if (slot == NoOperand) {
      std::fill_n(results + start, n, 0.0);
    } else {
      std::memcpy(results + start, scratch + slot * Width, n * sizeof(double));
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

template <std::size_t Width>
void ColumnRunner::RunBlock(std::size_t start, std::size_t n, double* scratch, int* failures) noexcept {
  // Entry k of the stack holds Width numbers.
  auto numbers = [scratch](std::size_t k) { return scratch + k * Width; };
  std::fill_n(failures, n, Ok);
  std::size_t depth = 0;
  for (std::size_t i = 0; i < program_.count; ++i) {
    const Operation operation = program_.At(i);
    const double* column = ColumnRead(i, operation, start);
    double* top = numbers(depth == 0 ? 0 : depth - 1);
    switch (operation.kind) {
      case OperationKind::PushConstant:
        std::fill_n(numbers(depth++), n, program_.constants[operation.index]);
        break;
      case OperationKind::PushVariable:
        if (column != nullptr) {
          std::memcpy(numbers(depth++), column, n * sizeof(double));
        } else {
          std::fill_n(numbers(depth++), n, Record(operation));
        }
        break;
      case OperationKind::Negate:
        for (std::size_t j = 0; j < n; ++j) top[j] = Negated(top[j]);
        break;
      case OperationKind::Function:
        FunctionLanes(static_cast<TokenKind>(operation.index), top, failures, n);
        break;
      case OperationKind::CallHost:
        HostLanes(program_.HostCall(operation.index), program_.HostUser(operation.index), top, failures, n);
        break;
      case OperationKind::Malformed:
        // Every row has its code: the rest is not run.
        for (std::size_t j = 0; j < n; ++j) failures[j] = KeepFirst(failures[j], true, exprcalc::Malformed);
        return;
      case OperationKind::Infix:
        if (operation.right == RightOperand::Stack) {
          ApplyLanes(operation.op, numbers(depth - 2), Lanes{top}, failures, n);
          --depth;
        } else {
          InfixOnTop(operation, column, top, failures, n);
        }
        break;
    }
  }
}

void ColumnRunner::InfixOnTop(const Operation& operation, const double* column, double* top, int* failures,
                              std::size_t n) const noexcept {
  if (operation.right == RightOperand::Constant) {
    ApplyLanes(operation.op, top, Same{program_.constants[operation.index]}, failures, n);
  } else if (column != nullptr) {
    ApplyLanes(operation.op, top, Lanes{column}, failures, n);
  } else {
    ApplyLanes(operation.op, top, Same{Record(operation)}, failures, n);
  }
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

// Whether the rows run the recorded operations (else each evaluates the text).
bool RunsRecorded(const ColumnProgram& program) noexcept { return program.current && program.recorded.shape.runnable; }

bool PlanColumns(const ColumnProgram& program, const ColumnValues& values, ColumnPlan& plan) noexcept {
  return RunsRecorded(program) && ColumnRunner(program.recorded, values).Plan(plan);
}

ResultCode EvaluateColumns(const ColumnProgram& program, const ColumnValues& values, std::size_t rows,
                           double* results, int* codes) noexcept {
  ColumnRunner runner(program.recorded, values);
  constexpr std::size_t NotRunnable = static_cast<std::size_t>(-1);
  const std::size_t deepest = RunsRecorded(program) ? program.recorded.shape.deepest : NotRunnable;
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
    const RowValues rowValues(values, row);
    double value = 0.0;
    const ResultCode code = Evaluate(program.text, program.recorded.table, value, &rowValues);
    results[row] = value;
    if (codes != nullptr) codes[row] = code;
    if (first == Ok) first = code;
  }
  return first;
}

}  // namespace exprcalc
