// Coordinates are written with std::to_chars, never through the locale. Text
// from the command line is shown as the error lines show it (so invalid UTF-8
// cannot make the file unreadable) and escaped for XML.
#include "SvgPlot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "ShownText.h"

namespace calculator {
namespace {

constexpr double Width = 800;
constexpr double FewestLeft = 80;
constexpr double Right = 780;
constexpr double Top = 50;
constexpr double Bottom = 420;
constexpr double XLabelsBaseline = Bottom + 18;
constexpr double AxisTitleBaseline = Bottom + 38;
constexpr double LegendTop = Bottom + 66;  // clear of the axis title
constexpr double LegendLineHeight = 22;
constexpr double LegendSampleWidth = 30;
constexpr double LegendTextLeft = FewestLeft + LegendSampleWidth + 8;
constexpr double PictureMargin = 16;
constexpr double LabelGap = 6;
constexpr int MostValueTicks = 8;
constexpr int MostXTicks = 10;
constexpr double FontSize = 12;
constexpr double TitleFontSize = 16;
constexpr const char* Ellipsis = "...";  // ends a text cut short
// The largest coordinate written: far outside the picture, and a number any reader takes.
constexpr double MostCoordinate = 1e6;
constexpr const char* SeriesColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf"};
constexpr std::size_t Palette = std::size(SeriesColours);

// Never "nan" or "inf": a coordinate that is not a number is 0, and one
// beyond the picture is held a long way outside it.
std::string Coordinate(double value) {
  if (std::isnan(value)) value = 0;
  value = std::clamp(value, -MostCoordinate, MostCoordinate);
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return written.ec == std::errc() ? std::string(buffer, written.ptr) : "0";
}

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string Text(double x, double y, const char* anchor, const std::string& text, const char* extra = "") {
  return "<text x=\"" + Coordinate(x) + "\" y=\"" + Coordinate(y) + "\" text-anchor=\"" + anchor + "\"" + extra +
         ">" + Escaped(Shown(text)) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const char* style) {
  return "<line x1=\"" + Coordinate(x1) + "\" y1=\"" + Coordinate(y1) + "\" x2=\"" + Coordinate(x2) + "\" y2=\"" +
         Coordinate(y2) + "\" shape-rendering=\"crispEdges\" " + style + "/>\n";
}

struct Frame {
  double left;  // wide enough for the longest value label
  Axis direction;
  Axis values;
  double XAt(double x) const { return left + direction.Fraction(x) * (Right - left); }
  double YAt(double y) const { return Bottom - values.Fraction(y) * (Bottom - Top); }
};

// The width of a character of sans-serif text in ems, reckoned at the wide
// end of the common fonts, so that a text measured by it stays inside the
// picture whichever font the viewer has. lead is the character's first byte.
double CharacterEms(unsigned char lead) {
  if ((lead & 0xC0) == 0x80) return 0;  // the rest of a character already counted
  if (lead >= 0x80) return 1.0;         // a character beyond ASCII, whatever it is
  if (std::string_view("@WMmw%").find(static_cast<char>(lead)) != std::string_view::npos) return 1.0;
  if (std::string_view("+=<>^~#&").find(static_cast<char>(lead)) != std::string_view::npos) return 0.84;
  if (lead >= 'A' && lead <= 'Z') return 0.78;
  if ((lead >= '0' && lead <= '9') || (lead >= 'a' && lead <= 'z') || lead == '*' || lead == '_' || lead == '?') {
    return 0.64;
  }
  return 0.45;  // blanks and the narrow punctuation
}

double TextWidth(std::string_view shown, double fontSize) {
  double ems = 0;
  for (const char c : shown) ems += CharacterEms(static_cast<unsigned char>(c));
  return ems * fontSize;
}

// text as shown, cut after the last whole character that leaves room for
// "..." where it is wider than width.
std::string Fitted(std::string_view text, double width, double fontSize) {
  const std::string shown = Shown(text);
  if (TextWidth(shown, fontSize) <= width) return shown;
  const double room = width - TextWidth(Ellipsis, fontSize);
  double used = 0;
  std::size_t end = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(shown[i]);
    if ((c & 0xC0) != 0x80) {
      end = i;  // a character begins here: the text may be cut before it
      used += CharacterEms(c) * fontSize;
      if (used > room) break;
    }
    end = i + 1;
  }
  while (end > 0 && end < shown.size() && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
  return shown.substr(0, end) + Ellipsis;
}

double LabelWidth(const std::string& label) { return TextWidth(label, FontSize); }

// The value labels right of the picture's edge, beside their ticks.
std::string ValueTicks(const Frame& frame) {
  std::string svg;
  for (const double tick : frame.values.ticks) {
    const double y = frame.YAt(tick);
    svg += Line(frame.left, y, Right, y, "stroke=\"#dddddd\"");
    svg += Text(frame.left - LabelGap, y + 4, "end", TickLabel(frame.values, tick));
  }
  return svg;
}

// Each label centred under its tick, moved inside the picture at its edges,
// and left out where it would run into the one before.
std::string XTicks(const Frame& frame, const Axis& ticks) {
  std::string svg;
  double free = 0;
  std::vector<double> order = ticks.ticks;
  std::sort(order.begin(), order.end(), [&](double a, double b) { return frame.XAt(a) < frame.XAt(b); });
  for (const double tick : order) {
    const double x = frame.XAt(tick);
    svg += Line(x, Top, x, Bottom, "stroke=\"#dddddd\"");
    const std::string label = TickLabel(ticks, tick);
    const double width = LabelWidth(label);
    const double centre = std::clamp(x, PictureMargin + width / 2, Width - PictureMargin - width / 2);
    if (centre - width / 2 < free) continue;
    svg += Text(centre, XLabelsBaseline, "middle", label);
    free = centre + width / 2 + LabelGap;
  }
  return svg;
}

// Each expression's legend: its label and, where they fit on one line, why
// samples were not drawn; else that on a line of its own. Each line is cut
// with "..." to the picture's width.
std::vector<std::pair<std::size_t, std::string>> LegendLines(const PlotData& data) {
  constexpr double room = Width - PictureMargin - LegendTextLeft;
  std::vector<std::pair<std::size_t, std::string>> lines;
  for (std::size_t s = 0; s < data.series.size(); ++s) {
    const std::string& label = data.series[s].label;
    const std::string note = GapNote(data.series[s]);
    const std::string oneLine = Shown(label) + "  (" + note + ")";
    if (!note.empty() && TextWidth(oneLine, FontSize) <= room) {
      lines.emplace_back(s, oneLine);
      continue;
    }
    lines.emplace_back(s, Fitted(label, room, FontSize));
    if (!note.empty()) lines.emplace_back(data.series.size(), Fitted("(" + note + ")", room, FontSize));
  }
  return lines;
}

// One polyline per run of drawn samples; a run of one sample is a dot.
std::string SeriesPaths(const PlotData& data, std::size_t s, const Frame& frame) {
  const PlotSeries& series = data.series[s];
  const std::string colour = SeriesColours[s % Palette];
  std::string svg;
  std::string points;
  std::size_t count = 0;
  const auto flush = [&] {
    if (count == 1) {
      const std::size_t space = points.find(',');
      const std::string y = points.substr(space + 1, points.size() - space - 2);
      svg += "<circle cx=\"" + points.substr(0, space) + "\" cy=\"" + y + "\" r=\"1.5\" fill=\"" + colour + "\"/>\n";
    } else if (count > 1) {
      points.pop_back();
      svg += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"2\" points=\"" + points + "\"/>\n";
    }
    points.clear();
    count = 0;
  };
  for (std::size_t i = 0; i < series.values.size(); ++i) {
    if (!Drawn(series, i)) {
      flush();
      continue;
    }
    points += Coordinate(frame.XAt(data.xs[i])) + "," + Coordinate(frame.YAt(series.values[i])) + " ";
    ++count;
  }
  flush();
  return svg;
}

}  // namespace

std::size_t SvgSamples() { return static_cast<std::size_t>(Right - FewestLeft) + 1; }

std::string DrawSvgPlot(const PlotData& data, const std::string& title) {
  const double from = data.xs.front();
  const double to = data.xs.back();
  Frame frame{FewestLeft, Axis{from, to, {}, 0}, ValueAxis(data, MostValueTicks)};
  for (const double tick : frame.values.ticks) {
    frame.left = std::max(frame.left, PictureMargin + LabelGap + LabelWidth(TickLabel(frame.values, tick)));
  }
  const Axis xTicks = RoundAxis(std::min(from, to), std::max(from, to), MostXTicks, false);
  const auto legend = LegendLines(data);
  const double height = LegendTop + LegendLineHeight * static_cast<double>(legend.size()) + PictureMargin;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    Coordinate(Width) + "\" height=\"" + Coordinate(height) + "\" viewBox=\"0 0 " + Coordinate(Width) +
                    " " + Coordinate(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + Escaped(Shown(title)) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += Text(Width / 2, Top / 2 + 6, "middle", Fitted(title, Width - 2 * PictureMargin, TitleFontSize),
              " font-size=\"16\"");
  svg += ValueTicks(frame);
  svg += XTicks(frame, xTicks);
  const Axis& values = frame.values;
  if (values.low < 0 && values.high > 0) svg += Line(frame.left, frame.YAt(0), Right, frame.YAt(0), "stroke=\"#000000\"");
  if (std::min(from, to) < 0 && std::max(from, to) > 0) {
    svg += Line(frame.XAt(0), Top, frame.XAt(0), Bottom, "stroke=\"#000000\"");
  }
  svg += "<rect x=\"" + Coordinate(frame.left) + "\" y=\"" + Coordinate(Top) + "\" width=\"" +
         Coordinate(Right - frame.left) + "\" height=\"" + Coordinate(Bottom - Top) +
         "\" fill=\"none\" stroke=\"#444444\"/>\n";
  svg += Text((frame.left + Right) / 2, AxisTitleBaseline, "middle",
              Fitted(data.name, Right - frame.left, FontSize));
  for (std::size_t s = 0; s < data.series.size(); ++s) svg += SeriesPaths(data, s, frame);
  for (std::size_t line = 0; line < legend.size(); ++line) {
    const auto& [s, text] = legend[line];
    const double y = LegendTop + LegendLineHeight * static_cast<double>(line);
    if (s < data.series.size()) {
      const std::string stroke = std::string("stroke=\"") + SeriesColours[s % Palette] + "\" stroke-width=\"2\"";
      svg += Line(FewestLeft, y, FewestLeft + LegendSampleWidth, y, stroke.c_str());
    }
    svg += Text(LegendTextLeft, y + 4, "start", text);
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace calculator
