// Emptying a table of n variables one removal at a time, always the first
// variable: by name in the order they were stored, and by index 0.
#pragma once

namespace exprcalc::bench {

// Registers Removal/InOrderByName and Removal/FrontByIndex at 10 and 20,000 variables.
void RegisterRemovalBenchmarks();

}  // namespace exprcalc::bench
