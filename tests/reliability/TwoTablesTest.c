/* Two threads, each with a table of its own holding @X at a different value,
 * each evaluating @X*2+1 a million times one-shot and a million times
 * prepared, with no lock: every result must be exact. Built as C99 against
 * the shared library; .ci/stages/60-threads.sh runs it under ThreadSanitizer,
 * where any state the two tables share and write shows up as a race. The
 * first argument, if any, is the number of rounds. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include "exprcalc.h"

struct worker {
  double x;
  long rounds;
  long wrong; /* results that were not exact, or -1 when a table could not be had */
};

static void *run(void *argument) {
  struct worker *w = (struct worker *)argument;
  exprcalc_table *table = NULL;
  exprcalc_expr *prepared = NULL;
  const double expected = w->x * 2 + 1;
  double value = 0.0;
  long i;
  if (exprcalc_table_create(&table) != EXPRCALC_OK || exprcalc_table_enter_double(table, "@X", w->x) != 1 ||
      exprcalc_table_prepare(table, "@X*2+1", &prepared) != EXPRCALC_OK) {
    w->wrong = -1;
    exprcalc_table_destroy(table);
    return NULL;
  }
  for (i = 0; i < w->rounds; ++i) {
    if (exprcalc_table_evaluate(table, "@X*2+1", &value) != EXPRCALC_OK || value != expected) ++w->wrong;
  }
  for (i = 0; i < w->rounds; ++i) {
    if (exprcalc_evaluate(prepared, &value) != EXPRCALC_OK || value != expected) ++w->wrong;
  }
  exprcalc_table_destroy(table); /* the prepared expression still holds it */
  if (exprcalc_evaluate(prepared, &value) != EXPRCALC_OK || value != expected) ++w->wrong;
  exprcalc_release(prepared);
  return NULL;
}

int main(int argc, char **argv) {
  struct worker workers[2];
  pthread_t threads[2];
  const long rounds = argc > 1 ? atol(argv[1]) : 1000000L;
  int t;
  workers[0].x = 1.5;
  workers[1].x = -7.25;
  for (t = 0; t < 2; ++t) {
    workers[t].rounds = rounds;
    workers[t].wrong = 0;
    if (pthread_create(&threads[t], NULL, run, &workers[t]) != 0) return 2;
  }
  for (t = 0; t < 2; ++t) pthread_join(threads[t], NULL);
  for (t = 0; t < 2; ++t) {
    if (workers[t].wrong != 0) {
      printf("thread %d (@X = %g): %ld results not exact\n", t, workers[t].x, workers[t].wrong);
      return 1;
    }
  }
  printf("two tables, %ld rounds each way: every result exact\n", rounds);
  return 0;
}
