// The one module-wide object: it owns the process's variable table from the
// moment the library is loaded until it is unloaded, and carries the
// operations that the exports call.
#pragma once

#include <string_view>

#include "evaluation/Evaluate.h"
#include "statements/Substitute.h"
#include "variables/VariableTable.h"

namespace exprcalc {

class EvaluatorModule {
 public:
  constexpr EvaluatorModule() noexcept = default;
  EvaluatorModule(const EvaluatorModule&) = delete;
  EvaluatorModule& operator=(const EvaluatorModule&) = delete;
  // Unload: the table's own destructor releases its block, once.
  ~EvaluatorModule() = default;

  VariableTable& Table() noexcept { return table_; }
  ResultCode Evaluate(std::string_view expression, double& result) const noexcept {
    return exprcalc::Evaluate(expression, table_, result);
  }
  SubstituteResult Substitute(std::string_view statement, StatementDiagnosis* why = nullptr) noexcept {
    return exprcalc::Substitute(statement, table_, why);
  }
  ResultCode Explain(std::string_view expression, double& result, Diagnosis& diagnosis) const noexcept {
    return exprcalc::Explain(expression, table_, result, diagnosis);
  }

 private:
  VariableTable table_;
};

// The static instance. It is constant-initialised, so it exists with an empty
// table before any code of the host (or of another library) can call an export.
extern EvaluatorModule theModule;
inline EvaluatorModule& TheModule() noexcept { return theModule; }

}  // namespace exprcalc
