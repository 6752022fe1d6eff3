// Reads lines with std::getline; a CR before the LF is dropped so that files
// written with CRLF line ends read like any other.
#include "LineSource.h"

#include <utility>

namespace calculator {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimLeft(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsWhiteSpace(text[first])) ++first;
  return text.substr(first);
}

bool IsSkipped(std::string_view line) {
  const std::string_view rest = TrimLeft(line);
  return rest.empty() || rest.front() == '#';
}

bool ReadLineWithoutEnd(std::istream& input, std::string& line) {
  if (!std::getline(input, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

StreamLines::StreamLines(std::istream& input, std::string name) : input_(input), name_(std::move(name)) {}

bool StreamLines::Next(std::string& line) {
  if (!ReadLineWithoutEnd(input_, line)) return false;
  ++lineNumber_;
  return true;
}

std::string StreamLines::Origin() const { return name_ + ":" + std::to_string(lineNumber_); }

}  // namespace calculator
