/* A host that loads the library at run time, prepares, evaluates and releases
 * expressions from its main thread and from a second thread that then ends,
 * unloads the library and loads it again. Unloading must unload: nothing the
 * library keeps for a thread (the block a released handle leaves) may pin it
 * in memory; and the library loaded again starts with an empty table. The
 * library's path is the argument. Exit 0: all held. */
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include "exprcalc.h"

typedef int (*EnterFn)(const char *, double);
typedef int (*CountFn)(void);
typedef int (*PrepareFn)(const char *, exprcalc_expr **);
typedef int (*EvaluateFn)(const exprcalc_expr *, double *);
typedef void (*ReleaseFn)(exprcalc_expr *);

struct Library {
  void *handle;
  EnterFn enter;
  CountFn count;
  PrepareFn prepare;
  EvaluateFn evaluate;
  ReleaseFn release;
};

static int Load(const char *path, struct Library *library) {
  library->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library->handle == NULL) return 0;
  /* Object pointers become function pointers through memcpy: ISO C has no cast between them. */
  void *symbols[5];
  const char *names[5] = {"EnterVarDouble", "GetVarCount", "exprcalc_prepare", "exprcalc_evaluate",
                          "exprcalc_release"};
  for (int i = 0; i < 5; ++i) {
    symbols[i] = dlsym(library->handle, names[i]);
    if (symbols[i] == NULL) return 0;
  }
  memcpy(&library->enter, &symbols[0], sizeof library->enter);
  memcpy(&library->count, &symbols[1], sizeof library->count);
  memcpy(&library->prepare, &symbols[2], sizeof library->prepare);
  memcpy(&library->evaluate, &symbols[3], sizeof library->evaluate);
  memcpy(&library->release, &symbols[4], sizeof library->release);
  return 1;
}

/* Prepares, evaluates and releases @X*2+1 a few times: 1 when each gave 7. */
static int UseOnce(const struct Library *library) {
  for (int round = 0; round < 3; ++round) {
    exprcalc_expr *expr = NULL;
    double value = 0.0;
    if (library->prepare("@X*2+1", &expr) != EXPRCALC_OK) return 0;
    const int code = library->evaluate(expr, &value);
    library->release(expr);
    if (code != EXPRCALC_OK || value != 7.0) return 0;
  }
  return 1;
}

static void *UseInThread(void *library) { return UseOnce(library) ? library : NULL; }

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  struct Library library;
  if (!Load(argv[1], &library) || library.enter("@X", 3.0) < 0 || !UseOnce(&library)) {
    fprintf(stderr, "first load: %s\n", dlerror());
    return 1;
  }
  pthread_t thread;
  void *result = NULL;
  if (pthread_create(&thread, NULL, UseInThread, &library) != 0 || pthread_join(thread, &result) != 0 ||
      result == NULL) {
    fprintf(stderr, "the second thread's evaluations failed\n");
    return 1;
  }
  if (dlclose(library.handle) != 0) return 1;
  if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != NULL) {
    fprintf(stderr, "the library stayed loaded after dlclose\n");
    return 1;
  }
  if (!Load(argv[1], &library) || library.count() != 0) {
    fprintf(stderr, "loaded again, the table was not empty\n");
    return 1;
  }
  return dlclose(library.handle) == 0 ? 0 : 1;
}
