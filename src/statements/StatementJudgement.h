// Statements judged before they are carried out: what a statement would do
// now, and whether it means what it says (its right part whole, its text
// stored as written).
#pragma once

#include <cstddef>
#include <string_view>

#include "evaluation/Findings.h"
#include "statements/Substitute.h"
#include "variables/VariableTable.h"

namespace exprcalc {

struct StatementJudgement {
  StatementDiagnosis told;  // what Substitute would say (a store counts as done)
  bool whole = false;
  std::size_t textAt = Nowhere;  // a stored text: where it begins, and its stored length
  std::size_t textLength = 0;
  FindingList findings;  // offsets count from the statement's start
};

// Judges the statement without carrying it out; the table is only read.
// Returns what Substitute would return now (Done for any store).
SubstituteResult JudgeStatement(std::string_view statement, const VariableTable& table,
                                StatementJudgement& judgement) noexcept;

// Carries out the statement as Substitute does when it is whole; otherwise
// changes nothing and gives NotCarriedOut with the reason NotWhole (or, for a
// text that is no statement, the reason Substitute gives).
SubstituteResult SubstituteWhole(std::string_view statement, VariableTable& table,
                                 StatementJudgement& judgement) noexcept;

}  // namespace exprcalc
