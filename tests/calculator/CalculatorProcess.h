// Runs the calculator as a child process for the end-to-end tests: with a
// given standard input (a file, so never a terminal) or on a pseudo-terminal,
// collecting its output, its error lines and its exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace calculatortest {

struct Outcome {
  int exitStatus = -1;  // the exit code, or -1 when the process did not exit normally
  std::string output;
  std::string errors;
};

// A directory of its own for the files of one test program, removed at exit.
const std::string& ScratchDirectory();

// Writes text to a file in the scratch directory and returns its path.
std::string WriteScratchFile(const std::string& name, const std::string& text);

// Runs the calculator with arguments and input as its standard input.
// memoryLimit, when given, caps the child's address space in bytes.
Outcome RunCalculator(const std::vector<std::string>& arguments, const std::string& input = "",
                      std::optional<unsigned long> memoryLimit = std::nullopt);

// Runs the calculator without arguments on a pseudo-terminal: waits for the
// prompt before typing each line. nullopt when this machine offers no
// pseudo-terminal. output holds everything the terminal showed.
std::optional<Outcome> RunOnTerminal(const std::vector<std::string>& typedLines, const std::string& prompt);

}  // namespace calculatortest
