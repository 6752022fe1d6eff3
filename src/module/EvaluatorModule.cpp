// The static module object and the operations it forwards to the subsystems.
#include "module/EvaluatorModule.h"

#include "expr/Evaluate.h"
#include "statements/Substitute.h"

namespace exprcalc {
namespace {
constinit EvaluatorModule module;
}  // namespace

EvaluatorModule& TheModule() noexcept { return module; }

int EvaluatorModule::Evaluate(std::string_view expression, double& result) const noexcept {
  return exprcalc::Evaluate(expression, table_, result);
}

int EvaluatorModule::Substitute(std::string_view statement) noexcept {
  return exprcalc::Substitute(statement, table_);
}

}  // namespace exprcalc
