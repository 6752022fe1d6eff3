// Assignment statements on a local table: the statement forms and their
// results, the text rules of a quoted right part, evaluation before the store,
// names passed on as written, and a store that cannot get memory. A few cases
// go through the export, which shares the process-wide table.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"
#include "statements/Substitute.h"
#include "AllocationFaults.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::Substitute;
using exprcalc::VariableTable;
namespace allocation = exprcalc::allocation;

using Record = std::array<unsigned char, 256>;

std::vector<Record> AllRecords(const VariableTable& table) {
  std::vector<Record> records(static_cast<std::size_t>(table.GetCount()));
  for (int i = 0; i < table.GetCount(); ++i) table.CopyRecord(i, records[static_cast<std::size_t>(i)].data());
  return records;
}

// What a name holds afterwards: nothing, a number or a text.
struct Holds {
  enum Kind { Nothing, Number, Text } kind;
  double number = 0.0;
  std::string text;
};
Holds None() { return {Holds::Nothing, 0.0, {}}; }
Holds Num(double value) { return {Holds::Number, value, {}}; }
Holds Txt(std::string value) { return {Holds::Text, 0.0, std::move(value)}; }

void ExpectHolds(const VariableTable& table, const std::string& name, const Holds& expected, const std::string& where) {
  int type = 0;
  const int index = table.IndexByKey(name, type);
  switch (expected.kind) {
    case Holds::Nothing:
      EXPECT_EQ(index, -1) << where << ": " << name << " exists";
      break;
    case Holds::Number: {
      double value = 0.0;
      ASSERT_GE(table.DoubleAt(index, value), 0) << where << ": " << name << " is no number";
      EXPECT_EQ(value, expected.number) << where << ": " << name;
      break;
    }
    case Holds::Text: {
      std::string_view text;
      ASSERT_GE(table.StringAt(index, text), 0) << where << ": " << name << " is no text";
      EXPECT_EQ(text, expected.text) << where << ": " << name;
      break;
    }
  }
}

TEST(Substitution, StatementForms) {
  struct Row {
    std::string statement;
    int result;
    std::string name;  // the variable to look at afterwards
    Holds holds;
  };
  const Row rows[] = {
      {"", 1, "@A", Num(1)}, {"@A 5", 1, "@A", Num(1)}, {"= 5", 1, "@A", Num(1)}, {"  =  ", 1, "@A", Num(1)},
      {"A = 5", 1, "A", None()}, {"a@ = 5", 1, "a@", None()}, {"  @n  =  1 + 2  ", 0, "@N", Num(3)},
      {"\t\v@N\f=\r\n4\n", 0, "@N", Num(4)}, {"@A = 1/0", 1, "@A", Num(1)}, {"@A = 2 3", 1, "@A", Num(1)},
      {"@A = LOG(0-1)", 1, "@A", Num(1)}, {"@A =", 0, "@A", None()}, {"@A =   \t", 0, "@A", None()},
      {"@Missing =", -1, "@MISSING", None()}, {"@T = \"two words\"", 0, "@T", Txt("two words")},
      {"@T = \"two words", 0, "@T", Txt("two words")},
      {"@T = \"  lead and trail  \"", 0, "@T", Txt("  lead and trail  ")},
      {"@T = \"  lead and trail  ", 0, "@T", Txt("  lead and trail")}, {"@T = \"", 0, "@T", Txt("")},
      {"@T = \"\"", 0, "@T", Txt("")}, {"@T = \"word\tmore text", 0, "@T", Txt("word")},
      {"@T = \"word\"more\"", 0, "@T", Txt("word")},
      {"@T = \"Case = Kept; 1/0\"", 0, "@T", Txt("Case = Kept; 1/0")},
      {"@T=\"\xC3\xA4\xFF\"", 0, "@T", Txt("\xC3\xA4\xFF")}, {"@ = 4", 0, "@", Num(4)},
      {"@A B = 1", 0, "@A B", Num(1)}, {"@9x = 2", 0, "@9X", Num(2)}, {"@A = B = C", 0, "@A", Num(7)},
      {"@A = @NOPE + 1", 0, "@A", Num(0)}, {"@A = #5", 0, "@A", Num(0)}, {"@A = =", 0, "@A", Num(0)},
      {"@A = SQRT(16) * @A", 0, "@A", Num(4)}, {"@A = 1,5", 0, "@A", Num(15)},
  };
  for (const Row& row : rows) {
    VariableTable table;
    ASSERT_EQ(table.EnterDouble("@A", 1.0), 1);
    ASSERT_EQ(table.EnterDouble("B", 7.0), 2);
    const std::string where = "statement \"" + row.statement + "\"";
    const std::vector<Record> before = AllRecords(table);
    EXPECT_EQ(Substitute(row.statement, table), row.result) << where;
    ExpectHolds(table, row.name, row.holds, where);
    if (row.result != 0) {
      EXPECT_EQ(AllRecords(table), before) << where << ": the table changed";
    }
  }
}

