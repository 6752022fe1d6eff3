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
#include "exprcalc.h"

namespace {

const char* const Names[] = {"@A", "@B", "X", "@T", "@a", "QTY", "@", "SIN"};
const double Values[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-15, 1e308, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(), 4.0, -3.5};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void Change(Input& in) {
  const std::uint8_t op = in.Byte();
  const char* name = Names[in.Byte() % std::size(Names)];
  const double value = Values[in.Byte() % std::size(Values)];
  switch (op % 9) {
    case 0: case 1: exprcalc_set_double(in.Byte() % 8, value); break;
    case 2: EnterVarDouble(name, value); break;
    case 3: EnterVarString(name, "text"); break;
    case 4: RemoveVariable(name); break;
    case 5: RemoveVarIndex(in.Byte() % 8); break;
    case 6: for (int i = 0; i < 20; ++i) EnterVarDouble(("@G" + std::to_string(in.Byte())).c_str(), i); break;
    case 7: FreeVariable(); break;
    default: Substitution((std::string(name) + "=" + in.Bytes(in.Byte() % 8)).c_str()); break;
  }
}

}  // namespace

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
  exprcalc_release(expr);
  FreeVariable();
  return 0;
}
