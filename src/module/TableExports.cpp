// The exprcalc_table_* exports: tables of the host's own, and the table forms
// of the exports that work on the process table. Each is the same call as
// its process-table export (TableCalls.h), on the table it is given.
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"
#include "module/Table.h"
#include "module/TableCalls.h"

namespace {

namespace calls = exprcalc::calls;

// A table argument: null and values below 65536 are the process table.
exprcalc::Table& TableArgument(exprcalc_table* table) noexcept {
  return exprcalc::IsAddress(table) ? *table : exprcalc::TheModule().ProcessTable();
}
exprcalc::VariableTable& VariablesOf(exprcalc_table* table) noexcept { return TableArgument(table).Variables(); }

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_create(exprcalc_table** out) {
  exprcalc_table* table = exprcalc_table::Create();
  if (!exprcalc::IsAddress(out)) {
    exprcalc_table::Drop(table);  // nowhere to hand it over
  } else {
    *out = table;
  }
  return table == nullptr ? EXPRCALC_OUT_OF_MEMORY : EXPRCALC_OK;
}

EXPRCALC_API void EXPRCALC_CALL exprcalc_table_destroy(exprcalc_table* table) {
  if (exprcalc::IsAddress(table)) exprcalc_table::Drop(table);  // the process table is never dropped
}

EXPRCALC_API exprcalc_table* EXPRCALC_CALL exprcalc_process_table(void) {
  return &exprcalc::TheModule().ProcessTable();
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_evaluate(exprcalc_table* table, const char* expression,
                                                       double* result) {
  return calls::Evaluate(VariablesOf(table), expression, result);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_substitute(exprcalc_table* table, const char* statement) {
  return exprcalc::Substitute(exprcalc::TextArgument(statement), VariablesOf(table));
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_enter_double(exprcalc_table* table, const char* name, double value) {
  return calls::EnterDouble(VariablesOf(table), name, value);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_enter_string(exprcalc_table* table, const char* name,
                                                           const char* text) {
  return calls::EnterString(VariablesOf(table), name, text);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_index_of(exprcalc_table* table, const char* name, int* type) {
  return calls::IndexByKey(VariablesOf(table), name, type);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_lookup_double(exprcalc_table* table, const char* name,
                                                            double* value) {
  return calls::LookupDouble(VariablesOf(table), name, value);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_lookup_string(exprcalc_table* table, const char* name,
                                                            char* buffer) {
  return calls::LookupString(VariablesOf(table), name, buffer);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_remove(exprcalc_table* table, const char* name) {
  return VariablesOf(table).RemoveByKey(exprcalc::TextArgument(name));
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_remove_index(exprcalc_table* table, int index) {
  return VariablesOf(table).RemoveAt(index);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_double_at(exprcalc_table* table, int index, double* value) {
  return calls::DoubleAt(VariablesOf(table), index, value);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_string_at(exprcalc_table* table, int index, char* buffer) {
  return calls::StringAt(VariablesOf(table), index, buffer);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_record(exprcalc_table* table, int index, void* record) {
  return calls::CopyRecord(VariablesOf(table), index, record);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_count(exprcalc_table* table) { return VariablesOf(table).GetCount(); }

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_clear(exprcalc_table* table) { return VariablesOf(table).FreeBlock(); }

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_set_double(exprcalc_table* table, int index, double value) {
  return VariablesOf(table).SetDouble(index, value);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_explain(exprcalc_table* table, const char* text,
                                                      exprcalc_diagnosis* out) {
  return calls::Explain(VariablesOf(table), text, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_explain_statement(exprcalc_table* table, const char* statement,
                                                                exprcalc_statement_diagnosis* out) {
  return calls::ExplainStatement(VariablesOf(table), statement, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_judge(exprcalc_table* table, const char* text,
                                                    exprcalc_judgement* out) {
  return calls::Judge(VariablesOf(table), text, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_judge_statement(exprcalc_table* table, const char* statement,
                                                              exprcalc_statement_judgement* out) {
  return calls::JudgeStatement(VariablesOf(table), statement, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_substitute_whole(exprcalc_table* table, const char* statement,
                                                               exprcalc_statement_judgement* out) {
  return calls::SubstituteWhole(VariablesOf(table), statement, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_prepare(exprcalc_table* table, const char* text,
                                                      exprcalc_expr** out) {
  return calls::Prepare(TableArgument(table), text, out);
}

EXPRCALC_API int EXPRCALC_CALL exprcalc_table_define_function(exprcalc_table* table, const char* name,
                                                              exprcalc_function fn, void* user) {
  return calls::DefineFunction(VariablesOf(table), name, fn, user);
}

}  // extern "C"
