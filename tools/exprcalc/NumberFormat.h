// How the calculator writes a value: the shortest decimal form that reads back
// to the same double, or degrees:minutes:seconds in the notation that
// expressions read (1:30:36).
#pragma once

#include <string>

namespace calculator {

// The shortest digits that read back to the same double (std::to_chars),
// without an exponent from 1e-6 up to 1e21 (1,000,000 prints as 1000000),
// with one outside (1e+300); "nan", "inf" or "-inf".
std::string FormatNumber(double value);

// D:MM:SS with whole minutes and seconds below 60 and a leading "-" when the
// sign bit is set. A fraction of a second, which the notation cannot hold, is
// carried as a decimal fraction of the degrees field: 1.5101 gives 1.0001:30:36.
// The text is chosen so that the expression reader gives back the value, or
// its nearest neighbour where the reader's digit-by-digit sums round apart.
std::string FormatDms(double value);

}  // namespace calculator
