// A write interrupted by a signal (Ctrl-C in the session) is carried on, not
// taken for a failure; any other failure ends the writing for good.
#include "Output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace calculator {

DescriptorOutput::DescriptorOutput(int descriptor) : descriptor_(descriptor) {
  setp(buffer_, buffer_ + Capacity);
}

bool DescriptorOutput::WritePending() {
  const char* next = pbase();
  while (error_ == 0 && next < pptr()) {
    const ssize_t written = write(descriptor_, next, static_cast<std::size_t>(pptr() - next));
    if (written > 0) {
      next += written;
    } else if (written < 0 && errno != EINTR) {
      error_ = errno;
    } else if (written == 0) {
      error_ = EIO;  // a write that takes nothing would loop for ever
    }
  }
  setp(buffer_, buffer_ + Capacity);
  return error_ == 0;
}

DescriptorOutput::int_type DescriptorOutput::overflow(int_type c) {
  if (!WritePending()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize DescriptorOutput::xsputn(const char* text, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    if (pptr() == epptr() && !WritePending()) break;
    const std::streamsize room = epptr() - pptr();
    const std::streamsize part = count - done < room ? count - done : room;
    std::memcpy(pptr(), text + done, static_cast<std::size_t>(part));
    pbump(static_cast<int>(part));
    done += part;
  }
  return done;
}

int DescriptorOutput::sync() { return WritePending() ? 0 : -1; }

std::string WriteErrorLine(int error) { return std::string("exprcalc: write error: ") + std::strerror(error); }

}  // namespace calculator
