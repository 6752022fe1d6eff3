// The fourteen exported functions, on the process table (see TableCalls.h).
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "module/TableCalls.h"

using exprcalc::TheModule;
namespace calls = exprcalc::calls;

extern "C" {

EXPRCALC_API int EXPRCALC_CALL EnterVarDouble(const char* name, double value) {
  return calls::EnterDouble(TheModule().Table(), name, value);
}

EXPRCALC_API int EXPRCALC_CALL EnterVarString(const char* name, const char* text) {
  return calls::EnterString(TheModule().Table(), name, text);
}

EXPRCALC_API int EXPRCALC_CALL FreeVariable(void) { return TheModule().Table().FreeBlock(); }

EXPRCALC_API int EXPRCALC_CALL GetIndexByKey(const char* name, int* type) {
  return calls::IndexByKey(TheModule().Table(), name, type);
}

EXPRCALC_API int EXPRCALC_CALL GetVar(int index, void* record) {
  return calls::CopyRecord(TheModule().Table(), index, record);
}

EXPRCALC_API int EXPRCALC_CALL GetVarCount(void) { return TheModule().Table().GetCount(); }

EXPRCALC_API int EXPRCALC_CALL LookupVarDouble(const char* name, double* value) {
  return calls::LookupDouble(TheModule().Table(), name, value);
}

EXPRCALC_API int EXPRCALC_CALL LookupVarString(const char* name, char* buffer) {
  return calls::LookupString(TheModule().Table(), name, buffer);
}

EXPRCALC_API int EXPRCALC_CALL ParseString(const char* expression, double* result) {
  return calls::Evaluate(TheModule().Table(), expression, result);
}

EXPRCALC_API int EXPRCALC_CALL RemoveVarIndex(int index) { return TheModule().Table().RemoveAt(index); }

EXPRCALC_API int EXPRCALC_CALL RemoveVariable(const char* name) {
  return TheModule().Table().RemoveByKey(exprcalc::TextArgument(name));
}

EXPRCALC_API int EXPRCALC_CALL Substitution(const char* statement) {
  return exprcalc::Substitute(exprcalc::TextArgument(statement), TheModule().Table());
}

EXPRCALC_API int EXPRCALC_CALL VarDouble(int index, double* value) {
  return calls::DoubleAt(TheModule().Table(), index, value);
}

EXPRCALC_API int EXPRCALC_CALL VarString(int index, char* buffer) {
  return calls::StringAt(TheModule().Table(), index, buffer);
}

}  // extern "C"
