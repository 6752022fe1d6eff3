// Reads lines with std::getline, or with read(2) for the session; a CR before
// the LF is dropped so that files written with CRLF line ends read like any
// other, and so is a byte-order mark at the very start.
#include "LineSource.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "Interrupt.h"

namespace calculator {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t ReadChunk = 4096;

}  // namespace

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

void DropCarriageReturn(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

void DropByteOrderMark(std::string& firstLine) {
  if (std::string_view(firstLine).starts_with(ByteOrderMark)) firstLine.erase(0, ByteOrderMark.size());
}

bool ReadLineWithoutEnd(std::istream& input, std::string& line) {
  if (!std::getline(input, line)) return false;
  DropCarriageReturn(line);
  return true;
}

StreamLines::StreamLines(std::istream& input, std::string name) : input_(input), name_(std::move(name)) {}

bool StreamLines::Next(std::string& line) {
  if (!ReadLineWithoutEnd(input_, line)) return false;
  if (++lineNumber_ == 1) DropByteOrderMark(line);
  return true;
}

std::string StreamLines::Origin() const { return name_ + ":" + std::to_string(lineNumber_); }

DescriptorLines::DescriptorLines(int descriptor) : descriptor_(descriptor) {}

Typed DescriptorLines::Next(std::string& line) {
  line.clear();
  Typed typed = Typed::End;
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      typed = Typed::Line;
      break;
    }
    if (ended_) {
      line = std::move(pending_);
      pending_.clear();
      typed = line.empty() ? Typed::End : Typed::LastLine;
      break;
    }
    if (WaitForInput(descriptor_) == Waited::Interrupted) {
      // Drop the line: what was read of it, and what a terminal still holds
      // (it drops that itself on Ctrl-C, but not on a SIGINT sent otherwise).
      pending_.clear();
      tcflush(descriptor_, TCIFLUSH);
      return Typed::Cancelled;
    }
    char chunk[ReadChunk];
    const ssize_t count = read(descriptor_, chunk, sizeof chunk);
    if (count > 0) {
      pending_.append(chunk, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      ended_ = true;  // the end of input, or an error that ends it just the same
    }
  }
  if (firstLine_ && typed != Typed::End) {
    DropByteOrderMark(line);
    firstLine_ = false;
  }
  DropCarriageReturn(line);
  return typed;
}

}  // namespace calculator
