// The static module object.
#include "module/EvaluatorModule.h"

namespace exprcalc {

constinit EvaluatorModule theModule;

}  // namespace exprcalc
