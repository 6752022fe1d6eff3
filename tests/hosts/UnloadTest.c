/* A host that loads the library at run time (the argument is its path),
 * prepares, evaluates and releases in its main thread and in a second thread
 * that ends, unloads it and loads it again. Unloading must unload: nothing
 * the library keeps for a thread may pin it in memory; and the library loaded
 * again starts with an empty table. Exit 0: all held. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include "exprcalc.h"

static void *library;

/* A function of the library; ISO C turns the object pointer into a function pointer only through memcpy. */
#define FUNCTION(name, result)             \
  do {                                         \
    void *symbol = dlsym(library, name);       \
    memcpy(&(result), &symbol, sizeof symbol); \
  } while (0)

/* 1 when preparing, evaluating and releasing @X*2+1 thrice gave 7 each time. */
static void *Use(void *unused) {
  int (*prepare)(const char *, exprcalc_expr **) = NULL;
  int (*evaluate)(const exprcalc_expr *, double *) = NULL;
  void (*release)(exprcalc_expr *) = NULL;
  FUNCTION("exprcalc_prepare", prepare);
  FUNCTION("exprcalc_evaluate", evaluate);
  FUNCTION("exprcalc_release", release);
  (void)unused;
  for (int round = 0; round < 3; ++round) {
    exprcalc_expr *expr = NULL;
    double value = 0.0;
    if (prepare == NULL || prepare("@X*2+1", &expr) != EXPRCALC_OK) return NULL;
    const int code = evaluate(expr, &value);
    release(expr);
    if (code != EXPRCALC_OK || value != 7.0) return NULL;
  }
  return library;
}

int main(int argc, char **argv) {
  int (*enter)(const char *, double) = NULL;
  int (*count)(void) = NULL;
  pthread_t thread;
  void *used = NULL;
  if (argc != 2 || (library = dlopen(argv[1], RTLD_NOW)) == NULL) return 1;
  FUNCTION("EnterVarDouble", enter);
  if (enter == NULL || enter("@X", 3.0) < 0 || Use(NULL) == NULL || pthread_create(&thread, NULL, Use, NULL) != 0 ||
      pthread_join(thread, &used) != 0 || used == NULL) {
    fprintf(stderr, "evaluations failed\n");
    return 1;
  }
  if (dlclose(library) != 0 || dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != NULL) {
    fprintf(stderr, "the library stayed loaded after dlclose\n");
    return 1;
  }
  if ((library = dlopen(argv[1], RTLD_NOW)) == NULL) return 1;
  FUNCTION("GetVarCount", count);
  if (count == NULL || count() != 0) {
    fprintf(stderr, "loaded again, the table was not empty\n");
    return 1;
  }
  return dlclose(library) == 0 ? 0 : 1;
}
