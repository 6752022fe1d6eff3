// Tables of the host's own used from several threads at once with no lock:
// each thread (one of them on the process table) stores, evaluates,
// prepares, runs columns, judges and removes in its own table, with a
// function of its own, and checks every result against what it wrote.
// Built on the shared library through the public header; CI runs it under
// ThreadSanitizer (.ci/stages/60-threads.sh), where any writable state that
// two tables share, code memory included, shows up as a race.
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "exprcalc.h"

namespace {

constexpr int ThreadCount = 4;
constexpr int Rounds = 60;
// Enough runs of a prepared expression for it to become machine code where it can.
constexpr int PreparedRuns = 80;

struct Worker {
  exprcalc_table* table = nullptr;
  double factor = 1.0;
  long calls = 0;   // of its function, which only it calls
  long wrong = 0;   // results that were not what it wrote
};

int Scale(void* user, double argument, double* result) {
  Worker& worker = *static_cast<Worker*>(user);
  ++worker.calls;
  *result = argument * worker.factor;
  return 0;
}

void Check(Worker& worker, bool holds) {
  if (!holds) ++worker.wrong;
}

void Work(Worker& worker, int id) {
  exprcalc_table* t = worker.table;
  Check(worker, exprcalc_table_define_function(t, "SCALE", Scale, &worker) == 0);
  for (int round = 0; round < Rounds; ++round) {
    const double x = round + id * 0.5;
    double value = 0.0;
    Check(worker, exprcalc_table_enter_double(t, "@X", x) >= 0);
    Check(worker, exprcalc_table_enter_double(t, "@Y", id) >= 0);
    Check(worker, exprcalc_table_enter_string(t, "@T", "text of its own") >= 0);
    Check(worker, exprcalc_table_evaluate(t, "@X*2+@Y", &value) == 0 && value == x * 2 + id);
    Check(worker, exprcalc_table_evaluate(t, "SCALE(@X)+1", &value) == 0 && value == x * worker.factor + 1);
    Check(worker, exprcalc_table_substitute(t, "@Z = @X+1") == 0);
    Check(worker, exprcalc_table_lookup_double(t, "@Z", &value) >= 0 && value == x + 1);

    exprcalc_expr* prepared = nullptr;
    Check(worker, exprcalc_table_prepare(t, "@X*@Y-1", &prepared) == 0);
    exprcalc_expr* scaled = nullptr;  // its function called from steps, then machine code
    Check(worker, exprcalc_table_prepare(t, "SCALE(@X)-@Y", &scaled) == 0);
    int xIndex = exprcalc_table_index_of(t, "@X", nullptr);
    for (int run = 0; run < PreparedRuns; ++run) {
      Check(worker, exprcalc_table_set_double(t, xIndex, run) == xIndex);
      Check(worker, exprcalc_evaluate(prepared, &value) == 0 && value == run * id - 1.0);
      Check(worker, exprcalc_evaluate(scaled, &value) == 0 && value == run * worker.factor - id);
    }
    exprcalc_release(scaled);
    const double column[] = {1.0, 2.0, 3.0};
    const double* columns[] = {column};
    double results[3] = {};
    Check(worker, exprcalc_evaluate_columns(prepared, 3, 1, &xIndex, columns, results, nullptr) == 0);
    Check(worker, results[0] == id - 1.0 && results[2] == 3.0 * id - 1.0);
    exprcalc_release(prepared);

    exprcalc_judgement judgement{};
    Check(worker, exprcalc_table_judge(t, "SCALE(2", &judgement) == 0 && judgement.whole == 0);
    Check(worker, exprcalc_table_remove(t, "@T") == 0);
    Check(worker, exprcalc_table_remove_index(t, 0) == 0);  // @X
    Check(worker, exprcalc_table_count(t) == 2);
    if (round % 10 == 9) Check(worker, exprcalc_table_clear(t) == 0);
  }
  Check(worker, worker.calls == Rounds * (1 + PreparedRuns));
}

TEST(TableThreads, EachThreadOnItsOwnTableNeedsNoLock) {
  std::vector<Worker> workers(ThreadCount);
  for (int i = 0; i < ThreadCount; ++i) {
    workers[i].factor = i + 2.0;
    if (i == 0) {
      workers[i].table = exprcalc_process_table();
      FreeVariable();
    } else {
      ASSERT_EQ(exprcalc_table_create(&workers[i].table), EXPRCALC_OK);
    }
  }
  std::latch start(ThreadCount);
  std::vector<std::thread> threads;
  for (int i = 0; i < ThreadCount; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      Work(workers[i], i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < ThreadCount; ++i) {
    EXPECT_EQ(workers[i].wrong, 0) << "thread " << i;
    exprcalc_table_destroy(workers[i].table);
  }
  exprcalc_table_define_function(nullptr, "SCALE", nullptr, nullptr);
  FreeVariable();
}

}  // namespace
