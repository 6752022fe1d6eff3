// The public forms of the library's diagnoses and judgements, as the
// exprcalc_* exports copy them out. Offsets move by shift (a right part's
// place in its statement); an offset that is not known stays EXPRCALC_NOWHERE.
#pragma once

#include <algorithm>
#include <cstddef>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "evaluation/Findings.h"
#include "statements/Substitute.h"

namespace exprcalc {

inline exprcalc_diagnosis Published(int code, double value, const Diagnosis& d, std::size_t length,
                                    std::size_t shift = 0) noexcept {
  exprcalc_diagnosis out{};
  out.code = code;
  out.value = value;
  out.read = d.read + shift;
  out.stop = static_cast<int>(d.stop);
  out.at = code == EXPRCALC_OK ? 0 : FindingList::Moved(d.at, shift);
  out.dropped = d.dropped + shift;
  out.unclosed = d.unclosed ? 1 : 0;
  out.text_variable = FindingList::Moved(d.textVariable, shift);
  out.length = length;
  out.unclosed_at = FindingList::Moved(d.unclosedAt, shift);
  return out;
}

inline exprcalc_statement_diagnosis Published(int result, const StatementDiagnosis& why) noexcept {
  exprcalc_statement_diagnosis told{};
  told.result = result;
  told.reason = static_cast<int>(why.reason);
  told.name_at = why.nameAt;
  told.name_length = why.nameLength;
  told.unreadable_name = why.unreadableName ? 1 : 0;
  told.right_at = why.rightAt;
  if (why.evaluated) told.expression = Published(why.code, why.value, why.expression, why.rightLength, why.rightAt);
  return told;
}

// Copies the findings out; returns how many.
inline int Published(const FindingList& findings, exprcalc_finding (&out)[EXPRCALC_MOST_FINDINGS]) noexcept {
  const std::size_t count = std::min<std::size_t>(findings.size(), EXPRCALC_MOST_FINDINGS);
  for (std::size_t i = 0; i < count; ++i) {
    const Finding& f = findings.begin()[i];
    out[i] = {f.kind, f.at, f.other};
  }
  return static_cast<int>(count);
}

}  // namespace exprcalc
