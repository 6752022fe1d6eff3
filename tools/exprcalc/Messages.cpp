// Reports are formatted as compilers format theirs, so that editors and
// people read them the same way: the place first, then the line and a caret.
#include "Messages.h"

#include "ShownText.h"

namespace calculator {
namespace {

constexpr std::string_view Indent = "  ";
constexpr std::size_t MaxEchoedTextBytes = 60;

}  // namespace

std::string Place(const LineOrigin& origin, std::size_t column) {
  const std::string columnText = std::to_string(column);
  if (origin.lineNumber != 0) return Shown(origin.name) + ":" + std::to_string(origin.lineNumber) + ":" + columnText;
  if (!origin.name.empty()) return Shown(origin.name) + ", column " + columnText;
  return "column " + columnText;
}

std::string FormatReport(const LineOrigin& origin, std::string_view line, const Report& report) {
  const Excerpt excerpt = ExcerptAt(line, report.at);
  std::string text = "exprcalc: " + Place(origin, report.at + 1) + ": ";
  if (report.kind == Report::Kind::Warning) text += "warning: ";
  text.append(report.message).append("\n");
  text.append(Indent).append(excerpt.text).append("\n");
  text.append(Indent).append(excerpt.caretColumn, ' ').append("^\n");
  for (const std::string& hint : report.hints) text.append(Indent).append("hint: ").append(hint).append("\n");
  return text;
}

std::string ErrorLine(std::string_view text, std::string_view message) {
  std::string line = "exprcalc: ";
  line.append(ShownShort(text, MaxEchoedTextBytes)).append(": ").append(message);
  return line;
}

}  // namespace calculator
