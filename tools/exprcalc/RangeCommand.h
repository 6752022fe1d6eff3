// --table and --plot: the range's arguments evaluated and reported on as
// every other line is, the variable set up for the run, then the table or
// the plot, and the variable as it was before.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "LineRunner.h"

namespace calculator {

// Returns the exit status: 0 when every row had a value (a plot: when it was
// drawn), 1 when an argument or a row failed or the picture was not written.
int RunRange(const Options& options, std::ostream& output, std::ostream& errors);

}  // namespace calculator
