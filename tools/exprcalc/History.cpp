// The file is written with O_APPEND a line at a time, so that sessions running
// side by side do not overwrite each other's lines; it is cut back to its last
// lines, through a new file renamed over it, when a session ends with more.
// It is created readable by its owner only: lines may hold private numbers.
#include "History.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace calculator {
namespace {

constexpr mode_t PrivateFile = 0600;

std::optional<std::filesystem::path> AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value != '/') return std::nullopt;  // a relative base is ignored, as it should be
  return std::filesystem::path(value);
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream input(file, std::ios::binary);
  for (std::string line; std::getline(input, line);) lines.push_back(line);
  return lines;
}

bool WriteAll(int descriptor, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> HistoryFile() {
  if (const char* chosen = std::getenv("EXPRCALC_HISTORY")) {
    if (*chosen == '\0') return std::nullopt;
    return std::filesystem::path(chosen);
  }
  if (auto state = AbsoluteFromEnvironment("XDG_STATE_HOME")) return *state / "exprcalc" / "history";
  if (auto home = AbsoluteFromEnvironment("HOME")) return *home / ".local" / "state" / "exprcalc" / "history";
  return std::nullopt;
}

History::History(std::optional<std::filesystem::path> file, std::ostream& problems)
    : file_(std::move(file)), problems_(problems) {
  if (!file_) return;
  earlier_ = ReadLines(*file_);
  lines_ = earlier_.size();
  if (earlier_.size() > MostHistoryLines) {
    earlier_.erase(earlier_.begin(), earlier_.end() - static_cast<std::ptrdiff_t>(MostHistoryLines));
  }
}

History::~History() {
  if (file_ && lines_ > MostHistoryLines) Trim();
}

void History::Add(const std::string& line) {
  if (!file_ || reported_ || line.find('\n') != std::string::npos) return;
  std::error_code error;
  if (file_->has_parent_path()) std::filesystem::create_directories(file_->parent_path(), error);
  const int descriptor = open(file_->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, PrivateFile);
  const bool written = descriptor >= 0 && WriteAll(descriptor, line + '\n');
  const int reason = errno;
  if (descriptor >= 0) close(descriptor);
  if (written) {
    ++lines_;
    return;
  }
  reported_ = true;
  problems_ << "exprcalc: history not kept: cannot write '" << file_->string() << "': " << std::strerror(reason)
            << std::endl;
}

void History::Trim() {
  std::vector<std::string> lines = ReadLines(*file_);
  if (lines.size() <= MostHistoryLines) return;
  std::string kept;
  for (std::size_t i = lines.size() - MostHistoryLines; i < lines.size(); ++i) kept += lines[i] + '\n';
  std::filesystem::path temporary = *file_;
  temporary += ".new";
  const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, PrivateFile);
  if (descriptor < 0) return;
  const bool written = WriteAll(descriptor, kept);
  close(descriptor);
  std::error_code ignored;
  if (written) {
    std::filesystem::rename(temporary, *file_, ignored);
  } else {
    std::filesystem::remove(temporary, ignored);
  }
}

}  // namespace calculator
