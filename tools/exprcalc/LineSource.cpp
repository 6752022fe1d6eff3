// Reads lines with read(2), a chunk at a time; a CR before
// the LF is dropped so that files written with CRLF line ends read like any
// other, and so is a byte-order mark at the very start.
#include "LineSource.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
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

std::size_t FirstNonBlank(std::string_view text) { return text.size() - TrimLeft(text).size(); }

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

DescriptorLines::DescriptorLines(int descriptor, bool interruptible)
    : descriptor_(descriptor), interruptible_(interruptible) {}

Typed DescriptorLines::Next(std::string& line) {
  line.clear();
  Typed typed = Typed::End;
  for (;;) {
    const std::size_t end = pending_.find('\n', std::max(begin_, searched_));
    if (end != std::string::npos) {
      line.assign(pending_, begin_, end - begin_);
      begin_ = end + 1;
      typed = Typed::Line;
      break;
    }
    searched_ = pending_.size();
    if (ended_) {
      // A line cut short by a failed read is not run: it is not what was written.
      if (error_ == 0) line.assign(pending_, begin_);
      Forget();
      typed = line.empty() ? Typed::End : Typed::LastLine;
      break;
    }
    if (interruptible_ && WaitForInput(descriptor_) == Waited::Interrupted) {
      // Drop the line: what was read of it, and what a terminal still holds
      // (it drops that itself on Ctrl-C, but not on a SIGINT sent otherwise).
      Forget();
      tcflush(descriptor_, TCIFLUSH);
      return Typed::Cancelled;
    }
    // The lines returned go before more is read, so that pending_ holds about one chunk and one line.
    pending_.erase(0, begin_);
    searched_ -= begin_;
    begin_ = 0;
    char chunk[ReadChunk];
    const ssize_t count = read(descriptor_, chunk, sizeof chunk);
    if (count > 0) {
      pending_.append(chunk, static_cast<std::size_t>(count));
    } else if (count == 0) {
      ended_ = true;
    } else if (errno != EINTR) {
      ended_ = true;
      error_ = errno;
    }
  }
  if (firstLine_ && typed != Typed::End) {
    DropByteOrderMark(line);
    firstLine_ = false;
  }
  DropCarriageReturn(line);
  return typed;
}

void DescriptorLines::Forget() {
  pending_.clear();
  begin_ = 0;
  searched_ = 0;
}

StreamLines::StreamLines(int descriptor, std::string name)
    : lines_(descriptor, false), name_(std::move(name)) {}

bool StreamLines::Next(std::string& line) {
  if (lines_.Next(line) == Typed::End) return false;
  ++lineNumber_;
  return true;
}

LineOrigin StreamLines::Origin() const { return {name_, lineNumber_}; }

}  // namespace calculator
