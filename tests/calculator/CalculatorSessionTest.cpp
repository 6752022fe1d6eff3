// The interactive session: its commands through -i on a pipe, where the
// transcript is exact, and on a pseudo-terminal, where the prompt, line
// editing, Ctrl-C and Ctrl-D are live and only the answers are looked for.
// The terminal tests run every line reader the build has.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "CalculatorProcess.h"
#include "exprcalc.h"

namespace calculatortest {
namespace {

const std::string Prompt = "exprcalc> ";

struct SessionRun {
  const char* name;
  std::string typed;
  std::string output;
  std::string errors;
};

TEST(CalculatorSession, AnswersCommandsAndGoesOnAfterErrors) {
  const std::vector<SessionRun> runs{
      {"variables listed from their records",
       "@B = 2\n@LONGER = \"hi there\n:vars\n", "0  @B       number  2\n1  @LONGER  text    \"hi there\"\n", ""},
      {"clear empties the table", "@B = 2\n:clear\n:vars\n@B\n", "(no variables)\n",
       Reported("column 1", Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE), "@B")},
      {"errors do not end the session, nor fail it", "1/0\n3\n:nope\n4\n", "3\n4\n",
       Reported("column 2", Code(EXPRCALC_DIVISION_BY_ZERO), "1/0") +
           "exprcalc: :nope: unknown command (:help lists them)\n"},
      {"quit ends the session", "5\n:quit\n6\n", "5\n", ""},
      {"and so does q", "5\n:q\n6\n", "5\n", ""},
      {"a colon and a digit is a number", ":30\n  :vars  \n", "0.5\n(no variables)\n", ""},
      {"comments and blank lines are skipped", "# note\n\n2\n", "2\n", ""},
      {"a byte-order mark before the first line", "\xEF\xBB\xBF@A = 4\n@A+1\n", "5\n", ""},
      {"a last line without a line end", "1\n1+1", "1\n2\n", ""},
      {"commands in any case", "@B = 2\n:VARS\n:Quit\n3\n", "0  @B  number  2\n", ""},
      {"show prints one variable, a text as stored", "@N = \"a b\x1b\n@B = 2\n:show @n\n:SHOW  @B \n:show @C\n:show\n",
       "a b\\x1B\n2\n",
       "exprcalc: @C: " + Stop(EXPRCALC_STOP_UNKNOWN_VARIABLE) +
           "\nexprcalc: :show: name the variable to show: :show @NAME\n"},
      {"quit and exit without the colon", "quit\nexit\n",  "",
       Reported("column 1", Stop(EXPRCALC_STOP_UNKNOWN_NAME), "quit", {":quit ends the session", BuiltInNamesHint}) +
           Reported("column 1", Stop(EXPRCALC_STOP_UNKNOWN_NAME), "exit", {":quit ends the session", BuiltInNamesHint})},
      {"indexes aligned past 9",
       "@A = 0\n@B = 1\n@C = 2\n@D = 3\n@E = 4\n@F = 5\n@G = 6\n@H = 7\n@I = 8\n@J = 9\n@K = 10\n:vars\n",
       " 0  @A  number  0\n 1  @B  number  1\n 2  @C  number  2\n 3  @D  number  3\n 4  @E  number  4\n"
       " 5  @F  number  5\n 6  @G  number  6\n 7  @H  number  7\n 8  @I  number  8\n 9  @J  number  9\n"
       "10  @K  number  10\n",
       ""},
  };
  for (const SessionRun& run : runs) {
    const Outcome outcome = RunCalculator({"-i"}, run.typed);
    EXPECT_EQ(outcome.output, run.output) << run.name;
    EXPECT_EQ(outcome.errors, run.errors) << run.name;
    EXPECT_EQ(outcome.exitStatus, 0) << run.name;
  }
  const Outcome dms = RunCalculator({"-i", "--dms"}, "@A = 1.51\n:vars\n");
  EXPECT_EQ(dms.output, "0  @A  number  1:30:36\n");
  const Outcome help = RunCalculator({"-i"}, ":help\n");
  for (const std::string command : {":vars ", ":show ", ":clear ", ":help ", ":quit,", ":q "}) {
    EXPECT_NE(help.output.find(command), std::string::npos) << command << " not in:\n" << help.output;
  }
}

TEST(CalculatorSession, RunsOnATerminal) {
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    TerminalSession session(build.path);
    if (!session.Started()) GTEST_SKIP() << "no pseudo-terminal on this machine";
    std::size_t prompts = 0;
    for (const std::string line : {"@R = 2", "@R*21", "@N = \"h\u00e9llo", ":vars", "1/0", "@N =  ", ":quit"}) {
      ASSERT_TRUE(session.WaitFor(Prompt, ++prompts) && session.Type(line + "\n"))
          << build.path << ":\n" << session.Transcript();
    }
    EXPECT_EQ(session.Finish(), 0) << build.path << ":\n" << session.Transcript();
    // The text typed keeps its non-ASCII letter (the libedit build once dropped it).
    const std::vector<std::string> answers{
        "42", "0  @R  number  2", "1  @N  text    \"h\u00e9llo\"",
        "exprcalc: column 2: " + Code(EXPRCALC_DIVISION_BY_ZERO) + "\r\n  1/0\r\n   ^", "\r\n@N removed\r\n"};
    for (const std::string& text : answers) {
      EXPECT_NE(session.Transcript().find(text), std::string::npos)
          << build.path << ": " << text << " not in:\n" << session.Transcript();
    }
  }
}

