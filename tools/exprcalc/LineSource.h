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

// Drops the CR of a CRLF line end.
void DropCarriageReturn(std::string& line);

// Drops the UTF-8 byte-order mark that some editors put before the first line.
void DropByteOrderMark(std::string& firstLine);

// Reads one line and drops its LF or CRLF; false at the end of the stream.
bool ReadLineWithoutEnd(std::istream& input, std::string& line);

class StreamLines {
 public:
  // name is how errors refer to the stream ("<stdin>" or the file name).
  StreamLines(std::istream& input, std::string name);

  // The next line without its LF or CRLF (nor, on the first line, a
  // byte-order mark); false at the end of the stream.
  bool Next(std::string& line);

  // "NAME:N" for the line last returned.
  std::string Origin() const;

 private:
  std::istream& input_;
  std::string name_;
  std::size_t lineNumber_ = 0;
};

// How reading a line of the interactive session ended.
enum class Typed {
  Line,       // at a line end
  LastLine,   // at the end of input, after some text (Ctrl-D after a partial line)
  Cancelled,  // Ctrl-C broke the line off; its text is dropped
  End,        // at the end of input, with no text
};

// Lines read with read(2) from a descriptor, so that Ctrl-C (see Interrupt.h)
// can break off a line that is being typed.
class DescriptorLines {
 public:
  explicit DescriptorLines(int descriptor);

  // The next line without its LF or CRLF (nor, on the first line, a byte-order mark).
  Typed Next(std::string& line);

  // True once the end of input has been read: no line follows.
  bool AtEnd() const { return ended_ && pending_.empty(); }

 private:
  int descriptor_;
  std::string pending_;  // read but not yet returned
  bool ended_ = false;
  bool firstLine_ = true;
};

}  // namespace calculator
