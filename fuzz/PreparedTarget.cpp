// libFuzzer target: a text is prepared once, then a series of table changes
// decoded from the input runs, and after each the prepared expression must
// give exactly ParseString's code and value bits, and call the host
// functions (FuzzFunctions.h) as many times. It runs twice after each change:
// under EXPRCALC_COMPILE_AFTER=2 the first run is its steps, the second its
// machine code.
//
// Input: one byte n, then n bytes of text; then per change an opcode byte
// and its argument bytes (a name from a small pool, an index, a value).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "FuzzInput.h"
#include "TableChanges.h"
#include "exprcalc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  FreeVariable();
  for (const char* name : Names) EnterVarDouble(name, 2.0);
  DefineFunctions();
  const std::string text = in.Bytes(in.Byte());  // a NUL-terminated copy; a NUL inside ends it, as in C
  exprcalc_expr* expr = nullptr;
  if (exprcalc_prepare(text.c_str(), &expr) != EXPRCALC_OK) std::abort();
  do {
    for (int run = 0; run < 2; ++run) {
      double prepared = 1.0;
      double parsed = 2.0;
      HostCalls = 0;
      const int preparedCode = exprcalc_evaluate(expr, &prepared);
      const std::size_t preparedCalls = HostCalls;
      HostCalls = 0;
      const int parsedCode = ParseString(text.c_str(), &parsed);
      if (preparedCode != parsedCode || !SameBits(prepared, parsed) || preparedCalls != HostCalls) {
        std::fprintf(stderr, "prepared %d %.17g (%zu calls), ParseString %d %.17g (%zu calls)\n", preparedCode,
                     prepared, preparedCalls, parsedCode, parsed, HostCalls);
        std::abort();
      }
    }
    Change(in);
  } while (!in.Empty());
  // The form named agrees with its reason: machine code runs, steps have
  // a reason not to, the text follows a change of shape or failed preparing.
  int why = -1;
  const int form = exprcalc_code_form(expr, &why);
  const bool agrees = form == EXPRCALC_FORM_MACHINE_CODE ? why == EXPRCALC_CODE_RUNS
                      : form == EXPRCALC_FORM_STEPS     ? why >= EXPRCALC_CODE_NOT_YET && why <= EXPRCALC_CODE_NO_MEMORY
                      : form == EXPRCALC_FORM_TEXT      ? why == EXPRCALC_CODE_SHAPE || why == EXPRCALC_CODE_NOT_PREPARED
                                                        : false;
  if (!agrees) {
    std::fprintf(stderr, "form %d, why %d\n", form, why);
    std::abort();
  }
  exprcalc_release(expr);
  RemoveFunctions();
  FreeVariable();
  return 0;
}
