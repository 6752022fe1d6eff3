// Name operations against tables of 10, 1,000 and 10,000 variables.
#pragma once

namespace exprcalc::bench {

// Registers Lookup/LookupVarDouble, Lookup/EnterVarDouble (replacing) and
// Lookup/ThreeVariables (ParseString of an expression reading three of them).
void RegisterLookupBenchmarks();

}  // namespace exprcalc::bench
