// The file is written with O_APPEND a line at a time, so that sessions running
// side by side do not overwrite each other's lines; it is cut back to its last
// lines, through a new file made beside it and renamed over it, when a
// session ends with more. Lines may hold private numbers, and the file's
// place may be chosen in a folder others can write: the file is never
// reached through a link, must be a regular file of its user that no one
// else can read, and only its tail is read, whatever its size.
#include "History.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace calculator {
namespace {

constexpr mode_t PrivateFile = 0600;
constexpr mode_t PrivateFolder = 0700;
constexpr mode_t SharedBits = S_IRWXG | S_IRWXO;
// The most of the file's end that is read: the lines kept, at a generous
// length each. Longer lines make fewer of them kept, never a longer read.
constexpr off_t MostTailBytes = static_cast<off_t>(MostHistoryLines) * 1024;
constexpr const char* TemporarySuffix = ".XXXXXX";

std::optional<std::filesystem::path> AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value != '/') return std::nullopt;  // a relative base is ignored, as it should be
  return std::filesystem::path(value);
}

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return descriptor_; }

 private:
  int descriptor_;
};

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

bool IsNullDevice(const struct stat& status) {
  struct stat null {};
  return S_ISCHR(status.st_mode) && stat("/dev/null", &null) == 0 && null.st_rdev == status.st_rdev;
}

// Why a file opened as the history is not used; "" when it may be.
std::string Unfit(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_uid != geteuid()) return "it belongs to another user";
  if ((status.st_mode & SharedBits) != 0) {
    return "others can read or write it (chmod 600 makes it private)";
  }
  return "";
}

// Opens the history without following a link and without waiting on a
// device or pipe; the reason in words where it cannot be used (none for a
// file that does not exist yet, or for /dev/null, which turns it off).
int OpenChecked(const std::filesystem::path& file, int flags, std::string& reason, bool& turnedOff) {
  const int descriptor = open(file.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, PrivateFile);
  if (descriptor < 0) {
    if (errno != ENOENT) reason = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
    return -1;
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0) {
    reason = std::strerror(errno);
  } else if (IsNullDevice(status)) {
    turnedOff = true;
  } else {
    reason = Unfit(status);
    if (reason.empty()) return descriptor;
  }
  close(descriptor);
  return -1;
}

// The whole lines of the file's last MostTailBytes; more is true when the
// file holds more than that (its first line read may be the end of a longer one).
std::vector<std::string> ReadTail(int descriptor, bool& more) {
  std::vector<std::string> lines;
  struct stat status {};
  if (fstat(descriptor, &status) != 0) return lines;
  const off_t start = std::max<off_t>(0, status.st_size - MostTailBytes);
  more = start > 0;
  std::string tail(static_cast<std::size_t>(status.st_size - start), '\0');
  std::size_t got = 0;
  while (got < tail.size()) {
    const ssize_t read = pread(descriptor, tail.data() + got, tail.size() - got, start + static_cast<off_t>(got));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) break;
    got += static_cast<std::size_t>(read);
  }
  tail.resize(got);
  std::size_t begin = 0;
  if (more) begin = tail.find('\n') == std::string::npos ? tail.size() : tail.find('\n') + 1;
  while (begin < tail.size()) {
    std::size_t end = tail.find('\n', begin);
    if (end == std::string::npos) end = tail.size();
    lines.push_back(tail.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// The folders above the file, made private where they are made.
void MakeFolders(const std::filesystem::path& folder) {
  if (folder.empty() || std::filesystem::exists(folder)) return;
  if (folder.has_parent_path() && folder.parent_path() != folder) MakeFolders(folder.parent_path());
  mkdir(folder.c_str(), PrivateFolder);
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
  std::string reason;
  bool turnedOff = false;
  const Descriptor descriptor(OpenChecked(*file_, O_RDONLY, reason, turnedOff));
  if (turnedOff) file_.reset();
  if (!reason.empty()) Refuse(reason);
  if (descriptor.Get() < 0) return;  // a history not yet written is made by the first line
  bool more = false;
  earlier_ = ReadTail(descriptor.Get(), more);
  lines_ = earlier_.size();
  if (more) lines_ = MostHistoryLines + 1;  // the file is longer than what was read: cut it back at the end
  if (earlier_.size() > MostHistoryLines) {
    earlier_.erase(earlier_.begin(), earlier_.end() - static_cast<std::ptrdiff_t>(MostHistoryLines));
  }
}

History::~History() {
  if (file_ && lines_ > MostHistoryLines) Trim();
}

void History::Refuse(const std::string& reason) {
  problems_ << "exprcalc: history not kept in '" << file_->string() << "': " << reason << std::endl;
  file_.reset();
}

void History::Add(const std::string& line) {
  if (!file_ || line.find('\n') != std::string::npos) return;
  if (file_->has_parent_path()) MakeFolders(file_->parent_path());
  std::string reason;
  bool turnedOff = false;
  const Descriptor descriptor(OpenChecked(*file_, O_WRONLY | O_APPEND | O_CREAT, reason, turnedOff));
  if (turnedOff) {
    file_.reset();
    return;
  }
  if (descriptor.Get() >= 0 && WriteAll(descriptor.Get(), line + '\n')) {
    ++lines_;
    return;
  }
  Refuse(descriptor.Get() >= 0 ? std::strerror(errno) : reason.empty() ? std::strerror(errno) : reason);
}

// The kept lines go to a new file that only this session can have made
// (mkstemp, owner-only), which then takes the history's name: a link or
// file planted under any other name is never written.
void History::Trim() {
  std::string reason;
  bool turnedOff = false;
  bool more = false;
  std::vector<std::string> lines;
  {
    const Descriptor descriptor(OpenChecked(*file_, O_RDONLY, reason, turnedOff));
    if (descriptor.Get() < 0) return;
    lines = ReadTail(descriptor.Get(), more);
  }
  if (lines.size() <= MostHistoryLines && !more) return;
  std::string kept;
  for (std::size_t i = lines.size() - std::min(lines.size(), MostHistoryLines); i < lines.size(); ++i) {
    kept += lines[i] + '\n';
  }
  std::string temporary = file_->string() + TemporarySuffix;
  const Descriptor descriptor(mkostemp(temporary.data(), O_CLOEXEC));
  if (descriptor.Get() < 0) return;
  if (fchmod(descriptor.Get(), PrivateFile) == 0 && WriteAll(descriptor.Get(), kept) &&
      rename(temporary.c_str(), file_->c_str()) == 0) {
    return;
  }
  unlink(temporary.c_str());
}

}  // namespace calculator
