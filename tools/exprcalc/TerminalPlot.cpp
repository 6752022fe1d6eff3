// The plot is laid out in cells; each sample is one dot column, and a dot is
// drawn from the previous sample's height to its own, so that a steep curve
// stays one line. A cell takes the colour of the last expression that drew in
// it. Gaps (failed rows) break the line.
#include "TerminalPlot.h"

#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ShownText.h"

namespace calculator {
namespace {

constexpr int LinesBelowPlot = 2;  // the horizontal axis and its labels
constexpr int PromptLines = 1;
constexpr int FewestPlotLines = 4;
constexpr int FewestPlotColumns = 10;
constexpr int LinesPerValueTick = 3;
constexpr int ColumnsPerXTick = 12;
constexpr std::size_t MostLegendLabelBytes = 50;
constexpr std::size_t LegendIndent = 4;  // two blanks and the two-column mark
constexpr std::size_t FewestLegendBytes = 8;
constexpr char32_t BrailleBlank = 0x2800;
// The braille dot of each position in a cell, by column then by line.
constexpr unsigned char BrailleDots[2][4] = {{0x01, 0x02, 0x04, 0x40}, {0x08, 0x10, 0x20, 0x80}};
constexpr const char* SeriesColours[] = {"\x1b[34m", "\x1b[31m", "\x1b[32m", "\x1b[35m", "\x1b[33m", "\x1b[36m"};
constexpr const char* ColourReset = "\x1b[0m";
constexpr char AsciiMarks[] = {'*', '+', 'o', 'x', '#', '%'};
constexpr std::size_t Palette = sizeof AsciiMarks;

struct Layout {
  int plotLines;
  int plotColumns;
  int dotsAcross;
  int dotsDown;
  std::size_t labelWidth;
  Axis values;
};

// Each expression's line: its mark, its label and, on the same line where
// there is room or else on the next, why samples were not drawn.
struct LegendLine {
  int series;  // -1 for a line that continues the one before
  std::string text;
};

std::vector<LegendLine> LegendOf(const PlotData& data, const TerminalLook& look);

int PlotLines(const TerminalLook& look, const PlotData& data) {
  const std::size_t lines = LegendOf(data, look).size();
  const int legend = static_cast<int>(std::min<std::size_t>(lines, static_cast<std::size_t>(look.lines)));
  return std::max(FewestPlotLines, look.lines - PromptLines - LinesBelowPlot - legend);
}

int PlotColumns(const TerminalLook& look, std::size_t labelWidth) {
  const int taken = static_cast<int>(std::min<std::size_t>(labelWidth, static_cast<std::size_t>(look.columns))) + 2;
  return std::max(FewestPlotColumns, look.columns - taken);
}

Axis ValueAxisFor(const TerminalLook& look, const PlotData& data) {
  return ValueAxis(data, std::max(2, PlotLines(look, data) / LinesPerValueTick));
}

Layout LayoutOf(const TerminalLook& look, const PlotData& data) {
  Layout layout{PlotLines(look, data), 0, look.unicode ? 2 : 1, look.unicode ? 4 : 1,
                ValueLabelWidth(look, data), ValueAxisFor(look, data)};
  layout.plotColumns = PlotColumns(look, layout.labelWidth);
  return layout;
}

void AppendCodePoint(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A dot position from 0 (top or left) to dots - 1 for a fraction of an axis;
// a fraction that is not a number (which no drawn value gives) is the middle.
int DotAt(double fraction, int dots) {
  if (std::isnan(fraction)) fraction = 0.5;
  const double position = std::round(std::clamp(fraction, 0.0, 1.0) * (dots - 1));
  return std::clamp(static_cast<int>(position), 0, dots - 1);
}

struct Cell {
  unsigned char dots = 0;
  int series = -1;
};

class Canvas {
 public:
  explicit Canvas(const Layout& layout)
      : layout_(layout), cells_(static_cast<std::size_t>(layout.plotLines * layout.plotColumns)) {}

  void Dot(int x, int y, int series) {
    const int line = y / layout_.dotsDown;
    Cell& cell = cells_[static_cast<std::size_t>(line * layout_.plotColumns + x / layout_.dotsAcross)];
    if (layout_.dotsAcross == 2) cell.dots |= BrailleDots[x % 2][y % 4];
    cell.series = series;
  }

  const Cell& At(int line, int column) const {
    return cells_[static_cast<std::size_t>(line * layout_.plotColumns + column)];
  }

 private:
  const Layout& layout_;
  std::vector<Cell> cells_;
};

void DrawSeries(Canvas& canvas, const Layout& layout, const PlotSeries& series, int index) {
  const int across = layout.plotColumns * layout.dotsAcross;
  const int down = layout.plotLines * layout.dotsDown;
  int previous = -1;
  for (int x = 0; x < across && static_cast<std::size_t>(x) < series.values.size(); ++x) {
    const std::size_t i = static_cast<std::size_t>(x);
    if (!Drawn(series, i)) {
      previous = -1;
      continue;
    }
    const int y = DotAt(1 - layout.values.Fraction(series.values[i]), down);
    const int from = previous < 0 ? y : previous;
    for (int dot = std::min(from, y); dot <= std::max(from, y); ++dot) canvas.Dot(x, dot, index);
    previous = y;
  }
}

void AppendCell(std::string& text, const Cell& cell, const TerminalLook& look, int& colour) {
  if (look.colour && cell.series != colour) {
    text += cell.series < 0 ? ColourReset : SeriesColours[static_cast<std::size_t>(cell.series) % Palette];
    colour = cell.series;
  }
  if (cell.series < 0) {
    text += ' ';
  } else if (look.unicode) {
    AppendCodePoint(text, BrailleBlank + cell.dots);
  } else {
    text += AsciiMarks[static_cast<std::size_t>(cell.series) % Palette];
  }
}

// The label of each plot line that holds a value tick.
std::vector<std::string> ValueLabels(const Layout& layout) {
  std::vector<std::string> labels(static_cast<std::size_t>(layout.plotLines));
  const int down = layout.plotLines * layout.dotsDown;
  for (const double tick : layout.values.ticks) {
    const int line = DotAt(1 - layout.values.Fraction(tick), down) / layout.dotsDown;
    std::string& label = labels[static_cast<std::size_t>(line)];
    if (label.empty()) label = TickLabel(layout.values, tick);
  }
  return labels;
}

// The horizontal axis line and the line of its labels, each label centred
// under its tick where it does not run into the one before.
void AppendHorizontalAxis(std::string& text, const Layout& layout, const PlotData& data, bool unicode) {
  const double from = data.xs.front();
  const double to = data.xs.back();
  Axis axis = RoundAxis(std::min(from, to), std::max(from, to), std::max(2, layout.plotColumns / ColumnsPerXTick),
                        false);
  if (from > to) std::reverse(axis.ticks.begin(), axis.ticks.end());  // labels are placed from the left
  const Axis direction{from, to, {}};
  const int across = layout.plotColumns * layout.dotsAcross;
  std::string line(static_cast<std::size_t>(layout.plotColumns), '-');
  std::vector<bool> ticked(static_cast<std::size_t>(layout.plotColumns), false);
  const std::size_t labelsWidth = layout.labelWidth + 1 + static_cast<std::size_t>(layout.plotColumns);
  std::string labels(labelsWidth, ' ');
  std::size_t free = 0;
  for (const double tick : axis.ticks) {
    const int column = DotAt(direction.Fraction(tick), across) / layout.dotsAcross;
    ticked[static_cast<std::size_t>(column)] = true;
    const std::string label = TickLabel(axis, tick);
    const std::size_t centre = layout.labelWidth + 1 + static_cast<std::size_t>(column);
    std::size_t start = centre >= label.size() / 2 ? centre - label.size() / 2 : 0;
    if (start + label.size() > labelsWidth) start = labelsWidth >= label.size() ? labelsWidth - label.size() : 0;
    if (start < free || start + label.size() > labelsWidth) continue;
    labels.replace(start, label.size(), label);
    free = start + label.size() + 1;
  }
  text.append(layout.labelWidth, ' ');
  text += unicode ? "\u2514" : "+";
  for (std::size_t c = 0; c < line.size(); ++c) {
    if (unicode) {
      text += ticked[c] ? "\u252C" : "\u2500";
    } else {
      text += ticked[c] ? '+' : '-';
    }
  }
  text += '\n';
  while (!labels.empty() && labels.back() == ' ') labels.pop_back();
  text += labels + '\n';
}

std::vector<LegendLine> LegendOf(const PlotData& data, const TerminalLook& look) {
  // Lines are cut with "..." to the terminal's width, however narrow it is.
  const std::size_t width = std::max<std::size_t>(static_cast<std::size_t>(std::max(look.columns, 0)),
                                                  LegendIndent + FewestLegendBytes + 4);
  const std::size_t labelBytes = std::min(MostLegendLabelBytes, width - LegendIndent - 4);
  std::vector<LegendLine> legend;
  for (std::size_t s = 0; s < data.series.size(); ++s) {
    std::string text = ' ' + ShownShort(data.series[s].label, labelBytes);
    const std::string note = "(" + GapNote(data.series[s]) + ")";
    const bool noted = note.size() > 2;
    if (noted && LegendIndent + text.size() + 2 + note.size() <= width) {
      text += "  " + note;
    }
    legend.push_back({static_cast<int>(s), text});
    if (noted && text.find(note) == std::string::npos) {
      legend.push_back({-1, std::string(LegendIndent + 1, ' ') + ShownShort(note, width - LegendIndent - 4)});
    }
  }
  return legend;
}

void AppendLegend(std::string& text, const std::vector<LegendLine>& legend, const TerminalLook& look) {
  for (const LegendLine& line : legend) {
    if (line.series >= 0) {
      const std::size_t s = static_cast<std::size_t>(line.series);
      text += "  ";
      if (look.colour) text += SeriesColours[s % Palette];
      text += look.unicode ? "\u2501\u2501" : std::string(2, AsciiMarks[s % Palette]);
      if (look.colour) text += ColourReset;
    }
    text += line.text + '\n';
  }
}

}  // namespace

TerminalLook LookOfStandardOutput() {
  TerminalLook look;
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  winsize size{};
  if (terminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    look.columns = size.ws_col;
    look.lines = size.ws_row;
  }
  std::setlocale(LC_CTYPE, "");
  look.unicode = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  const char* noColour = std::getenv("NO_COLOR");
  const char* terminalName = std::getenv("TERM");
  look.colour = terminal && (noColour == nullptr || *noColour == '\0') && terminalName != nullptr &&
                *terminalName != '\0' && std::strcmp(terminalName, "dumb") != 0;
  return look;
}

std::size_t TerminalSamples(const TerminalLook& look, std::size_t labelWidth) {
  return static_cast<std::size_t>(PlotColumns(look, labelWidth)) * (look.unicode ? 2 : 1);
}

std::size_t ValueLabelWidth(const TerminalLook& look, const PlotData& data) {
  std::size_t width = 1;
  const Axis axis = ValueAxisFor(look, data);
  for (const double tick : axis.ticks) width = std::max(width, TickLabel(axis, tick).size());
  return width;
}

std::string DrawTerminalPlot(const PlotData& data, const TerminalLook& look) {
  const Layout layout = LayoutOf(look, data);
  Canvas canvas(layout);
  for (std::size_t s = 0; s < data.series.size(); ++s) DrawSeries(canvas, layout, data.series[s], static_cast<int>(s));
  const std::vector<std::string> labels = ValueLabels(layout);
  std::string text;
  for (int line = 0; line < layout.plotLines; ++line) {
    const std::string& label = labels[static_cast<std::size_t>(line)];
    text.append(layout.labelWidth - std::min(layout.labelWidth, label.size()), ' ').append(label);
    if (look.unicode) {
      text += label.empty() ? "\u2502" : "\u2524";
    } else {
      text += label.empty() ? '|' : '+';
    }
    int colour = -1;
    for (int column = 0; column < layout.plotColumns; ++column) AppendCell(text, canvas.At(line, column), look, colour);
    if (colour >= 0) text += ColourReset;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += '\n';
  }
  AppendHorizontalAxis(text, layout, data, look.unicode);
  AppendLegend(text, LegendOf(data, look), look);
  return text;
}

}  // namespace calculator
