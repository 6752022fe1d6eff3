// The table changes that the prepared-expression targets decode between
// evaluations: every writing call, on a small pool of names and values, and
// defining or removing a host function (FuzzFunctions.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "FuzzFunctions.h"
#include "FuzzInput.h"
#include "exprcalc.h"

namespace {

const char* const Names[] = {"@A", "@B", "X", "@T", "@a", "QTY", "@", "SIN"};
const double Values[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-15, 1e308, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(), 4.0, -3.5};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Decodes one change and makes it (the tables target decodes calls of its own).
[[maybe_unused]] void Change(Input& in) {
  const std::uint8_t op = in.Byte();
  const char* name = Names[in.Byte() % std::size(Names)];
  const double value = Values[in.Byte() % std::size(Values)];
  switch (op % 10) {
    case 0: case 1: exprcalc_set_double(in.Byte() % 8, value); break;
    case 2: EnterVarDouble(name, value); break;
    case 3: EnterVarString(name, "text"); break;
    case 4: RemoveVariable(name); break;
    case 5: RemoveVarIndex(in.Byte() % 8); break;
    case 6: for (int i = 0; i < 20; ++i) EnterVarDouble(("@G" + std::to_string(in.Byte())).c_str(), i); break;
    case 7: FreeVariable(); break;
    case 9: ChangeFunction(in); break;
    default: Substitution((std::string(name) + "=" + in.Bytes(in.Byte() % 8)).c_str()); break;
  }
}

}  // namespace
