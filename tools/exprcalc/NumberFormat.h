// How the calculator writes a value: in plain decimal notation that reads back
// to the same double, or as degrees:minutes:seconds in the notation that
// expressions read (1:30:36).
#pragma once

#include <string>

namespace calculator {

// The shortest digits that read back to the same double (std::to_chars), in
// plain notation (1e-7 prints 0.0000001, 1e21 prints 1000000000000000000000.0).
// From 2^53 on, where the expression reader sums the digits of an integer one
// by one and rounds on the way, the text takes a decimal point, which makes
// the reader convert the numeral as a whole: 2^60 prints 1152921504606847000.0.
// Not-a-number and infinities, which no expression can write, print as "nan",
// "inf" and "-inf".
std::string FormatNumber(double value);

// D:MM:SS with whole minutes and seconds below 60 and a leading "-" when the
// sign bit is set. A fraction of a second, which the notation cannot hold, is
// carried as a decimal fraction of the degrees field: 1.5101 gives 1.0001:30:36.
// The text reads back to the value, or to its nearest neighbour where the
// notation cannot come closer; from 2^53 degrees on, where no such text
// exists, the value is written as FormatNumber writes it.
std::string FormatDms(double value);

}  // namespace calculator
