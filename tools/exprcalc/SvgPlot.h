// A plot as a standalone SVG picture: a title, a framed plot area with a grid
// at the ticks, labelled axes, the zero lines, a polyline per expression
// (broken where samples are not drawn) and a legend below.
#pragma once

#include <string>

#include "PlotData.h"

namespace calculator {

// The samples across the plot area: one per unit of its width, both edges included.
std::size_t SvgSamples();

// The picture under title ("SIN(@X) for @X from 0 to 2*PAI").
std::string DrawSvgPlot(const PlotData& data, const std::string& title);

}  // namespace calculator
