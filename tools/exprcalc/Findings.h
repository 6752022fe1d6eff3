// What the calculator makes of the library's judgements (exprcalc_judge,
// exprcalc_substitute_whole): the error that stops a line (it prints no value
// then), and the warnings about a line that the library judges whole. All
// offsets count bytes from the line's start; an expression may begin further
// in (the right part of a statement).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "Messages.h"
#include "exprcalc.h"

namespace calculator {

std::span<const exprcalc_finding> FindingsOf(const exprcalc_judgement& judgement);
std::span<const exprcalc_finding> FindingsOf(const exprcalc_statement_judgement& judgement);

// The evaluation failed (d.code is not 0), or the library does not judge the
// expression whole: the finding that says why, with the caret where it is.
std::optional<Report> ExpressionError(std::string_view line, const exprcalc_diagnosis& d, bool whole,
                                      std::span<const exprcalc_finding> findings);

// The library's notes on a line that is whole (a text variable read as 0,
// digit groups, SIN(1)^2, "." alone) and, for a statement that was carried
// out (statement not null), a name stored that expressions cannot read.
std::vector<Report> Notes(std::string_view line, std::span<const exprcalc_finding> findings,
                          const exprcalc_statement_diagnosis* statement);

// The statement was not carried out (its result is not 0).
std::optional<Report> StatementError(std::string_view line, const exprcalc_statement_judgement& judgement);

// A session command (":vars") where no session runs.
Report SessionCommandError(std::string_view line);

// A NUL byte at at: the library reads a text up to its first NUL only.
Report NulByteError(std::size_t at);

}  // namespace calculator
