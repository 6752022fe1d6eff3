// Assignment statements: "@NAME = right part" stores a number or a text under
// @NAME, or removes @NAME when the right part is empty.
#pragma once

#include <string_view>

#include "variables/VariableTable.h"

namespace exprcalc {

// Returns 0 when the variable was stored or removed, 1 when the statement was
// not carried out, -1 when a removal found no such variable.
int Substitute(std::string_view statement, VariableTable& table) noexcept;

}  // namespace exprcalc
