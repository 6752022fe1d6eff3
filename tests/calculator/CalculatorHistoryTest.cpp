// The session's history across sessions: lines typed at a terminal reach the
// file (bounded, never off a terminal or when EXPRCALC_HISTORY is empty), and
// up-arrow in the next session recalls the last one where the reader edits
// lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CalculatorProcess.h"

namespace calculatortest {
namespace {

constexpr std::size_t MostLines = 1000;

std::vector<std::string> LinesOf(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// Types lines at a new session and ends it with :quit.
std::string TypeSession(const std::string& calculator, const std::vector<std::string>& environment,
                        const std::vector<std::string>& typed) {
  TerminalSession session(calculator, {}, environment);
  if (!session.Started()) return "no terminal";
  std::size_t prompts = 0;
  for (const std::string& keys : typed) {
    if (!session.WaitFor("exprcalc> ", ++prompts) || !session.Type(keys)) return session.Transcript();
  }
  if (!session.WaitFor("exprcalc> ", ++prompts) || !session.Type(":quit\n")) return session.Transcript();
  EXPECT_EQ(session.Finish(), 0) << session.Transcript();
  return session.Transcript();
}

TEST(CalculatorHistory, KeepsTheLastLinesTypedAndRecallsThemInTheNextSession) {
  int runs = 0;
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    const std::string state = ScratchDirectory() + "/state" + std::to_string(++runs);
    const std::string file = state + "/exprcalc/history";
    std::filesystem::create_directories(state + "/exprcalc");
    {
      std::ofstream earlier(file);
      for (std::size_t i = 0; i < MostLines + 4; ++i) earlier << i << '\n';
    }
    const std::vector<std::string> environment{"XDG_STATE_HOME=" + state};
    const std::string first = TypeSession(build.path, environment, {"6*7\n", "  \n"});
    if (first == "no terminal") GTEST_SKIP() << "no pseudo-terminal on this machine";
    const std::vector<std::string> lines = LinesOf(file);
    ASSERT_EQ(lines.size(), MostLines) << build.path;
    EXPECT_EQ(lines.front(), "6") << build.path;
    EXPECT_EQ(lines[MostLines - 2], "6*7") << build.path << ": a blank line is not kept";
    EXPECT_EQ(lines.back(), ":quit") << build.path;
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    if (!build.editsLines) continue;  // the plain reader cannot recall a line
    const std::string second = TypeSession(build.path, environment, {"\x1b[A\x1b[A\n"});
    EXPECT_NE(second.find("\r\n42\r\n"), std::string::npos) << build.path << ": 6*7 not recalled:\n" << second;
  }
}

TEST(CalculatorHistory, IsNotKeptOffATerminalNorWhenTurnedOff) {
  const std::string state = ScratchDirectory() + "/state-off";
  const std::vector<std::string> turnedOff{"XDG_STATE_HOME=" + state, "EXPRCALC_HISTORY="};
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    if (TypeSession(build.path, turnedOff, {"1+1\n"}) == "no terminal") GTEST_SKIP() << "no pseudo-terminal";
  }
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  const Outcome piped = RunCalculator({"-i"}, "2+2\n");
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(piped.output, "4\n");
  EXPECT_FALSE(std::filesystem::exists(state)) << "a history written off a terminal or when turned off";

  const std::string chosen = ScratchDirectory() + "/chosen-history";
  std::filesystem::remove(chosen);  // left by an earlier run of the test
  TypeSession(CalculatorBuilds().front().path, {"EXPRCALC_HISTORY=" + chosen}, {"3+3\n"});
  EXPECT_EQ(LinesOf(chosen), (std::vector<std::string>{"3+3", ":quit"}));
}

}  // namespace
}  // namespace calculatortest
