// The session's history across sessions: lines typed at a terminal reach the
// file (bounded, never off a terminal or when EXPRCALC_HISTORY is empty), and
// up-arrow in the next session recalls the last one where the reader edits
// lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
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
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
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

// What sits where the history goes, and what the session must make of it:
// the prompt at once, a warning naming why no history is kept, and nothing
// written through a link or to another file.
TEST(CalculatorHistory, RefusesLinksDevicesAndFilesOthersCanRead) {
  const std::string folder = ScratchDirectory() + "/planted";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string victim = folder + "/victim";
  const std::string victimText = "precious\n";
  struct Planted {
    std::string name;
    std::string history;  // EXPRCALC_HISTORY
    std::string warning;  // "" for none
  };
  const auto plant = [&](const std::string& name, const std::function<void(const std::string&)>& make) {
    const std::string path = folder + "/" + name;
    make(path);
    return path;
  };
  const auto writeVictim = [&] { std::ofstream(victim) << victimText; };
  writeVictim();
  const std::vector<Planted> rows{
      {"a link to a file", plant("link", [&](const std::string& p) { std::filesystem::create_symlink(victim, p); }),
       "it is a symbolic link"},
      {"a link to nowhere",
       plant("dangling", [&](const std::string& p) { std::filesystem::create_symlink(folder + "/none", p); }),
       "it is a symbolic link"},
      {"an endless device", "/dev/zero", "it is not a regular file"},
      {"a full device", "/dev/full", "it is not a regular file"},
      {"the null device", "/dev/null", ""},
      {"a folder", plant("folder", [&](const std::string& p) { std::filesystem::create_directory(p); }),
       "it is not a regular file"},
      {"a file others can read", plant("shared", [&](const std::string& p) {
         std::ofstream(p) << "1+1\n";
         std::filesystem::permissions(p, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                             std::filesystem::perms::others_read);
       }),
       "others can read or write it (chmod 600 makes it private)"},
  };
  for (const Planted& row : rows) {
    const std::string transcript = TypeSession(CalculatorBuilds().front().path, {"EXPRCALC_HISTORY=" + row.history},
                                               {"6*7\n"});
    if (transcript == "no terminal") GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_NE(transcript.find("42"), std::string::npos) << row.name << ":\n" << transcript;
    const std::string warning = "exprcalc: history not kept in '" + row.history + "': " + row.warning;
    EXPECT_EQ(transcript.find(warning) != std::string::npos, !row.warning.empty()) << row.name << ":\n" << transcript;
    EXPECT_EQ(LinesOf(victim), std::vector<std::string>{"precious"}) << row.name;
  }
  EXPECT_EQ(LinesOf(folder + "/shared"), std::vector<std::string>{"1+1"});
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/link"));
}

// A history longer than it keeps is cut back through a new file of its own:
// a link planted under any name beside it is never written through.
TEST(CalculatorHistory, TrimsWithoutWritingThroughLinksBesideIt) {
  const std::string folder = ScratchDirectory() + "/trimmed";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string history = folder + "/history";
  const std::string victim = folder + "/victim";
  std::ofstream(victim) << "precious\n";
  for (const char* planted : {"/history.new", "/history.tmp", "/history~"}) {
    std::filesystem::create_symlink(victim, folder + planted);
  }
  {
    std::ofstream earlier(history);
    for (std::size_t i = 0; i < MostLines + 50; ++i) earlier << i << '\n';
  }
  std::filesystem::permissions(history, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  if (TypeSession(CalculatorBuilds().front().path, {"EXPRCALC_HISTORY=" + history}, {"6*7\n"}) == "no terminal") {
    GTEST_SKIP() << "no pseudo-terminal on this machine";
  }
  EXPECT_EQ(LinesOf(victim), std::vector<std::string>{"precious"});
  EXPECT_FALSE(std::filesystem::is_symlink(history));
  const std::vector<std::string> lines = LinesOf(history);
  ASSERT_EQ(lines.size(), MostLines);
  EXPECT_EQ(lines.back(), ":quit");
  EXPECT_EQ(std::filesystem::status(history).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 5u) << "a temporary file left behind";
}

// Only the tail that is kept is read: a history of 2 GB (sparse, so cheap to
// make) starts in an address space far smaller, its last line is recalled,
// and the file is cut back to the lines kept.
TEST(CalculatorHistory, ReadsOnlyTheTailOfAHugeFile) {
  SKIP_UNDER_ADDRESS_SANITIZER();
  const std::string history = ScratchDirectory() + "/huge-history";
  std::filesystem::remove(history);
  {
    std::ofstream file(history);
    file << "first\n";
  }
  std::filesystem::resize_file(history, std::uintmax_t{2} << 30);
  {
    std::ofstream file(history, std::ios::app);
    file << "\n6*7\n";
  }
  std::filesystem::permissions(history, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    TerminalSession session("/bin/sh", {"-c", "ulimit -v 200000 && exec '" + build.path + "'"},
                            {"EXPRCALC_HISTORY=" + history});
    if (!session.Started()) GTEST_SKIP() << "no pseudo-terminal on this machine";
    ASSERT_TRUE(session.WaitFor("exprcalc> ")) << session.Transcript();
    ASSERT_TRUE(session.Type(build.editsLines ? "\x1b[A\n" : "6*7\n"));  // the plain reader cannot recall
    ASSERT_TRUE(session.WaitFor("exprcalc> ", 2)) << session.Transcript();
    ASSERT_TRUE(session.Type(":quit\n"));
    EXPECT_EQ(session.Finish(), 0) << session.Transcript();
    EXPECT_NE(session.Transcript().find("\r\n42\r\n"), std::string::npos) << session.Transcript();
  }
  EXPECT_LT(std::filesystem::file_size(history), 1u << 20) << "cut back to the lines kept";
}

}  // namespace
}  // namespace calculatortest
