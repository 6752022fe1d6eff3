// Hints for the traps of the expression language that people coming from
// other calculators fall into: exponent notation, names that are not built
// in, a byte such as "_" in a name, a statement without "@", 2(3), 2PAI,
// 2**3, a sign after an operator, SIN(1)^2, a blank inside digits, 5%,
// superscript powers, session commands outside a session. A
// hint is a short phrase that echoes at most a few dozen bytes of the line.
// What a text means is the library's to say: a hint that needs to know
// whether something is a name or a statement asks the library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "exprcalc.h"

namespace calculator {

// For a line whose reading stopped before its end (d.stop is not
// EXPRCALC_STOP_END); the offsets of d count from the line's start.
std::vector<std::string> StopHints(std::string_view line, const exprcalc_diagnosis& d);

// For a finding of the library's judgement of line (a note, or why the line is malformed).
std::vector<std::string> NoteHints(std::string_view line, const exprcalc_finding& finding);

// For a malformed line that no finding explains, the library's caret at at
// ("5%": the remainder without its right operand).
std::vector<std::string> MalformedHints(std::string_view line, std::size_t at);

// For a name as written (name) of which expressions read only the first
// readLength bytes.
std::string UnreadNameHint(std::string_view name, std::size_t readLength);

// For a session command given where no session runs.
std::string SessionCommandHint();

}  // namespace calculator
