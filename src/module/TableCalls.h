// What every export does, once, on a given table: the fourteen classic
// exports and the exprcalc_* ones call these on the process table, the
// exprcalc_table_* ones on the host's table, so a table behaves exactly as
// the process table does. Each reads its arguments, makes one call into the
// table, copies out what it produced (never through a null or small pointer)
// and returns the result unchanged. Inline: an export costs what it did.
#pragma once

#include <string_view>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "evaluation/Judgement.h"
#include "language/BuiltIns.h"
#include "language/Tokenizer.h"
#include "module/ExportArguments.h"
#include "module/Published.h"
#include "module/Table.h"
#include "program/Program.h"
#include "statements/StatementJudgement.h"
#include "statements/Substitute.h"

namespace exprcalc::calls {

inline int EnterDouble(VariableTable& table, const char* name, double value) noexcept {
  return table.EnterDouble(TextArgument(name), value);
}

inline int EnterString(VariableTable& table, const char* name, const char* text) noexcept {
  return table.EnterString(TextArgument(name), TextArgument(text));
}

inline int IndexByKey(const VariableTable& table, const char* name, int* type) noexcept {
  int found = 0;
  const int index = table.IndexByKey(TextArgument(name), found);
  Store(type, found);
  return index;
}

inline int CopyRecord(const VariableTable& table, int index, void* record) noexcept {
  if (!IsAddress(record)) return EXPRCALC_NOT_FOUND;  // the copy is the whole call
  return table.CopyRecord(index, record);
}

inline int LookupDouble(const VariableTable& table, const char* name, double* value) noexcept {
  double found = 0.0;
  const int index = table.LookupDouble(TextArgument(name), found);
  Store(value, found);
  return index;
}

inline int LookupString(const VariableTable& table, const char* name, char* buffer) noexcept {
  std::string_view text;
  const int index = table.LookupString(TextArgument(name), text);
  StoreText(buffer, text);
  return index;
}

inline int Evaluate(const VariableTable& table, const char* expression, double* result) noexcept {
  double value = 0.0;
  const int code = exprcalc::Evaluate(TextArgument(expression), table, value);
  Store(result, value);
  return code;
}

inline int DoubleAt(const VariableTable& table, int index, double* value) noexcept {
  double found = 0.0;
  const int result = table.DoubleAt(index, found);
  Store(value, found);
  return result;
}

inline int StringAt(const VariableTable& table, int index, char* buffer) noexcept {
  std::string_view text;
  const int result = table.StringAt(index, text);
  StoreText(buffer, text);
  return result;
}

inline int Explain(const VariableTable& table, const char* text, exprcalc_diagnosis* out) noexcept {
  const std::string_view expression = TextArgument(text);
  double value = 0.0;
  Diagnosis diagnosis;
  const int code = exprcalc::Explain(expression, table, value, diagnosis);
  Store(out, Published(code, value, diagnosis, expression.size()));
  return code;
}

inline int ExplainStatement(VariableTable& table, const char* statement, exprcalc_statement_diagnosis* out) noexcept {
  StatementDiagnosis why;
  const int result = exprcalc::Substitute(TextArgument(statement), table, &why);
  Store(out, Published(result, why));
  return result;
}

inline int Judge(const VariableTable& table, const char* text, exprcalc_judgement* out) noexcept {
  const std::string_view expression = TextArgument(text);
  double value = 0.0;
  Judgement judgement;
  const int code = exprcalc::Judge(expression, table, value, judgement);
  exprcalc_judgement told{};
  told.diagnosis = Published(code, value, judgement.diagnosis, expression.size());
  told.whole = judgement.Whole() ? 1 : 0;
  told.count = Published(judgement.findings, told.findings);
  Store(out, told);
  return code;
}

inline exprcalc_statement_judgement Told(int result, const StatementJudgement& judgement) noexcept {
  exprcalc_statement_judgement told{};
  told.statement = Published(result, judgement.told);
  told.whole = judgement.whole ? 1 : 0;
  told.text_at = judgement.textAt;
  told.text_length = judgement.textLength;
  told.count = Published(judgement.findings, told.findings);
  return told;
}

inline int JudgeStatement(const VariableTable& table, const char* statement,
                          exprcalc_statement_judgement* out) noexcept {
  StatementJudgement judgement;
  const int result = exprcalc::JudgeStatement(TextArgument(statement), table, judgement);
  Store(out, Told(result, judgement));
  return result;
}

inline int SubstituteWhole(VariableTable& table, const char* statement, exprcalc_statement_judgement* out) noexcept {
  StatementJudgement judgement;
  const int result = exprcalc::SubstituteWhole(TextArgument(statement), table, judgement);
  Store(out, Told(result, judgement));
  return result;
}

// Releases a prepared expression, then lets go of its table (the last holder frees it).
inline void Release(Program* program) noexcept {
  exprcalc_table* owner = program->Owner();
  Program::Release(program);
  if (owner != nullptr) exprcalc_table::Drop(owner);
}

// The prepared expression holds its table until it is released.
inline int Prepare(Table& table, const char* text, exprcalc_expr** out) noexcept {
  Program* program = Program::Prepare(TextArgument(text), table.Variables(), table.Holder());
  if (program != nullptr) table.Hold();
  if (!IsAddress(out)) {
    if (program != nullptr) Release(program);  // nowhere to hand it over
  } else {
    *out = program;
  }
  return program == nullptr ? EXPRCALC_OUT_OF_MEMORY : EXPRCALC_OK;
}

// A name by the language's rule, as a built-in function is written: a letter,
// then letters and digits.
inline bool IsFunctionName(std::string_view name) noexcept {
  return !name.empty() && name.front() != '@' && NameLength(name) == name.size();
}

inline int DefineFunction(VariableTable& table, const char* name, HostCallback call, void* user) noexcept {
  const std::string_view text = TextArgument(name);
  if (!IsFunctionName(text)) return call == nullptr ? EXPRCALC_NOT_FOUND : EXPRCALC_FUNCTION_NOT_A_NAME;
  if (FindBuiltIn(text) != nullptr) return call == nullptr ? EXPRCALC_NOT_FOUND : EXPRCALC_FUNCTION_NAME_TAKEN;
  return table.DefineFunction(NormaliseKey(text), call, user);
}

}  // namespace exprcalc::calls
