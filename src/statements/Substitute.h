// Assignment statements: "@NAME = right part" stores a number or a text under
// @NAME, or removes @NAME when the right part is empty.
#pragma once

#include <cstddef>
#include <string_view>

#include "exprcalc.h"
#include "expr/Evaluate.h"
#include "variables/VariableTable.h"

namespace exprcalc {

enum SubstituteResult : int {
  Done = EXPRCALC_STATEMENT_DONE,                  // stored, or removed
  NotCarriedOut = EXPRCALC_STATEMENT_FAILED,       // wrong form, failed evaluation or no room
  NoSuchVariable = EXPRCALC_STATEMENT_NO_VARIABLE, // a removal found no such variable
};

enum class StatementReason : int {
  Stored = EXPRCALC_REASON_STORED,
  Removed = EXPRCALC_REASON_REMOVED,
  NotAStatement = EXPRCALC_REASON_NOT_A_STATEMENT,
  NoName = EXPRCALC_REASON_NO_NAME,
  Evaluation = EXPRCALC_REASON_EVALUATION,
  NoRoom = EXPRCALC_REASON_NO_ROOM,
  NothingToRemove = EXPRCALC_REASON_NOTHING_TO_REMOVE,
};

// What a statement did and why, in byte offsets of the statement.
struct StatementDiagnosis {
  StatementReason reason = StatementReason::NotAStatement;
  std::size_t nameAt = 0;
  std::size_t nameLength = 0;
  bool unreadableName = false;  // stored under a name that no expression can read
  std::size_t rightAt = static_cast<std::size_t>(-1);
  std::size_t rightLength = 0;
  bool evaluated = false;       // the right part was evaluated: code, value and expression hold
  ResultCode code = Ok;
  double value = 0.0;
  Diagnosis expression;         // offsets count from rightAt
};

// Carries out the statement. With why, also says what it did; the effect and
// the result are the same either way.
SubstituteResult Substitute(std::string_view statement, VariableTable& table,
                            StatementDiagnosis* why = nullptr) noexcept;

}  // namespace exprcalc
