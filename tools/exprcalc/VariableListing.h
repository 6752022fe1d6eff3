// The variable table as the session's :vars command shows it, read record by
// record through GetVar and the record layout of the public header.
#pragma once

#include <string>
#include <vector>

#include "LineRunner.h"

namespace calculator {

struct VariableEntry {
  int index = 0;
  std::string name;
  bool isText = false;
  double number = 0.0;  // for a number
  std::string text;     // for a text
};

std::vector<VariableEntry> ReadVariables();

// One line per variable: index (right-aligned), name, type ("number" or
// "text") and value (texts in double quotes), in aligned columns;
// "(no variables)" for an empty table.
std::string FormatVariables(const std::vector<VariableEntry>& entries, ValueStyle style);

}  // namespace calculator
