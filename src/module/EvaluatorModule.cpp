// The static module object.
#include "module/EvaluatorModule.h"

namespace exprcalc {
namespace {
constinit EvaluatorModule module;
}  // namespace

EvaluatorModule& TheModule() noexcept { return module; }

}  // namespace exprcalc
