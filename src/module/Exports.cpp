// The fourteen exported functions. Each reads its arguments, makes one call
// into the module, copies what it produced into the caller's memory (never
// through a null or small pointer) and returns the result unchanged.
#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "module/ExportArguments.h"

using exprcalc::IsAddress;
using exprcalc::Store;
using exprcalc::StoreText;
using exprcalc::TextArgument;
using exprcalc::TheModule;

extern "C" {

EXPRCALC_API int EXPRCALC_CALL EnterVarDouble(const char* name, double value) {
  return TheModule().Table().EnterDouble(TextArgument(name), value);
}

EXPRCALC_API int EXPRCALC_CALL EnterVarString(const char* name, const char* text) {
  return TheModule().Table().EnterString(TextArgument(name), TextArgument(text));
}

EXPRCALC_API int EXPRCALC_CALL FreeVariable(void) { return TheModule().Table().FreeBlock(); }

EXPRCALC_API int EXPRCALC_CALL GetIndexByKey(const char* name, int* type) {
  int found = 0;
  const int index = TheModule().Table().IndexByKey(TextArgument(name), found);
  Store(type, found);
  return index;
}

EXPRCALC_API int EXPRCALC_CALL GetVar(int index, void* record) {
  if (!IsAddress(record)) return EXPRCALC_NOT_FOUND;  // the copy is the whole call
  return TheModule().Table().CopyRecord(index, record);
}

EXPRCALC_API int EXPRCALC_CALL GetVarCount(void) { return TheModule().Table().GetCount(); }

EXPRCALC_API int EXPRCALC_CALL LookupVarDouble(const char* name, double* value) {
  double found = 0.0;
  const int index = TheModule().Table().LookupDouble(TextArgument(name), found);
  Store(value, found);
  return index;
}

EXPRCALC_API int EXPRCALC_CALL LookupVarString(const char* name, char* buffer) {
  std::string_view text;
  const int index = TheModule().Table().LookupString(TextArgument(name), text);
  StoreText(buffer, text);
  return index;
}

EXPRCALC_API int EXPRCALC_CALL ParseString(const char* expression, double* result) {
  double value = 0.0;
  const int code = TheModule().Evaluate(TextArgument(expression), value);
  Store(result, value);
  return code;
}

EXPRCALC_API int EXPRCALC_CALL RemoveVarIndex(int index) { return TheModule().Table().RemoveAt(index); }

EXPRCALC_API int EXPRCALC_CALL RemoveVariable(const char* name) {
  return TheModule().Table().RemoveByKey(TextArgument(name));
}

EXPRCALC_API int EXPRCALC_CALL Substitution(const char* statement) {
  return TheModule().Substitute(TextArgument(statement));
}

EXPRCALC_API int EXPRCALC_CALL VarDouble(int index, double* value) {
  double found = 0.0;
  const int result = TheModule().Table().DoubleAt(index, found);
  Store(value, found);
  return result;
}

EXPRCALC_API int EXPRCALC_CALL VarString(int index, char* buffer) {
  std::string_view text;
  const int result = TheModule().Table().StringAt(index, text);
  StoreText(buffer, text);
  return result;
}

}  // extern "C"
