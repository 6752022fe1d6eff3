// Assignment statements: "@NAME = right part" stores a number or a text under
// @NAME, or removes @NAME when the right part is empty.
#pragma once

#include <string_view>

#include "exprcalc.h"
#include "variables/VariableTable.h"

namespace exprcalc {

enum SubstituteResult : int {
  Done = EXPRCALC_STATEMENT_DONE,                  // stored, or removed
  NotCarriedOut = EXPRCALC_STATEMENT_FAILED,       // wrong form, failed evaluation or no room
  NoSuchVariable = EXPRCALC_STATEMENT_NO_VARIABLE, // a removal found no such variable
};

SubstituteResult Substitute(std::string_view statement, VariableTable& table) noexcept;

}  // namespace exprcalc
