// POSIX process plumbing for the calculator tests: fork and exec with files as
// standard streams, and a pseudo-terminal session driven line by line. A stall
// guard ends a silent child so that a hang fails the test instead of blocking it.
#include "CalculatorProcess.h"

#include <gtest/gtest.h>

#include "exprcalc.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
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

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// Where the child's standard output goes: a file to collect, /dev/full, or nowhere.
struct OutputSetting {
  std::optional<std::string> path;  // nullopt: descriptor 1 closed
};

// inputPath: the file read as standard input; nullopt: descriptor 0 closed.
Outcome RunChild(const std::vector<std::string>& arguments, const std::optional<std::string>& inputPath,
                 const OutputSetting& output, std::optional<unsigned long> memoryLimit) {
  static int runs = 0;
  const std::string stem = "run" + std::to_string(++runs);
  const std::string errorPath = ScratchDirectory() + "/" + stem + ".err";
  std::vector<std::string> command{CalculatorPath};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = ArgumentVector(command);

  const pid_t child = fork();
  if (child == 0) {
    const int in = inputPath ? open(inputPath->c_str(), O_RDONLY) : -1;
    const int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int out = output.path ? open(output.path->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600) : -1;
    if ((inputPath && in < 0) || err < 0 || (output.path && out < 0)) _exit(ExecFailed);
    if (inputPath) {
      dup2(in, STDIN_FILENO);
    } else {
      close(STDIN_FILENO);
    }
    dup2(err, STDERR_FILENO);
    if (output.path) {
      dup2(out, STDOUT_FILENO);
    } else {
      close(STDOUT_FILENO);
    }
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
  if (output.path && output.path->starts_with(ScratchDirectory())) outcome.output = ReadFile(*output.path);
  outcome.errors = ReadFile(errorPath);
  return outcome;
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
  static int inputs = 0;
  return RunCalculatorReading(WriteScratchFile("input" + std::to_string(++inputs) + ".in", input), arguments,
                              memoryLimit);
}

Outcome RunCalculatorReading(const std::optional<std::string>& inputPath, const std::vector<std::string>& arguments,
                             std::optional<unsigned long> memoryLimit) {
  static int outputs = 0;
  const OutputSetting output{ScratchDirectory() + "/output" + std::to_string(++outputs) + ".out"};
  return RunChild(arguments, inputPath, output, memoryLimit);
}

Outcome RunCalculatorInto(BrokenOutput target, const std::vector<std::string>& arguments, const std::string& input) {
  static int inputs = 0;
  const OutputSetting output{target == BrokenOutput::Full ? std::optional<std::string>("/dev/full") : std::nullopt};
  return RunChild(arguments, WriteScratchFile("broken" + std::to_string(++inputs) + ".in", input), output,
                  std::nullopt);
}

std::vector<CalculatorBuild> CalculatorBuilds() {
  std::vector<CalculatorBuild> builds;
#ifdef EXPRCALC_CLI_PLAIN_PATH
  builds.push_back({CalculatorPath, true});
  builds.push_back({EXPRCALC_CLI_PLAIN_PATH, false});
#else
  builds.push_back({CalculatorPath, false});
#endif
  return builds;
}

TerminalSession::TerminalSession(const std::string& calculatorPath, const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return;
  const char* slaveName = grantpt(master_) == 0 && unlockpt(master_) == 0 ? ptsname(master_) : nullptr;
  if (slaveName == nullptr) return;
  const std::string slavePath = slaveName;
  std::vector<std::string> command{calculatorPath};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = ArgumentVector(command);
  std::vector<std::string> settings = environment;
  const std::string stateDirectory = "XDG_STATE_HOME=" + ScratchDirectory() + "/state";

  child_ = fork();
  if (child_ == 0) {
    setsid();  // a new session, so that the terminal becomes the controlling one
    const int slave = open(slavePath.c_str(), O_RDWR);
    if (slave < 0) _exit(ExecFailed);
    dup2(slave, STDIN_FILENO);
    dup2(slave, STDOUT_FILENO);
    dup2(slave, STDERR_FILENO);
    close(master_);
    setenv("TERM", "dumb", 1);
    setenv("LC_ALL", "C.UTF-8", 1);  // a terminal that shows UTF-8, whatever the test runner's locale
    unsetenv("EXPRCALC_HISTORY");
    putenv(const_cast<char*>(stateDirectory.c_str()));  // never the history of the person running the tests
    for (std::string& setting : settings) putenv(setting.data());
    signal(SIGINT, SIG_DFL);  // as a shell starts a program, whatever the test runner does
    execv(calculatorPath.c_str(), argv.data());
    _exit(ExecFailed);
  }
}

TerminalSession::~TerminalSession() {
  if (child_ > 0) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

TerminalSession::Read TerminalSession::ReadMore() {
  for (;;) {
    pollfd waiting{master_, POLLIN, 0};
    const int ready = poll(&waiting, 1, StallGuardMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return Read::Stalled;
    char buffer[4096];
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Read::Closed;  // EIO once the child has closed the terminal
    transcript_.append(buffer, static_cast<std::size_t>(count));
    return Read::Data;
  }
}

bool TerminalSession::WaitFor(const std::string& text, std::size_t count) {
  while (CountOf(transcript_, text) < count) {
    if (!Started() || ReadMore() != Read::Data) return false;
  }
  return true;
}

bool TerminalSession::WaitForLineEditing() {
  constexpr int PauseMilliseconds = 10;
  for (int waited = 0; Started() && waited < StallGuardMilliseconds; waited += PauseMilliseconds) {
    termios settings{};
    if (tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ICANON) == 0) return true;
    poll(nullptr, 0, PauseMilliseconds);
  }
  return false;
}

bool TerminalSession::Type(const std::string& bytes) {
  return Started() && write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void TerminalSession::Signal(int number) {
  if (Started()) kill(child_, number);
}

int TerminalSession::Finish() {
  if (!Started()) return -1;
  Read read = Read::Data;
  while (read == Read::Data) read = ReadMore();
  if (read == Read::Stalled) kill(child_, SIGKILL);
  int status = 0;
  const bool reaped = waitpid(child_, &status, 0) == child_;
  child_ = -1;
  return read == Read::Closed && reaped ? ExitStatusOf(status) : -1;
}

void ExpectRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    const Outcome outcome = RunCalculator(run.arguments, run.input);
    EXPECT_EQ(outcome.output, run.output) << run.name;
    EXPECT_EQ(outcome.errors, run.errors) << run.name;
    EXPECT_EQ(outcome.exitStatus, run.exitStatus) << run.name;
  }
}

std::string Reported(const std::string& place, const std::string& message, const std::string& line,
                     const std::vector<std::string>& hints) {
  const std::size_t columnAt = place.find_last_not_of("0123456789") + 1;
  const std::size_t column = std::stoul(place.substr(columnAt));
  std::string report = "exprcalc: " + place + ": " + message + "\n  " + line + "\n  ";
  report += std::string(column - 1, ' ') + "^\n";
  for (const std::string& hint : hints) report += "  hint: " + hint + "\n";
  return report;
}

std::string Code(int code) { return exprcalc_message(code); }
std::string Stop(int stop) { return exprcalc_stop_message(stop); }
std::string NotCarriedOut(int reason) {
  return std::string("statement not carried out: ") + exprcalc_reason_message(reason);
}

}  // namespace calculatortest
