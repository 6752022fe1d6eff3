// libFuzzer target: a text is prepared once, then a series of table changes
// decoded from the input runs, and after each the prepared expression must
// give exactly ParseString's code and value bits.
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
  const std::string text = in.Bytes(in.Byte());  // a NUL-terminated copy; a NUL inside ends it, as in C
  exprcalc_expr* expr = nullptr;
  if (exprcalc_prepare(text.c_str(), &expr) != EXPRCALC_OK) std::abort();
  do {
    double prepared = 1.0;
    double parsed = 2.0;
    const int preparedCode = exprcalc_evaluate(expr, &prepared);
    const int parsedCode = ParseString(text.c_str(), &parsed);
    if (preparedCode != parsedCode || !SameBits(prepared, parsed)) {
      std::fprintf(stderr, "prepared %d %.17g, ParseString %d %.17g\n", preparedCode, prepared, parsedCode, parsed);
      std::abort();
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
  FreeVariable();
  return 0;
}