// Ctrl-C, typed or sent as SIGINT, cancels the line being typed; the session
// goes on with its variables, and ends normally. An interrupt that comes
// before the reader waits (sent as soon as the prompt shows) counts as well.
TEST(CalculatorSession, CtrlCCancelsTheLineAndKeepsTheVariables) {
  struct Interrupt {
    const char* name;
    std::string typedBefore;
    bool typed;  // the ^C byte at the terminal, else SIGINT sent to the process
  };
  const std::vector<Interrupt> interrupts{
      {"Ctrl-C typed after 1+", "1+", true},
      {"SIGINT sent after 1+", "1+", false},
      {"SIGINT sent at the prompt", "", false},
  };
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    for (const Interrupt& interrupt : interrupts) {
      const std::string name = build.path + ", " + interrupt.name;
      TerminalSession session(build.path);
      if (!session.Started()) GTEST_SKIP() << "no pseudo-terminal on this machine";
      ASSERT_TRUE(session.WaitFor(Prompt) && session.Type("@R = 2\n") && session.WaitFor(Prompt, 2)) << name;
      if (!interrupt.typedBefore.empty()) {
        ASSERT_TRUE(session.Type(interrupt.typedBefore) && session.WaitFor(interrupt.typedBefore)) << name;
      }
      if (interrupt.typed) {
        ASSERT_TRUE(session.Type("\x03")) << name;
      } else {
        session.Signal(SIGINT);
      }
      ASSERT_TRUE(session.WaitFor(Prompt, 3)) << name << ":\n" << session.Transcript();
      ASSERT_TRUE(session.Type("@R*21\n") && session.WaitFor("42")) << name << ":\n" << session.Transcript();
      ASSERT_TRUE(session.WaitFor(Prompt, 4) && session.Type(":quit\n")) << name;
      EXPECT_EQ(session.Finish(), 0) << name << ":\n" << session.Transcript();
      EXPECT_EQ(session.Transcript().find("43"), std::string::npos) << name << ": the cancelled 1+ was kept";
    }
  }
}

// Ctrl-D after a partial line ends the input there with either reader: the
// line runs and its value shows on a line of its own. (The plain reader needs
// it twice: the terminal passes the text on at the first.) Inside a line,
// the libedit reader deletes the character under the cursor instead.
TEST(CalculatorSession, CtrlDAfterAPartialLineShowsTheValueOnItsOwnLine) {
  for (const CalculatorBuild& build : CalculatorBuilds()) {
    TerminalSession session(build.path);
    if (!session.Started()) GTEST_SKIP() << "no pseudo-terminal on this machine";
    ASSERT_TRUE(session.WaitFor(Prompt) && (!build.editsLines || session.WaitForLineEditing()));
    ASSERT_TRUE(session.Type("1+1") && session.WaitFor("1+1") && session.Type("\x04\x04"));
    EXPECT_EQ(session.Finish(), 0) << build.path << ":\n" << session.Transcript();
    EXPECT_NE(session.Transcript().find("1+1\r\n2\r\n"), std::string::npos) << build.path << ":\n" << session.Transcript();
    EXPECT_EQ(session.Transcript().find("1+12"), std::string::npos) << build.path << ":\n" << session.Transcript();
    if (!build.editsLines) continue;
    TerminalSession editing(build.path);
    constexpr const char* TwoLeft = "\x1B[D\x1B[D";
    ASSERT_TRUE(editing.WaitFor(Prompt) && editing.WaitForLineEditing() && editing.Type("12+1") && editing.WaitFor("12+1") && editing.Type(TwoLeft) &&
                editing.Type("\x04") && editing.Type("\r") && editing.WaitFor(Prompt, 2) && editing.WaitForLineEditing() &&
                editing.Type("\x04"));
    EXPECT_EQ(editing.Finish(), 0) << editing.Transcript();
    EXPECT_NE(editing.Transcript().find("\r\n121\r\n"), std::string::npos) << editing.Transcript();
  }
}

}  // namespace
}  // namespace calculatortest
