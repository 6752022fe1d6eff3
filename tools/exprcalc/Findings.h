// What the calculator makes of the library's diagnoses: the error that stops
// a line (it prints no value then), and the warnings about a line that was
// read to its end and evaluated. All offsets count bytes from the line's
// start; an expression may begin further in (the right part of a statement).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "Messages.h"
#include "exprcalc.h"

namespace calculator {

// The expression was not read to its end: reading stopped before it (a line
// end followed by white space only counts as the end), or a "(" was never
// closed and what follows it was dropped.
std::optional<Report> ReadingError(std::string_view line, const exprcalc_diagnosis& d);

// The evaluation failed (d.code is not 0).
std::optional<Report> EvaluationError(std::string_view line, const exprcalc_diagnosis& d);

// A text variable read as 0; digits that commas do not group by three.
std::vector<Report> ExpressionWarnings(std::string_view line, const exprcalc_diagnosis& d, std::size_t expressionAt);

// The statement was not carried out (d.result is not 0).
std::optional<Report> StatementError(std::string_view line, const exprcalc_statement_diagnosis& d);

// The statement stored a name that no expression can read.
std::optional<Report> UnreadableNameWarning(std::string_view line, const exprcalc_statement_diagnosis& d);

// A session command (":vars") where no session runs.
Report SessionCommandError(std::string_view line);

// A NUL byte at at: the library reads a text up to its first NUL only.
Report NulByteError(std::size_t at);

// report as the reason why a statement was not carried out.
Report StatementNotCarriedOut(Report report);

}  // namespace calculator
