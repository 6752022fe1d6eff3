// Lines of input from a stream (standard input or a file), one at a time, with
// their line numbers, and the rule that skips blank lines and # comments.
#pragma once

#include <istream>
#include <string>
#include <string_view>

namespace calculator {

// Blank, tab, LF, VT, FF and CR: the white space of the library's names and statements.
bool IsWhiteSpace(char c);
std::string_view TrimLeft(std::string_view text);

// A blank line, or one whose first non-blank character is "#".
bool IsSkipped(std::string_view line);

// Reads one line and drops its LF or CRLF; false at the end of the stream.
bool ReadLineWithoutEnd(std::istream& input, std::string& line);

class StreamLines {
 public:
  // name is how errors refer to the stream ("<stdin>" or the file name).
  StreamLines(std::istream& input, std::string name);

  // The next line without its LF or CRLF; false at the end of the stream.
  bool Next(std::string& line);

  // "NAME:N" for the line last returned.
  std::string Origin() const;

 private:
  std::istream& input_;
  std::string name_;
  std::size_t lineNumber_ = 0;
};

}  // namespace calculator
