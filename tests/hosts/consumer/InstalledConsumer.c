/* A program built against an installed or packaged exprcalc (through
 * pkg-config or the CMake package, as C or as C++, shared or static) or one
 * built in the host's own tree: it stores, evaluates and reads back through
 * the header and library. Exit status 0 when every result is right. */
#include <stdio.h>
#include <string.h>

#include "exprcalc.h"

int main(void) {
  double value = 0.0;
  char text[EXPRCALC_TEXT_BUFFER_SIZE];
  int failed = 0;
  if (EnterVarDouble("@BASE", 3.0) != 1) failed |= 1;
  if (Substitution("@RATE = 2*@BASE") != EXPRCALC_STATEMENT_DONE) failed |= 2;
  if (ParseString("@RATE+@BASE", &value) != EXPRCALC_OK || value != 9.0) failed |= 4;
  if (EnterVarString("@NOTE", "installed") != 3 || LookupVarString("@note", text) != 2 ||
      strcmp(text, "installed") != 0)
    failed |= 8;
  if (ParseString("1/0", &value) != EXPRCALC_DIVISION_BY_ZERO || value != 0.0) failed |= 16;
  if (FreeVariable() != 0 || GetVarCount() != 0) failed |= 32;
  /* The library linked is the one whose header was compiled in. */
  if (exprcalc_version() != EXPRCALC_VERSION_NUMBER) failed |= 64;
  printf("installed consumer: %s (flags %d)\n", failed ? "FAILED" : "ok", failed);
  return failed;
}
