// The calculator's verdict on every line of tests/judgement/lines.tsv: what it
// prints, its exit status, and the column and kind of its first report. The
// Python binding runs the same table (bindings/python/test_judgement_lines.py).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CalculatorProcess.h"

namespace calculatortest {
namespace {

struct Row {
  std::string line;
  std::string verdict;
  std::string column;  // "-": no report
  std::string value;   // "-": nothing printed
};

// "\t" and "\r" in the table stand for a tab and a carriage return.
std::string Unescaped(std::string text) {
  for (const auto& [escape, byte] : {std::pair{"\\t", '\t'}, std::pair{"\\r", '\r'}}) {
    for (std::size_t at = text.find(escape); at != std::string::npos; at = text.find(escape, at + 1)) {
      text.replace(at, 2, 1, byte);
    }
  }
  return text;
}

std::vector<Row> Rows() {
  std::ifstream file(EXPRCALC_JUDGEMENT_LINES);
  std::vector<Row> rows;
  for (std::string text; std::getline(file, text);) {
    if (text.empty() || text.front() == '#') continue;
    std::vector<std::string> fields;
    std::istringstream parts(text);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    if (fields.size() == 4) rows.push_back({Unescaped(fields[0]), fields[1], fields[2], fields[3]});
  }
  return rows;
}

TEST(JudgementLines, TheCalculatorGivesEachLineItsVerdict) {
  const std::vector<Row> rows = Rows();
  ASSERT_GE(rows.size(), 40U);
  // verdict -> fails the line, the first report is a warning
  const std::map<std::string, std::pair<bool, bool>> verdicts{
      {"value", {false, false}},  {"warning", {false, true}}, {"error", {true, false}},
      {"stored", {false, false}}, {"removed", {false, false}}, {"stored-warning", {false, true}},
      {"refused", {true, false}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line + " (" + row.verdict + ")");
    ASSERT_TRUE(verdicts.contains(row.verdict));
    const auto [fails, warns] = verdicts.at(row.verdict);
    const Outcome outcome = RunCalculator({"--", "@X = 2", "@NOTE = \"hello", row.line});
    EXPECT_EQ(outcome.exitStatus, fails ? 1 : 0);
    EXPECT_EQ(outcome.output, row.value == "-" ? "" : row.value + "\n");
    if (row.column == "-") {
      EXPECT_EQ(outcome.errors, "");
      continue;
    }
    const std::string place = "exprcalc: argument 3, column " + row.column + ": ";
    EXPECT_EQ(outcome.errors.rfind(place, 0), 0U) << outcome.errors;
    EXPECT_EQ(outcome.errors.rfind(place + "warning: ", 0) == 0, warns) << outcome.errors;
  }
}

}  // namespace
}  // namespace calculatortest
