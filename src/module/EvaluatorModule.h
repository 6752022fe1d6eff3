// The one module-wide object: it owns the process table from the moment the
// library is loaded until it is unloaded, and carries the operations that the
// exports call.
#pragma once

#include <string_view>

#include "evaluation/Evaluate.h"
#include "module/Table.h"
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

  VariableTable& Table() noexcept { return process_.Variables(); }
  // The process table as hosts hold it (exprcalc_process_table).
  exprcalc_table& ProcessTable() noexcept { return process_; }

 private:
  exprcalc_table process_;
};

// The static instance. It is constant-initialised, so it exists with an empty
// table before any code of the host (or of another library) can call an export.
extern EvaluatorModule theModule;
inline EvaluatorModule& TheModule() noexcept { return theModule; }

}  // namespace exprcalc
