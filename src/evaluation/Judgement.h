// Whether an expression text means what it says. The evaluation is the one
// of Explain (same code, value and diagnosis); the judgement adds what a text
// can silently mean beyond its value: a function left unapplied by a "("
// that is never closed, digits that commas do not group by three, a number
// without digits, a parenthesised argument that takes the power, and why a
// malformed text is malformed. See Findings.h for the kinds.
#pragma once

#include <string_view>

#include "evaluation/Evaluate.h"
#include "evaluation/Findings.h"
#include "variables/VariableTable.h"

namespace exprcalc {

struct Judgement {
  Diagnosis diagnosis;  // exactly what Explain gives
  FindingList findings;
  // Read to its end, and nothing in it changes what it means.
  bool Whole() const noexcept { return !findings.AnyChangesMeaning(); }
};

// As Explain, with the same code, value bits and diagnosis, and judges the
// text. Variables are read from table, which is never changed.
ResultCode Judge(std::string_view expression, const VariableTable& table, double& result,
                 Judgement& judgement) noexcept;

}  // namespace exprcalc