TEST(Substitution, TheRightPartIsEvaluatedBeforeTheStore) {
  VariableTable table;
  EXPECT_EQ(Substitute("@N = 1", table), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Substitute("@N = @N + 1", table), 0);
  ExpectHolds(table, "@N", Num(6), "after five increments");
  // A new name reads as no token on its own right-hand side: the sequence ends there.
  EXPECT_EQ(Substitute("@M = @M + 1", table), 0);
  ExpectHolds(table, "@M", Num(0), "self-reference to a new name");
  EXPECT_EQ(table.GetCount(), 2);
}

TEST(Substitution, StoringReplacesAVariableOfTheOtherType) {
  VariableTable table;
  EXPECT_EQ(Substitute("@V = \"text", table), 0);
  EXPECT_EQ(Substitute("@v = 2.5", table), 0);
  ExpectHolds(table, "@V", Num(2.5), "text to number");
  EXPECT_EQ(Substitute(" @V = \"back", table), 0);
  ExpectHolds(table, "@V", Txt("back"), "number to text");
  EXPECT_EQ(table.GetCount(), 1);
  // A text variable reads as 0 in an expression.
  EXPECT_EQ(Substitute("@W = @V + 3", table), 0);
  ExpectHolds(table, "@W", Num(3), "text read as a number");
}

TEST(Substitution, NamesAndTextsAreCutLikeEveryStore) {
  VariableTable table;
  const std::string name40 = "@abcdefghijklmnopqrstuvwxyz0123456789xyz";
  EXPECT_EQ(Substitute(name40 + " = 1", table), 0);
  EXPECT_EQ(Substitute(name40 + " = 2", table), 0);
  EXPECT_EQ(table.GetCount(), 1);
  ExpectHolds(table, "@ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", Num(2), "31 significant bytes");
  double value = 0.0;
  EXPECT_EQ(exprcalc::Evaluate(name40 + "*2", table, value), 0);
  EXPECT_EQ(value, 4.0);

  const std::string longText(300, 'x');
  EXPECT_EQ(Substitute("@T = \"" + longText + "\"", table), 0);
  ExpectHolds(table, "@T", Txt(std::string(222, 'x')), "text cut to 222 bytes");
}

TEST(Substitution, AStoreThatCannotGetMemoryReturnsOneAndChangesNothing) {
  const char* statements[] = {"@NEW = 1+2", "@NEW = \"text"};
  for (const char* statement : statements) {
    const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
      VariableTable table;
      for (int n = 1; n <= 17; ++n) ASSERT_EQ(table.EnterDouble("@V" + std::to_string(n), n), n);
      const std::vector<Record> before = AllRecords(table);
      const int result = failing.Run([&] { return Substitute(statement, table); });
      const std::string where =
          std::string(statement) + ", failing allocation " + std::to_string(failing.Succeeding());
      if (!failing.Injected()) {
        EXPECT_EQ(result, 0) << where;
        EXPECT_EQ(table.GetCount(), 18) << where;
        return;
      }
      EXPECT_EQ(result, 1) << where;
      EXPECT_EQ(table.GetCount(), 17) << where;
      EXPECT_EQ(table.Capacity(), 32) << where;
      EXPECT_EQ(AllRecords(table), before) << where;
    }, false, 16);
    EXPECT_GT(failed, 0u) << statement;
    EXPECT_LT(failed, 16u) << statement;
  }

  // Replacing an existing variable needs no memory.
  VariableTable table;
  for (int n = 1; n <= 17; ++n) ASSERT_EQ(table.EnterDouble("@V" + std::to_string(n), n), n);
  allocation::FailAfter(0, /*persistent=*/true);
  EXPECT_EQ(Substitute("@V3 = 30", table), 0);
  EXPECT_EQ(Substitute("@V4 = \"four", table), 0);
  EXPECT_EQ(Substitute("@V99 = 1", table), 1);
  EXPECT_EQ(Substitute("@V5 =", table), 0);
  allocation::StopFailing();
  ExpectHolds(table, "@V3", Num(30), "replaced without memory");
  ExpectHolds(table, "@V4", Txt("four"), "replaced without memory");
  EXPECT_EQ(table.GetCount(), 16);
}

TEST(Substitution, ThroughTheExport) {
  ASSERT_EQ(FreeVariable(), 0);
  const std::uintptr_t pointerValues[] = {0, 1, 61, 65535};
  for (std::uintptr_t pointerValue : pointerValues) {
    EXPECT_EQ(Substitution(reinterpret_cast<const char*>(pointerValue)), EXPRCALC_STATEMENT_FAILED) << pointerValue;
  }
  EXPECT_EQ(Substitution("@RATE = 0.5"), EXPRCALC_STATEMENT_DONE);
  EXPECT_EQ(Substitution("@BASE = 4 / @RATE"), EXPRCALC_STATEMENT_DONE);
  double value = 0.0;
  EXPECT_EQ(LookupVarDouble("@base", &value), 1);
  EXPECT_EQ(value, 8.0);
  EXPECT_EQ(Substitution("@NOTE = \"hello"), EXPRCALC_STATEMENT_DONE);
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  EXPECT_EQ(LookupVarString("@NOTE", buffer), 2);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(Substitution("@RATE ="), EXPRCALC_STATEMENT_DONE);
  EXPECT_EQ(Substitution("@RATE ="), EXPRCALC_STATEMENT_NO_VARIABLE);
  EXPECT_EQ(GetVarCount(), 2);
  EXPECT_EQ(FreeVariable(), 0);
}

}  // namespace
