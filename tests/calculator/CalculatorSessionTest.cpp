// The interactive session: its commands through -i on a pipe, where the
// transcript is exact, and once on a pseudo-terminal, where the prompt and
// line editing are live and only the answers are looked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CalculatorProcess.h"

namespace calculatortest {
namespace {

struct SessionRun {
  const char* name;
  std::string typed;
  std::string output;
  std::string errors;
  int exitStatus;
};

TEST(CalculatorSession, AnswersCommandsAndGoesOnAfterErrors) {
  const std::vector<SessionRun> runs{
      {"variables listed from their records",
       "@B = 2\n@LONGER = \"hi there\n:vars\n", "0  @B       number  2\n1  @LONGER  text    \"hi there\"\n", "", 0},
      {"clear empties the table", "@B = 2\n:clear\n:vars\n@B\n", "(no variables)\n0\n", "", 0},
      {"errors do not end the session", "1/0\n3\n:nope\n4\n",
       "3\n4\n",
       "exprcalc: 1/0: division by zero\nexprcalc: :nope: unknown command (:help lists them)\n", 1},
      {"quit ends the session", "5\n:quit\n6\n", "5\n", "", 0},
      {"a colon and a digit is a number", ":30\n  :vars  \n", "0.5\n(no variables)\n", "", 0},
      {"comments and blank lines are skipped", "# note\n\n2\n", "2\n", "", 0},
      {"values in d:m:s", "@A = 1.51\n:vars\n", "0  @A  number  1:30:36\n", "", 0},
  };
  for (const SessionRun& run : runs) {
    const bool dms = std::string(run.name) == "values in d:m:s";
    std::vector<std::string> arguments{"-i"};
    if (dms) arguments.push_back("--dms");
    const Outcome outcome = RunCalculator(arguments, run.typed);
    EXPECT_EQ(outcome.output, run.output) << run.name;
    EXPECT_EQ(outcome.errors, run.errors) << run.name;
    EXPECT_EQ(outcome.exitStatus, run.exitStatus) << run.name;
  }
  const Outcome help = RunCalculator({"-i"}, ":help\n");
  EXPECT_NE(help.output.find(":vars"), std::string::npos) << help.output;
}

TEST(CalculatorSession, RunsOnATerminal) {
  const std::string prompt = "exprcalc> ";
  const std::optional<Outcome> outcome = RunOnTerminal({"@R = 2", "@R*21", ":vars", "1/0", ":quit"}, prompt);
  if (!outcome) GTEST_SKIP() << "no pseudo-terminal on this machine";
  const std::vector<std::string> shown{"42", "0  @R  number  2", "exprcalc: 1/0: division by zero"};
  for (const std::string& text : shown) {
    EXPECT_NE(outcome->output.find(text), std::string::npos) << text << " not in:\n" << outcome->output;
  }
  EXPECT_EQ(outcome->exitStatus, 1) << outcome->output;
}

}  // namespace
}  // namespace calculatortest
