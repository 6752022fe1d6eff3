// Runs the calculator as a child process for the end-to-end tests: with a
// given standard input (a file, so never a terminal) or on a pseudo-terminal,
// collecting its output, its error lines and its exit status.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// An address-space limit cannot be combined with AddressSanitizer's shadow memory.
#if defined(__SANITIZE_ADDRESS__)
#define EXPRCALC_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EXPRCALC_UNDER_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef EXPRCALC_UNDER_ADDRESS_SANITIZER
#define EXPRCALC_UNDER_ADDRESS_SANITIZER 0
#endif
#define SKIP_UNDER_ADDRESS_SANITIZER()                                                             \
  do {                                                                                            \
    if (EXPRCALC_UNDER_ADDRESS_SANITIZER)                                                      \
      GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";           \
  } while (false)

namespace calculatortest {

struct Outcome {
  int exitStatus = -1;  // the exit code, or -1 when the process did not exit normally
  std::string output;
  std::string errors;
};

// One run of the calculator with what it must print and return.
struct Run {
  const char* name;
  std::vector<std::string> arguments;
  std::string input;
  std::string output;  // expected standard output, exactly
  std::string errors;  // expected standard error, exactly
  int exitStatus;
};

// Runs each and compares output, errors and exit status, naming the run on a mismatch.
void ExpectRuns(const std::vector<Run>& runs);

// What the calculator reports about a line that it shows as it is:
// "exprcalc: PLACE: MESSAGE", the line, a caret under the column that ends
// place, then the hints.
std::string Reported(const std::string& place, const std::string& message, const std::string& line,
                     const std::vector<std::string>& hints = {});

// The hint under a name that is neither built in nor stored.
inline const std::string BuiltInNamesHint =
    "the built-in names are SIN, COS, TAN, ASIN, ACOS, ATAN, SQR, SQRT, ABS, DEG, RAD, LOG, LOG10, EXP and PAI; "
    "variables begin with @";

// The library's words for a result code, a stop and a statement's reason.
std::string Code(int code);
std::string Stop(int stop);
std::string NotCarriedOut(int reason);

// A directory of its own for the files of one test program, removed at exit.
const std::string& ScratchDirectory();

// Writes text to a file in the scratch directory and returns its path.
std::string WriteScratchFile(const std::string& name, const std::string& text);

// Runs the calculator with arguments and input as its standard input.
// memoryLimit, when given, caps the child's address space in bytes.
Outcome RunCalculator(const std::vector<std::string>& arguments, const std::string& input = "",
                      std::optional<unsigned long> memoryLimit = std::nullopt);

// As RunCalculator, with the file at inputPath as standard input, or none
// at all (descriptor 0 closed) for nullopt.
Outcome RunCalculatorReading(const std::optional<std::string>& inputPath, const std::vector<std::string>& arguments,
                             std::optional<unsigned long> memoryLimit = std::nullopt);

// Where standard output goes when it is not collected.
enum class BrokenOutput {
  Full,    // /dev/full: every write fails with ENOSPC
  Closed,  // no descriptor 1 at all
};

// As RunCalculator, with a standard output that cannot be written (output
// stays empty).
Outcome RunCalculatorInto(BrokenOutput target, const std::vector<std::string>& arguments,
                          const std::string& input = "");

// A calculator build that the terminal tests drive: the calculator itself,
// and the same calculator with the plain line reader when the first edits
// lines through libedit, so that both readers are tried.
struct CalculatorBuild {
  std::string path;
  bool editsLines;  // libedit, rather than the plain reader
};
std::vector<CalculatorBuild> CalculatorBuilds();

// The calculator on a new pseudo-terminal of its own, with TERM=dumb, a UTF-8
// locale and its history kept in the scratch directory unless environment
// ("NAME=VALUE" each) says otherwise.
class TerminalSession {
 public:
  explicit TerminalSession(const std::string& calculatorPath, const std::vector<std::string>& arguments = {},
                           const std::vector<std::string>& environment = {});
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // False when this machine offers no pseudo-terminal.
  bool Started() const { return child_ > 0; }

  // Reads what the terminal shows until it holds text count times; false when
  // the child closes the terminal first or shows nothing for a long while.
  bool WaitFor(const std::string& text, std::size_t count = 1);

  // Waits until the calculator has taken the terminal out of line mode, as a
  // line editor does while it reads a line: keys typed before that are taken
  // by the terminal's own line discipline. False when it does not happen.
  bool WaitForLineEditing();

  // Types bytes at the terminal, control characters included ("\x03" is Ctrl-C).
  bool Type(const std::string& bytes);

  // Sends a signal to the calculator.
  void Signal(int number);

  // Reads until the child closes the terminal and returns its exit status:
  // -1 when it was ended by a signal or had to be killed as stalled.
  int Finish();

  const std::string& Transcript() const { return transcript_; }

 private:
  enum class Read { Data, Closed, Stalled };
  Read ReadMore();

  int master_ = -1;
  pid_t child_ = -1;
  std::string transcript_;
};

}  // namespace calculatortest
