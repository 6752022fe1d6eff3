// A plot drawn with text: Unicode braille cells (2 by 4 dots each) where the
// terminal reads UTF-8, one character a point otherwise; axes with labelled
// ticks, one colour per expression when the terminal shows colours, and a
// legend that says which samples were left out and why.
#pragma once

#include <string>

#include "PlotData.h"

namespace calculator {

struct TerminalLook {
  int columns = 80;
  int lines = 24;
  bool unicode = false;  // braille and box-drawing characters
  bool colour = false;   // ANSI colours
};

// The size of the terminal on standard output (80x24 when it is not one),
// UTF-8 when the locale's encoding is, colours on a terminal unless NO_COLOR
// is set to a non-empty text or TERM is empty or "dumb".
TerminalLook LookOfStandardOutput();

// The samples a plot of data takes across: the columns left beside the value
// labels, times the points per column.
std::size_t TerminalSamples(const TerminalLook& look, std::size_t labelWidth);

// The width of the value labels that data's plot needs.
std::size_t ValueLabelWidth(const TerminalLook& look, const PlotData& data);

// The plot in look.lines - 1 lines (the last one is left for the prompt).
std::string DrawTerminalPlot(const PlotData& data, const TerminalLook& look);

}  // namespace calculator
