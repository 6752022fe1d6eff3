// The diagnostic exports through the public header: where and why reading and
// evaluation stopped for the texts that users trip over, what a statement did
// and why, and a message for every code and reason.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exprcalc.h"

namespace {

struct ExplainRow {
  const char* text;
  int code;
  double value;
  std::size_t read;
  int stop;
  std::size_t at;  // checked when code is not 0
  int unclosed;
};

TEST(Diagnostics, SayWhereAndWhyTheTextStopped) {
  FreeVariable();
  EnterVarDouble("@RATE", 4.0);
  EnterVarString("@NOTE", "text");
  const ExplainRow rows[] = {
      {"@NOPE+1", 0, 0.0, 0, EXPRCALC_STOP_UNKNOWN_VARIABLE, 0, 0},
      {"1.5e3", 0, 1.5, 3, EXPRCALC_STOP_UNKNOWN_NAME, 0, 0},
      {"ln(2)", 0, 0.0, 0, EXPRCALC_STOP_UNKNOWN_NAME, 0, 0},
      {"2*(3+4", 0, 2.0, 6, EXPRCALC_STOP_END, 0, 1},
      {"(2+3", 0, 5.0, 4, EXPRCALC_STOP_END, 0, 0},
      {"10 mod 3", 0, 10.0, 3, EXPRCALC_STOP_UNKNOWN_NAME, 0, 0},
      {"5!", 0, 5.0, 1, EXPRCALC_STOP_UNREADABLE_BYTE, 0, 0},
      {"@RATE_2", 0, 4.0, 5, EXPRCALC_STOP_UNREADABLE_BYTE, 0, 0},
      {"1 + 2 = 9", 0, 3.0, 6, EXPRCALC_STOP_LINE_END, 0, 0},
      {"1.2.3", 0, 0.0, 3, EXPRCALC_STOP_SECOND_POINT, 0, 0},
      {"1:2.5", 0, 0.0, 3, EXPRCALC_STOP_POINT_AFTER_COLON, 0, 0},
      {"1.5,3", 0, 0.0, 3, EXPRCALC_STOP_COMMA_IN_FRACTION, 0, 0},
      {"1:2:3:4", 0, 0.0, 5, EXPRCALC_STOP_THIRD_COLON, 0, 0},
      {"@A = 1/0", 0, 0.0, 0, EXPRCALC_STOP_UNKNOWN_VARIABLE, 0, 0},
      {"8 / (2-2)", EXPRCALC_DIVISION_BY_ZERO, 0.0, 9, EXPRCALC_STOP_END, 2, 0},
      {"7 % 0.5", EXPRCALC_DIVISION_BY_ZERO, 0.0, 7, EXPRCALC_STOP_END, 2, 0},
      {"1 + ACOS(2)", EXPRCALC_DOMAIN_ERROR, 0.0, 11, EXPRCALC_STOP_END, 4, 0},
      {"2^3 + 0^(0-1)", EXPRCALC_DOMAIN_ERROR, 0.0, 13, EXPRCALC_STOP_END, 7, 0},
      {"3*LOG10(0-2)", EXPRCALC_NEGATIVE_LOGARITHM, 0.0, 12, EXPRCALC_STOP_END, 2, 0},
      {"2*-3", EXPRCALC_MALFORMED, 0.0, 4, EXPRCALC_STOP_END, 2, 0},
      {"2 3", EXPRCALC_MALFORMED, 0.0, 3, EXPRCALC_STOP_END, 2, 0},
      {"2+3)", EXPRCALC_MALFORMED, 0.0, 4, EXPRCALC_STOP_END, 3, 0},
      {"SIN", EXPRCALC_MALFORMED, 0.0, 3, EXPRCALC_STOP_END, 0, 0},
      {"2*", EXPRCALC_MALFORMED, 0.0, 2, EXPRCALC_STOP_END, 1, 0},
      {"3*@NOPE+1", EXPRCALC_MALFORMED, 0.0, 2, EXPRCALC_STOP_UNKNOWN_VARIABLE, 2, 0},
  };
  for (const ExplainRow& row : rows) {
    exprcalc_diagnosis d;
    std::memset(&d, 0xA5, sizeof d);
    double value = 1.0;
    const int code = ParseString(row.text, &value);
    EXPECT_EQ(exprcalc_explain(row.text, &d), code) << row.text;
    EXPECT_EQ(d.code, row.code) << row.text;
    EXPECT_EQ(std::memcmp(&d.value, &value, sizeof value), 0) << row.text;
    EXPECT_EQ(d.value, row.value) << row.text;
    EXPECT_EQ(d.read, row.read) << row.text;
    EXPECT_EQ(d.stop, row.stop) << row.text;
    EXPECT_EQ(d.at, row.code == 0 ? 0u : row.at) << row.text;
    EXPECT_EQ(d.unclosed, row.unclosed) << row.text;
    EXPECT_EQ(d.length, std::strlen(row.text)) << row.text;
    EXPECT_EQ(d.text_variable, EXPRCALC_NOWHERE) << row.text;
  }
  exprcalc_diagnosis d;
  EXPECT_EQ(exprcalc_explain("1 + (2 * (3 + 4", &d), 0);
  EXPECT_EQ(d.unclosed_at, 4u) << "the first \"(\" left open";
  EXPECT_EQ(exprcalc_explain("(2+3", &d), 0);
  EXPECT_EQ(d.unclosed_at, EXPRCALC_NOWHERE);
  EXPECT_EQ(exprcalc_explain("1.2.3 + 1", &d), 0);
  EXPECT_EQ(d.dropped, 0u) << "the dropped number begins at 0";
  EXPECT_EQ(exprcalc_explain("2 + @note", &d), 0);
  EXPECT_EQ(d.text_variable, 4u) << "a text variable reads as 0";
  EXPECT_EQ(exprcalc_explain(nullptr, nullptr), 0) << "null text and null output";
  FreeVariable();
}

struct StatementRow {
  const char* statement;
  int result;
  int reason;
  int unreadable;
  int code;        // of the right part's evaluation, when there was one
  std::size_t at;  // of the failure, counted in the statement
};

TEST(Diagnostics, SayWhatAStatementDidAndWhy) {
  FreeVariable();
  const StatementRow rows[] = {
      {"@A = 1/0", 1, EXPRCALC_REASON_EVALUATION, 0, EXPRCALC_DIVISION_BY_ZERO, 6},
      {"  @A = 2 +  3 ", 0, EXPRCALC_REASON_STORED, 0, 0, 0},
      {"RATE = 4", 1, EXPRCALC_REASON_NO_NAME, 0, 0, 0},
      {"@A 5", 1, EXPRCALC_REASON_NOT_A_STATEMENT, 0, 0, 0},
      {"", 1, EXPRCALC_REASON_NOT_A_STATEMENT, 0, 0, 0},
      {"@MY_RATE = 5", 0, EXPRCALC_REASON_STORED, 1, 0, 0},
      {"@T = \"some text", 0, EXPRCALC_REASON_STORED, 0, 0, 0},
      {"@T =", 0, EXPRCALC_REASON_REMOVED, 0, 0, 0},
      {"@T =", -1, EXPRCALC_REASON_NOTHING_TO_REMOVE, 0, 0, 0},
  };
  for (const StatementRow& row : rows) {
    const int count = GetVarCount();
    exprcalc_statement_diagnosis d;
    std::memset(&d, 0xA5, sizeof d);
    EXPECT_EQ(exprcalc_explain_statement(row.statement, &d), row.result) << row.statement;
    EXPECT_EQ(d.result, row.result) << row.statement;
    EXPECT_EQ(d.reason, row.reason) << row.statement;
    EXPECT_EQ(d.unreadable_name, row.unreadable) << row.statement;
    EXPECT_EQ(d.expression.code, row.code) << row.statement;
    if (row.code != 0) {
      EXPECT_EQ(d.expression.at, row.at) << row.statement;
    }
    if (row.result == 1) {
      EXPECT_EQ(GetVarCount(), count) << row.statement << " changed the table";
    }
  }
  double value = 0.0;
  EXPECT_EQ(LookupVarDouble("@A", &value), 0);
  EXPECT_EQ(value, 5.0);
  exprcalc_statement_diagnosis d;
  exprcalc_explain_statement("  @B =  7 ", &d);
  EXPECT_EQ(d.name_at, 2u);
  EXPECT_EQ(d.name_length, 2u);
  EXPECT_EQ(d.right_at, 8u);
  EXPECT_EQ(d.expression.read, 9u) << "the right part's end, counted in the statement";
  exprcalc_explain_statement("@B 7", &d);
  EXPECT_EQ(d.name_at, 0u) << "not a statement: no name";
  EXPECT_EQ(d.name_length, 0u) << "not a statement: no name";
  FreeVariable();
}

// The only finding of each text, with its places.
struct JudgementRow {
  const char* text;
  int whole;
  int kind;
  std::size_t at;
  std::size_t other;
};

constexpr std::size_t None = EXPRCALC_NOWHERE;

TEST(Diagnostics, JudgeWhatATextMeans) {
  FreeVariable();
  EnterVarString("@NOTE", "text");
  const JudgementRow rows[] = {
      {"SQRT(16", 0, EXPRCALC_FINDING_NOT_APPLIED, 0, 4},
      {" -(3+4", 0, EXPRCALC_FINDING_NOT_APPLIED, 1, 2},
      {"2+3 = 5", 0, EXPRCALC_FINDING_STOPPED, 4, 4},
      {"2 + @NOTE", 1, EXPRCALC_FINDING_TEXT_VARIABLE, 4, None},
      {"123,456 + 12,5", 1, EXPRCALC_FINDING_DIGIT_GROUPS, 12, 10},
      {"SIN(1)^2", 1, EXPRCALC_FINDING_POWER_OF_ARGUMENT, 6, 0},
      {" :: ", 1, EXPRCALC_FINDING_NUMBER_WITHOUT_DIGITS, 1, None},
      {"(2)(3)", 1, EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS, 3, 0},
      {"2 * * 3", 1, EXPRCALC_FINDING_REPEATED_OPERATOR, 4, 2},
      {"2^-1", 1, EXPRCALC_FINDING_SIGN_AFTER_OPERATOR, 2, 1},
  };
  for (const JudgementRow& row : rows) {
    exprcalc_judgement j;
    exprcalc_diagnosis d;
    EXPECT_EQ(exprcalc_judge(row.text, &j), exprcalc_explain(row.text, &d)) << row.text;
    EXPECT_EQ(j.whole, row.whole) << row.text;
    ASSERT_EQ(j.count, 1) << row.text;
    EXPECT_EQ(j.findings[0].kind, row.kind) << row.text;
    EXPECT_EQ(j.findings[0].at, row.at) << row.text;
    EXPECT_EQ(j.findings[0].other, row.other) << row.text;
  }
  FreeVariable();
}

struct StatementJudgementRow {
  std::string statement;
  int whole;
  int reason;  // of exprcalc_substitute_whole
  int count;   // findings
  int kind;    // the first one
  std::size_t at;
  std::size_t textLength;
};

TEST(Diagnostics, CarryOutOnlyWholeStatements) {
  FreeVariable();
  const StatementJudgementRow rows[] = {
      {"@A = SQRT(16", 0, EXPRCALC_REASON_NOT_WHOLE, 1, EXPRCALC_FINDING_NOT_APPLIED, 5, 0},
      {"@A = \"hel\"lo", 0, EXPRCALC_REASON_NOT_WHOLE, 1, EXPRCALC_FINDING_TEXT_CUT, 9, 3},
      {"@A = \"a\tb", 0, EXPRCALC_REASON_NOT_WHOLE, 1, EXPRCALC_FINDING_TEXT_CUT, 7, 1},
      {"@A = \"" + std::string(223, 't'), 0, EXPRCALC_REASON_NOT_WHOLE, 1, EXPRCALC_FINDING_TEXT_CUT, 228, 222},
      {"@A = \"" + std::string(222, 't') + "\"", 1, EXPRCALC_REASON_STORED, 0, 0, 0, 222},
      {"@MY_RATE = 5", 1, EXPRCALC_REASON_STORED, 1, EXPRCALC_FINDING_UNREADABLE_NAME, 3, 0},
      {"@MY_RATE = -(5", 0, EXPRCALC_REASON_NOT_WHOLE, 2, EXPRCALC_FINDING_UNREADABLE_NAME, 3, 0},
      {"@B = 1/0", 1, EXPRCALC_REASON_EVALUATION, 0, 0, 0, 0},
      {"@B =", 1, EXPRCALC_REASON_NOTHING_TO_REMOVE, 0, 0, 0, 0},
      {"B = 2", 0, EXPRCALC_REASON_NO_NAME, 0, 0, 0, 0},
  };
  for (const StatementJudgementRow& row : rows) {
    const int count = GetVarCount();
    const char* statement = row.statement.c_str();
    exprcalc_statement_judgement judged;
    exprcalc_statement_judgement done;
    exprcalc_judge_statement(statement, &judged);
    EXPECT_EQ(GetVarCount(), count) << statement << ": judging wrote the table";
    exprcalc_substitute_whole(statement, &done);
    EXPECT_EQ(judged.whole, row.whole) << statement;
    EXPECT_EQ(done.whole, row.whole) << statement;
    EXPECT_EQ(done.statement.reason, row.reason) << statement;
    EXPECT_EQ(done.statement.unreadable_name, row.reason == EXPRCALC_REASON_STORED && row.count == 1 ? 1 : 0)
        << statement << ": unreadable only when stored";
    EXPECT_EQ(judged.text_length, row.textLength) << statement;
    ASSERT_EQ(done.count, row.count) << statement;
    if (row.count != 0) {
      EXPECT_EQ(done.findings[0].kind, row.kind) << statement;
      EXPECT_EQ(done.findings[0].at, row.at) << statement;
    }
    if (row.reason != EXPRCALC_REASON_STORED) {
      EXPECT_EQ(GetVarCount(), count) << statement;
    }
  }
  EXPECT_EQ(GetVarCount(), 2) << "@A and @MY_RATE";
  FreeVariable();
}

TEST(Diagnostics, EveryCodeAndReasonHasAMessage) {
  for (int code : {EXPRCALC_OK, EXPRCALC_DIVISION_BY_ZERO, EXPRCALC_DOMAIN_ERROR, EXPRCALC_NEGATIVE_LOGARITHM,
                   EXPRCALC_OUT_OF_MEMORY, EXPRCALC_MALFORMED}) {
    EXPECT_STRNE(exprcalc_message(code), exprcalc_message(-7)) << code;
  }
  for (int stop = EXPRCALC_STOP_END; stop <= EXPRCALC_STOP_OUT_OF_MEMORY; ++stop) {
    EXPECT_STRNE(exprcalc_stop_message(stop), exprcalc_stop_message(-7)) << stop;
  }
  for (int reason = EXPRCALC_REASON_STORED; reason <= EXPRCALC_REASON_NOT_WHOLE; ++reason) {
    EXPECT_STRNE(exprcalc_reason_message(reason), exprcalc_reason_message(-7)) << reason;
  }
  for (int kind : {1, 2, 3, 4, 100, 101, 102, 103, 104, 200, 201, 202}) {
    EXPECT_STRNE(exprcalc_finding_message(kind), exprcalc_finding_message(-7)) << kind;
  }
  EXPECT_EQ(exprcalc_version(), EXPRCALC_VERSION_NUMBER);
}

}  // namespace
