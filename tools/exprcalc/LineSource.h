// Lines of input from a descriptor (standard input or a file), one at a time,
// with their line numbers, and the rule that skips blank lines and # comments.
#pragma once

#include <string>
#include <string_view>

namespace calculator {

// Blank, tab, LF, VT, FF and CR: the white space of the library's names and statements.
bool IsWhiteSpace(char c);
std::string_view TrimLeft(std::string_view text);
std::size_t FirstNonBlank(std::string_view text);  // the text's length when it is all white space

// A blank line, or one whose first non-blank character is "#".
bool IsSkipped(std::string_view line);

// Drops the CR of a CRLF line end.
void DropCarriageReturn(std::string& line);

// Drops the UTF-8 byte-order mark that some editors put before the first line.
void DropByteOrderMark(std::string& firstLine);

// Where a line came from, as messages name it.
struct LineOrigin {
  std::string name;             // "argument 2", a file name or "<stdin>"; empty in the session
  std::size_t lineNumber = 0;   // in a file or standard input; 0 for an argument and the session
};

// How reading a line of the interactive session ended.
enum class Typed {
  Line,       // at a line end
  LastLine,   // at the end of input, after some text (Ctrl-D after a partial line)
  Cancelled,  // Ctrl-C broke the line off; its text is dropped
  End,        // at the end of input, with no text
};

// Lines read with read(2) from a descriptor. A read that fails ends the input
// like its end, and Error() says why. When interruptible, each read first
// waits through WaitForInput (Interrupt.h), so that Ctrl-C can break off a
// line that is being typed.
class DescriptorLines {
 public:
  explicit DescriptorLines(int descriptor, bool interruptible = true);

  // The next line without its LF or CRLF (nor, on the first line, a byte-order mark).
  Typed Next(std::string& line);

  // True once the end of input has been read: no line follows.
  bool AtEnd() const { return ended_ && begin_ == pending_.size(); }

  // The errno of the read that failed, 0 when the input ended normally (or has not ended).
  int Error() const { return error_; }

 private:
  void Forget();  // drops what was read and not returned

  int descriptor_;
  bool interruptible_;
  std::string pending_;       // read; returned up to begin_
  std::size_t begin_ = 0;
  std::size_t searched_ = 0;  // pending_ holds no LF from begin_ up to here
  bool ended_ = false;
  int error_ = 0;
  bool firstLine_ = true;
};

// The lines of a file or standard input, with the numbers that messages give them.
class StreamLines {
 public:
  // name is how errors refer to the stream ("<stdin>" or the file name).
  StreamLines(int descriptor, std::string name);

  // The next line without its LF or CRLF (nor, on the first line, a
  // byte-order mark); false at the end of the stream or when a read failed.
  // The text after the last LF is a line, unless reading failed before its end.
  bool Next(std::string& line);

  // The errno of a read that failed (the stream's lines stopped there), else 0.
  int Error() const { return lines_.Error(); }

  // The stream's name and the number of the line last returned.
  LineOrigin Origin() const;

 private:
  DescriptorLines lines_;
  std::string name_;
  std::size_t lineNumber_ = 0;
};

}  // namespace calculator
