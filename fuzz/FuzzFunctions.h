// Host functions that the prepared-expression targets define in the process
// table: one that fails with a code chosen by its argument, one that returns
// NaNs with payloads (quiet and signalling, either sign). Both count their
// calls, so that a target can check that every form of evaluation calls
// them as often as ParseString does.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzInput.h"
#include "exprcalc.h"

namespace {

[[maybe_unused]] std::size_t HostCalls = 0;

// 2x, or a code: the built-ins' three, and two of its own (which end the
// evaluation with EXPRCALC_FUNCTION_FAILED); 0 without writing the value for -0.
[[maybe_unused]] int TwiceOrFail(void*, double argument, double* result) {
  ++HostCalls;
  if (argument == 7.0) return 9;
  if (argument == -1.0) return -5;
  if (argument == 0.5) return EXPRCALC_DIVISION_BY_ZERO;
  if (argument == 3.0) return EXPRCALC_DOMAIN_ERROR;
  if (argument == 4.0) return EXPRCALC_NEGATIVE_LOGARITHM;
  if (argument == 0.0 && std::signbit(argument)) return 0;
  *result = 2.0 * argument;
  return 0;
}

// A NaN whose payload and sign come from the argument's bits (a NaN argument
// is handed back as it is); a payload without the quiet bit is signalling.
[[maybe_unused]] int Payload(void*, double argument, double* result) {
  ++HostCalls;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &argument, sizeof bits);
  if (argument == argument) bits = (bits & 0x800FFFFFFFFFFFFFu) ^ 0x7FF0000000000001u;
  std::memcpy(result, &bits, sizeof bits);
  return 0;
}

[[maybe_unused]] const char* const FunctionNames[] = {"TWICE", "PAYLOAD"};
[[maybe_unused]] const exprcalc_function Functions[] = {TwiceOrFail, Payload};

// Defines both functions in the process table, each under its own name.
[[maybe_unused]] void DefineFunctions() {
  for (std::size_t i = 0; i < 2; ++i) exprcalc_table_define_function(nullptr, FunctionNames[i], Functions[i], nullptr);
}
[[maybe_unused]] void RemoveFunctions() {
  for (const char* name : FunctionNames) exprcalc_table_define_function(nullptr, name, nullptr, nullptr);
}

// A change of the functions: one defined (anew, or as the other one) or removed.
[[maybe_unused]] void ChangeFunction(Input& in) {
  const std::uint8_t pick = in.Byte();
  const char* name = FunctionNames[pick % 2];
  exprcalc_table_define_function(nullptr, name, pick & 4 ? nullptr : Functions[pick / 2 % 2], nullptr);
}

}  // namespace
