// libFuzzer target: tables of the host's own and host functions. A series of
// calls decoded from the input runs on a new table and on the process table
// alike, each holding the same host function; every result, value's bits,
// judgement and record must be the same on both. At the end a prepared
// expression outlives its destroyed table.
//
// Input: per call an opcode byte and its arguments (a name from a small
// pool, a value, or one byte n and n bytes of text).
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "FuzzInput.h"
#include "TableChanges.h"
#include "exprcalc.h"

namespace {

// Pure: 2x, or one of the built-ins' codes, or a code of its own (which ends
// the evaluation with EXPRCALC_FUNCTION_FAILED) for a few arguments.
int Twice(void*, double argument, double* result) {
  if (argument == 7.0) return 9;
  if (argument == 3.0) return EXPRCALC_DOMAIN_ERROR;
  *result = 2.0 * argument;
  return 0;
}

[[noreturn]] void Differ(const char* what, const std::string& text) {
  std::fprintf(stderr, "%s differs for \"%s\"\n", what, text.c_str());
  std::abort();
}

void ExpectSameRecords(exprcalc_table* own) {
  if (exprcalc_table_count(own) != GetVarCount()) Differ("the count", "");
  for (int i = 0; i < GetVarCount(); ++i) {
    std::array<unsigned char, EXPRCALC_RECORD_SIZE> a{}, b{};
    if (exprcalc_table_record(own, i, a.data()) != GetVar(i, b.data()) || a != b) Differ("a record", "");
  }
}

void Compare(exprcalc_table* own, Input& in) {
  const std::uint8_t op = in.Byte();
  const char* name = Names[in.Byte() % std::size(Names)];
  const double value = Values[in.Byte() % std::size(Values)];
  const std::string text = in.Bytes(in.Byte());
  double a = 1.0, b = 2.0;
  switch (op % 8) {
    case 0:
      if (exprcalc_table_enter_double(own, name, value) != EnterVarDouble(name, value)) Differ("a store", name);
      break;
    case 1:
      if (exprcalc_table_substitute(own, text.c_str()) != Substitution(text.c_str())) Differ("a statement", text);
      break;
    case 2:
      if (exprcalc_table_remove(own, name) != RemoveVariable(name)) Differ("a removal", name);
      break;
    case 3: {
      const int index = in.Byte() % 8;
      if (exprcalc_table_set_double(own, index, value) != exprcalc_set_double(index, value)) Differ("a set", name);
      break;
    }
    case 4: {
      exprcalc_judgement x{}, y{};
      if (exprcalc_table_judge(own, text.c_str(), &x) != exprcalc_judge(text.c_str(), &y) ||
          std::memcmp(&x, &y, sizeof x) != 0) {
        Differ("a judgement", text);
      }
      break;
    }
    case 5: {
      // Both prepared, and the process table's ParseString: steps first, then
      // machine code where EXPRCALC_COMPILE_AFTER is small.
      exprcalc_expr *p = nullptr, *q = nullptr;
      if (exprcalc_table_prepare(own, text.c_str(), &p) != exprcalc_prepare(text.c_str(), &q)) Differ("preparing", text);
      double c = 3.0;
      const int parsed = ParseString(text.c_str(), &c);
      for (int run = 0; run < 3; ++run) {
        if (exprcalc_evaluate(p, &a) != parsed || exprcalc_evaluate(q, &b) != parsed || !SameBits(a, c) ||
            !SameBits(b, c)) {
          Differ("a prepared value", text);
        }
      }
      exprcalc_release(p);
      exprcalc_release(q);
      break;
    }
    default:
      if (exprcalc_table_evaluate(own, text.c_str(), &a) != ParseString(text.c_str(), &b) || !SameBits(a, b)) {
        Differ("a value", text);
      }
      break;
  }
  ExpectSameRecords(own);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  FreeVariable();
  exprcalc_table* own = nullptr;
  if (exprcalc_table_create(&own) != EXPRCALC_OK) std::abort();
  if (exprcalc_table_define_function(own, "TWICE", Twice, nullptr) !=
      exprcalc_table_define_function(exprcalc_process_table(), "TWICE", Twice, nullptr)) {
    std::abort();
  }
  while (!in.Empty()) Compare(own, in);

  // A prepared expression holds its table past its destruction.
  exprcalc_expr* kept = nullptr;
  double before = 0.0, after = 1.0;
  if (exprcalc_table_prepare(own, "TWICE(@A)+1", &kept) != EXPRCALC_OK) std::abort();
  const int code = exprcalc_evaluate(kept, &before);
  exprcalc_table_destroy(own);
  if (exprcalc_evaluate(kept, &after) != code || !SameBits(before, after)) std::abort();
  exprcalc_release(kept);

  exprcalc_table_define_function(exprcalc_process_table(), "TWICE", nullptr, nullptr);
  FreeVariable();
  return 0;
}
