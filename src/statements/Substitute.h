// Assignment statements: "@NAME = right part" stores a number or a text under
// @NAME, or removes @NAME when the right part is empty.
#pragma once

#include <cstddef>
#include <string_view>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
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
  NotWhole = EXPRCALC_REASON_NOT_WHOLE,
};

// What a statement asks for, as every statement call reads it: a statement
// is split at its first "="; both parts are stripped of white space (never
// upper-cased) and judged by their first bytes.
enum class StatementForm { NotAStatement, NoName, Removal, Text, Expression };

struct StatementParts {
  StatementForm form = StatementForm::NotAStatement;
  std::string_view name;            // the stripped left part
  std::string_view right;           // the stripped right part
  std::size_t nameAt = 0;           // offsets in the statement
  std::size_t rightAt = Nowhere;
  std::string_view text;            // Text: the text after the double quote, as far as it is stored
  std::size_t textAt = Nowhere;     // Text: where it begins
  std::size_t cutAt = Nowhere;      // Text: where it ends before the statement does (Nowhere if it does not)
  std::size_t unreadableAt = Nowhere;  // where expressions stop reading the name, Nowhere when they read it all
};

StatementParts ReadStatement(std::string_view statement) noexcept;

// What a statement did and why, in byte offsets of the statement.
struct StatementDiagnosis {
  StatementReason reason = StatementReason::NotAStatement;
  std::size_t nameAt = 0;
  std::size_t nameLength = 0;
  bool unreadableName = false;  // stored under a name that no expression can read
  std::size_t rightAt = Nowhere;
  std::size_t rightLength = 0;
  bool evaluated = false;       // the right part was evaluated: code, value and expression hold
  ResultCode code = Ok;
  double value = 0.0;
  Diagnosis expression;         // offsets count from rightAt
};

// The places of the statement's parts, the reason not yet known.
StatementDiagnosis PlacesOf(const StatementParts& parts) noexcept;

// Carries out the statement. With why, also says what it did; the effect and
// the result are the same either way.
SubstituteResult Substitute(std::string_view statement, VariableTable& table,
                            StatementDiagnosis* why = nullptr) noexcept;

}  // namespace exprcalc
