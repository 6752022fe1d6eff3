// The floor the library is measured against: a single-pass, allocation-free
// recursive-descent evaluator for the common subset of the expression
// language (plain decimal numbers, + - * / ^, parentheses, blanks, the
// functions, PAI and the corpus variables). Bench code only: it recurses and checks no domain.
#pragma once

#include <optional>
#include <string_view>

namespace exprcalc::bench {

// The value of text, or nothing when text leaves the subset or is malformed.
// It groups like the library: a leading sign applies after ^ * /, a function
// takes its operand with any ^ applied to it, and ^ groups from the right.
std::optional<double> ReferenceEvaluate(std::string_view text) noexcept;

}  // namespace exprcalc::bench
