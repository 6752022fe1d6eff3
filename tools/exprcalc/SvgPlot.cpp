// Coordinates are written with std::to_chars, never through the locale. Text
// from the command line is shown as the error lines show it (so invalid UTF-8
// cannot make the file unreadable) and escaped for XML.
#include "SvgPlot.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "NumberFormat.h"
#include "ShownText.h"

namespace calculator {
namespace {

constexpr double Width = 800;
constexpr double Left = 80;
constexpr double Right = 780;
constexpr double Top = 50;
constexpr double Bottom = 420;
constexpr double LegendTop = 460;
constexpr double LegendLineHeight = 22;
constexpr double LegendSampleWidth = 30;
constexpr double PictureMargin = 16;
constexpr int MostValueTicks = 8;
constexpr int MostXTicks = 10;
constexpr std::size_t MostTitleBytes = 120;
constexpr const char* SeriesColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf"};
constexpr std::size_t Palette = std::size(SeriesColours);

std::string Coordinate(double value) {
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

double XAt(const Axis& direction, double x) { return Left + direction.Fraction(x) * (Right - Left); }
double YAt(const Axis& values, double y) { return Bottom - values.Fraction(y) * (Bottom - Top); }

// One polyline per run of drawn samples; a run of one sample is a dot.
std::string SeriesPaths(const PlotData& data, std::size_t s, const Axis& direction, const Axis& values) {
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
    points += Coordinate(XAt(direction, data.xs[i])) + "," + Coordinate(YAt(values, series.values[i])) + " ";
    ++count;
  }
  flush();
  return svg;
}

}  // namespace

std::size_t SvgSamples() { return static_cast<std::size_t>(Right - Left) + 1; }

std::string DrawSvgPlot(const PlotData& data, const std::string& title) {
  const Axis values = ValueAxis(data, MostValueTicks);
  const double from = data.xs.front();
  const double to = data.xs.back();
  const Axis xTicks = RoundAxis(std::min(from, to), std::max(from, to), MostXTicks, false);
  const Axis direction{from, to, {}};
  const double height = LegendTop + LegendLineHeight * static_cast<double>(data.series.size()) + PictureMargin;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    Coordinate(Width) + "\" height=\"" + Coordinate(height) + "\" viewBox=\"0 0 " + Coordinate(Width) +
                    " " + Coordinate(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + Escaped(Shown(title)) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += Text(Width / 2, Top / 2 + 6, "middle", ShownShort(title, MostTitleBytes), " font-size=\"16\"");
  for (const double tick : values.ticks) {
    const double y = YAt(values, tick);
    svg += Line(Left, y, Right, y, "stroke=\"#dddddd\"");
    svg += Text(Left - 6, y + 4, "end", FormatNumber(tick));
  }
  for (const double tick : xTicks.ticks) {
    const double x = XAt(direction, tick);
    svg += Line(x, Top, x, Bottom, "stroke=\"#dddddd\"");
    svg += Text(x, Bottom + 18, "middle", FormatNumber(tick));
  }
  if (values.low < 0 && values.high > 0) svg += Line(Left, YAt(values, 0), Right, YAt(values, 0), "stroke=\"#000000\"");
  if (std::min(from, to) < 0 && std::max(from, to) > 0) {
    svg += Line(XAt(direction, 0), Top, XAt(direction, 0), Bottom, "stroke=\"#000000\"");
  }
  svg += "<rect x=\"" + Coordinate(Left) + "\" y=\"" + Coordinate(Top) + "\" width=\"" + Coordinate(Right - Left) +
         "\" height=\"" + Coordinate(Bottom - Top) + "\" fill=\"none\" stroke=\"#444444\"/>\n";
  svg += Text((Left + Right) / 2, Bottom + 38, "middle", data.name);
  for (std::size_t s = 0; s < data.series.size(); ++s) svg += SeriesPaths(data, s, direction, values);
  for (std::size_t s = 0; s < data.series.size(); ++s) {
    const double y = LegendTop + LegendLineHeight * static_cast<double>(s);
    const std::string stroke = std::string("stroke=\"") + SeriesColours[s % Palette] + "\" stroke-width=\"2\"";
    svg += Line(Left, y, Left + LegendSampleWidth, y, stroke.c_str());
    const std::string& label = data.series[s].label;
    const std::string note = GapNote(data.series[s]);
    svg += Text(Left + LegendSampleWidth + 8, y + 4, "start", note.empty() ? label : label + "  (" + note + ")");
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace calculator
