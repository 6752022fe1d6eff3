// POSIX process plumbing for the calculator tests: fork and exec with files as
// standard streams, and a pseudo-terminal session driven line by line. A stall
// guard ends a silent child so that a hang fails the test instead of blocking it.
#include "CalculatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace calculatortest {
namespace {

constexpr const char* CalculatorPath = EXPRCALC_CLI_PATH;
constexpr int StallGuardMilliseconds = 30000;
constexpr int ExecFailed = 127;

class Scratch {
 public:
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/exprcalc-test-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

int ExitStatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

std::vector<char*> ArgumentVector(std::vector<std::string>& arguments) {
  std::vector<char*> vector;
  for (std::string& argument : arguments) vector.push_back(argument.data());
  vector.push_back(nullptr);
  return vector;
}

enum class ReadEnd { Wanted, Closed, Stalled };

// Reads from the terminal's master side into transcript until wanted holds,
// the child closes the terminal, or nothing arrives for the stall guard.
template <typename Predicate>
ReadEnd ReadUntil(int master, std::string& transcript, Predicate wanted) {
  while (!wanted(transcript)) {
    pollfd waiting{master, POLLIN, 0};
    const int ready = poll(&waiting, 1, StallGuardMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ReadEnd::Stalled;
    char buffer[4096];
    const ssize_t count = read(master, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return ReadEnd::Closed;  // EIO once the child has closed the terminal
    transcript.append(buffer, static_cast<std::size_t>(count));
  }
  return ReadEnd::Wanted;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

}  // namespace

const std::string& ScratchDirectory() {
  static const Scratch scratch;
  return scratch.Path();
}

std::string WriteScratchFile(const std::string& name, const std::string& text) {
  const std::string path = ScratchDirectory() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

Outcome RunCalculator(const std::vector<std::string>& arguments, const std::string& input,
                      std::optional<unsigned long> memoryLimit) {
  static int runs = 0;
  const std::string stem = "run" + std::to_string(++runs);
  const std::string inputPath = WriteScratchFile(stem + ".in", input);
  const std::string outputPath = ScratchDirectory() + "/" + stem + ".out";
  const std::string errorPath = ScratchDirectory() + "/" + stem + ".err";
  std::vector<std::string> command{CalculatorPath};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = ArgumentVector(command);

  const pid_t child = fork();
  if (child == 0) {
    const int in = open(inputPath.c_str(), O_RDONLY);
    const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(ExecFailed);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (memoryLimit) {
      const rlimit limit{*memoryLimit, *memoryLimit};
      setrlimit(RLIMIT_AS, &limit);
    }
    execv(CalculatorPath, argv.data());
    _exit(ExecFailed);
  }
  Outcome outcome;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child) outcome.exitStatus = ExitStatusOf(status);
  outcome.output = ReadFile(outputPath);
  outcome.errors = ReadFile(errorPath);
  return outcome;
}

std::optional<Outcome> RunOnTerminal(const std::vector<std::string>& typedLines, const std::string& prompt) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return std::nullopt;
  const char* slaveName = grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : nullptr;
  if (slaveName == nullptr) {
    close(master);
    return std::nullopt;
  }
  const std::string slavePath = slaveName;
  std::vector<std::string> command{CalculatorPath};
  std::vector<char*> argv = ArgumentVector(command);

  const pid_t child = fork();
  if (child == 0) {
    setsid();  // a new session, so that the terminal becomes the controlling one
    const int slave = open(slavePath.c_str(), O_RDWR);
    if (slave < 0) _exit(ExecFailed);
    dup2(slave, STDIN_FILENO);
    dup2(slave, STDOUT_FILENO);
    dup2(slave, STDERR_FILENO);
    close(master);
    setenv("TERM", "dumb", 1);
    execv(CalculatorPath, argv.data());
    _exit(ExecFailed);
  }
  Outcome outcome;
  bool responsive = child > 0;
  std::size_t promptsWanted = 1;
  for (const std::string& line : typedLines) {
    if (!responsive) break;
    const auto promptShown = [&](const std::string& text) { return CountOf(text, prompt) >= promptsWanted; };
    responsive = ReadUntil(master, outcome.output, promptShown) == ReadEnd::Wanted;
    const std::string typed = line + "\n";
    if (responsive) responsive = write(master, typed.data(), typed.size()) == static_cast<ssize_t>(typed.size());
    ++promptsWanted;
  }
  if (responsive) {  // read what follows the last line, until the child closes the terminal
    responsive = ReadUntil(master, outcome.output, [](const std::string&) { return false; }) == ReadEnd::Closed;
  }
  if (!responsive && child > 0) kill(child, SIGKILL);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && responsive) outcome.exitStatus = ExitStatusOf(status);
  close(master);
  return outcome;
}

}  // namespace calculatortest
