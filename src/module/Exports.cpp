// The fourteen exported functions. Each reads its text arguments, makes one
// call into the module, copies what it produced into the caller's memory and
// returns the result unchanged, behind the one exception barrier.
#include <cstring>

#include "exprcalc.h"
#include "module/EvaluatorModule.h"
#include "module/ExportGuard.h"

using exprcalc::Guarded;
using exprcalc::TextArgument;
using exprcalc::TheModule;

namespace {

constexpr int NotFound = EXPRCALC_NOT_FOUND;

// Copies text and its NUL into a caller's buffer (at most 222 bytes and a NUL).
void CopyText(std::string_view text, char* buffer) noexcept {
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

}  // namespace

extern "C" {

EXPRCALC_API int EXPRCALC_CALL EnterVarDouble(const char* name, double value) {
  return Guarded(NotFound, [&] { return TheModule().Table().EnterDouble(TextArgument(name), value); });
}

EXPRCALC_API int EXPRCALC_CALL EnterVarString(const char* name, const char* text) {
  return Guarded(NotFound,
                 [&] { return TheModule().Table().EnterString(TextArgument(name), TextArgument(text)); });
}

EXPRCALC_API int EXPRCALC_CALL FreeVariable(void) {
  return Guarded(0, [] { return TheModule().Table().FreeBlock(); });
}

EXPRCALC_API int EXPRCALC_CALL GetIndexByKey(const char* name, int* type) {
  *type = 0;
  return Guarded(NotFound, [&] { return TheModule().Table().IndexByKey(TextArgument(name), *type); });
}

EXPRCALC_API int EXPRCALC_CALL GetVar(int index, void* record) {
  return Guarded(NotFound, [&] { return TheModule().Table().CopyRecord(index, record); });
}

EXPRCALC_API int EXPRCALC_CALL GetVarCount(void) {
  return Guarded(0, [] { return TheModule().Table().GetCount(); });
}

EXPRCALC_API int EXPRCALC_CALL LookupVarDouble(const char* name, double* value) {
  *value = 0.0;
  return Guarded(NotFound, [&] { return TheModule().Table().LookupDouble(TextArgument(name), *value); });
}

EXPRCALC_API int EXPRCALC_CALL LookupVarString(const char* name, char* buffer) {
  buffer[0] = '\0';
  return Guarded(NotFound, [&] {
    std::string_view text;
    const int index = TheModule().Table().LookupString(TextArgument(name), text);
    CopyText(text, buffer);
    return index;
  });
}

EXPRCALC_API int EXPRCALC_CALL ParseString(const char* expression, double* result) {
  *result = 0.0;
  return Guarded(EXPRCALC_OUT_OF_MEMORY,
                 [&] { return TheModule().Evaluate(TextArgument(expression), *result); });
}

EXPRCALC_API int EXPRCALC_CALL RemoveVarIndex(int index) {
  return Guarded(NotFound, [&] { return TheModule().Table().RemoveAt(index); });
}

EXPRCALC_API int EXPRCALC_CALL RemoveVariable(const char* name) {
  return Guarded(NotFound, [&] { return TheModule().Table().RemoveByKey(TextArgument(name)); });
}

EXPRCALC_API int EXPRCALC_CALL Substitution(const char* statement) {
  return Guarded(EXPRCALC_STATEMENT_FAILED, [&] { return TheModule().Substitute(TextArgument(statement)); });
}

EXPRCALC_API int EXPRCALC_CALL VarDouble(int index, double* value) {
  *value = 0.0;
  return Guarded(NotFound, [&] { return TheModule().Table().DoubleAt(index, *value); });
}

EXPRCALC_API int EXPRCALC_CALL VarString(int index, char* buffer) {
  buffer[0] = '\0';
  return Guarded(NotFound, [&] {
    std::string_view text;
    const int found = TheModule().Table().StringAt(index, text);
    CopyText(text, buffer);
    return found;
  });
}

}  // extern "C"
