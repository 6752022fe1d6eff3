// The exports as a host calls them: results and outputs on an empty and a
// filled table, the caller's buffers (written exactly up to the NUL, or not at
// all), null and small pointer values as the empty text, and failed stores.
// Every test starts from an empty process-wide table.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exprcalc.h"
#include "AllocationFaults.h"

namespace {

namespace allocation = exprcalc::allocation;

using Record = std::array<unsigned char, EXPRCALC_RECORD_SIZE>;

// A text buffer larger than the library ever needs, so writes past the NUL show.
struct Buffer {
  Buffer() { bytes.fill('Z'); }
  char* data() { return bytes.data(); }
  std::string Text() const { return std::string(bytes.data()); }
  // Every byte after the first NUL is still the filler.
  bool UntouchedAfterNul() const {
    const std::size_t nul = std::strlen(bytes.data());
    for (std::size_t i = nul + 1; i < bytes.size(); ++i) {
      if (bytes[i] != 'Z') return false;
    }
    return true;
  }
  std::array<char, 400> bytes{};
};

const char* SmallPointer(std::uintptr_t value) { return reinterpret_cast<const char*>(value); }

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    allocation::StopFailing();
    ASSERT_EQ(FreeVariable(), 0);
    liveBlocks = allocation::LiveBlockCount();
  }
  void TearDown() override {
    allocation::StopFailing();
    FreeVariable();
  }
  std::size_t liveBlocks = 0;
};

TEST_F(Exports, EmptyTableGivesEveryExportItsEmptyResult) {
  EXPECT_EQ(GetVarCount(), 0);
  Record record;
  record.fill(0xAB);
  EXPECT_EQ(GetVar(0, record.data()), -1);
  for (unsigned char byte : record) ASSERT_EQ(byte, 0xAB) << "GetVar wrote on failure";
  Buffer buffer;
  EXPECT_EQ(VarString(0, buffer.data()), -1);
  EXPECT_EQ(buffer.bytes[0], '\0');
  EXPECT_TRUE(buffer.UntouchedAfterNul());
  double value = 9.0;
  EXPECT_EQ(VarDouble(0, &value), -1);
  EXPECT_EQ(value, 0.0);
  int type = 9;
  EXPECT_EQ(GetIndexByKey("A", &type), -1);
  EXPECT_EQ(type, 0);
  value = 9.0;
  EXPECT_EQ(LookupVarDouble("A", &value), -1);
  EXPECT_EQ(value, 0.0);
  Buffer lookup;
  EXPECT_EQ(LookupVarString("A", lookup.data()), -1);
  EXPECT_EQ(lookup.Text(), "");
  EXPECT_TRUE(lookup.UntouchedAfterNul());
  EXPECT_EQ(RemoveVarIndex(0), -1);
  EXPECT_EQ(RemoveVariable("A"), -1);
  EXPECT_EQ(FreeVariable(), 0);
  EXPECT_EQ(FreeVariable(), 0);
}

TEST_F(Exports, StoresLookupsAndTypes) {
  EXPECT_EQ(EnterVarDouble("Rate", 1.5), 1);
  EXPECT_EQ(EnterVarDouble("  rate ", 2.5), 0);
  EXPECT_EQ(GetVarCount(), 1);
  EXPECT_EQ(EnterVarString("note", "  Some Text "), 2);
  EXPECT_EQ(EnterVarString("NOTE", " Other\tText "), 1);  // a value keeps case and blanks

  int type = 0;
  EXPECT_EQ(GetIndexByKey("RATE", &type), 0);
  EXPECT_EQ(type, EXPRCALC_TYPE_NUMBER);
  EXPECT_EQ(GetIndexByKey("\tnote", &type), 1);
  EXPECT_EQ(type, EXPRCALC_TYPE_TEXT);

  double value = 0.0;
  EXPECT_EQ(VarDouble(0, &value), 0);
  EXPECT_EQ(value, 2.5);
  EXPECT_EQ(LookupVarDouble("rate", &value), 0);
  EXPECT_EQ(value, 2.5);
  value = 9.0;
  EXPECT_EQ(VarDouble(1, &value), -1);
  EXPECT_EQ(value, 0.0);

  Buffer text;
  EXPECT_EQ(VarString(1, text.data()), 1);
  EXPECT_EQ(text.Text(), " Other\tText ");
  EXPECT_TRUE(text.UntouchedAfterNul());
  Buffer refused;
  EXPECT_EQ(VarString(0, refused.data()), -1);
  EXPECT_EQ(refused.bytes[0], '\0');
  EXPECT_TRUE(refused.UntouchedAfterNul());
}

TEST_F(Exports, TextBuffersHoldExactlyTheResultText) {
  struct Row {
    std::size_t length;
    std::size_t returned;
  };
  const Row rows[] = {{0, 0}, {2, 2}, {221, 221}, {222, 222}, {300, 222}};
  for (const Row& row : rows) {
    ASSERT_EQ(FreeVariable(), 0);
    const std::string value(row.length, 'v');
    ASSERT_EQ(EnterVarString("T", value.c_str()), 1);
    ASSERT_EQ(EnterVarDouble("N", 1.0), 2);
    Buffer byIndex, byName, numberAsText;
    EXPECT_EQ(VarString(0, byIndex.data()), 0) << row.length;
    EXPECT_EQ(LookupVarString("t", byName.data()), 0) << row.length;
    EXPECT_EQ(LookupVarString("n", numberAsText.data()), 1) << row.length;
    for (const Buffer* buffer : {&byIndex, &byName}) {
      EXPECT_EQ(buffer->Text(), value.substr(0, row.returned)) << row.length;
      EXPECT_TRUE(buffer->UntouchedAfterNul()) << row.length;
    }
    EXPECT_EQ(numberAsText.Text(), "") << "bytes 34-39 of a fresh number record are zero";
    EXPECT_TRUE(numberAsText.UntouchedAfterNul());
  }
}

TEST_F(Exports, GetVarCopiesAll256Bytes) {
  ASSERT_EQ(EnterVarString("v", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 1);
  ASSERT_EQ(EnterVarDouble("V", 1.0), 0);
  Record record;
  record.fill(0xAB);
  ASSERT_EQ(GetVar(0, record.data()), 0);
  Record expected{};
  expected[0] = 'd';
  expected[2] = 'V';
  std::memcpy(expected.data() + 34, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 26);
  const double one = 1.0;
  std::memcpy(expected.data() + 40, &one, sizeof one);
  EXPECT_EQ(record, expected);
  double value = 0.0;
  EXPECT_EQ(LookupVarDouble("V", &value), 0);
  EXPECT_EQ(value, 1.0);
  Buffer text;
  EXPECT_EQ(LookupVarString("V", text.data()), 0);
  EXPECT_EQ(text.Text(), "ABCDEF");  // bytes 40-45 of the double 1.0 are zero
}

TEST_F(Exports, RemoveVarIndexMovesLaterRecordsDown) {
  for (const char* name : {"A", "B", "C", "D"}) ASSERT_GT(EnterVarDouble(name, name[0]), 0);
  for (int index : {-1, 4, 5, INT32_MIN}) EXPECT_EQ(RemoveVarIndex(index), -1) << index;
  EXPECT_EQ(GetVarCount(), 4);
  EXPECT_EQ(RemoveVarIndex(1), 0);
  EXPECT_EQ(GetVarCount(), 3);
  const char* expected[] = {"A", "C", "D"};
  for (int i = 0; i < 3; ++i) {
    int type = 0;
    EXPECT_EQ(GetIndexByKey(expected[i], &type), i);
    double value = 0.0;
    EXPECT_EQ(VarDouble(i, &value), i);
    EXPECT_EQ(value, expected[i][0]);
  }
  EXPECT_EQ(RemoveVariable("b"), -1);
  EXPECT_EQ(RemoveVariable(" d "), 0);
  EXPECT_EQ(GetVarCount(), 2);
}

TEST_F(Exports, NullAndSmallPointerValuesAreTheEmptyText) {
  const std::uintptr_t values[] = {0, 1, 2, 100, 0x1234, 65535};
  for (std::uintptr_t pointerValue : values) {
    SCOPED_TRACE("pointer value " + std::to_string(pointerValue));
    const char* text = SmallPointer(pointerValue);
    ASSERT_EQ(FreeVariable(), 0);
    EXPECT_EQ(EnterVarDouble(text, 3.0), 1);
    EXPECT_EQ(EnterVarDouble("", 4.0), 0);
    int type = 0;
    EXPECT_EQ(GetIndexByKey(text, &type), 0);
    EXPECT_EQ(type, EXPRCALC_TYPE_NUMBER);
    double value = 0.0;
    EXPECT_EQ(LookupVarDouble(text, &value), 0);
    EXPECT_EQ(value, 4.0);
    EXPECT_EQ(EnterVarString("T", "old"), 2);
    EXPECT_EQ(EnterVarString("T", text), 1);
    Buffer buffer;
    EXPECT_EQ(LookupVarString("T", buffer.data()), 1);
    EXPECT_EQ(buffer.Text(), "");
    Buffer empty;
    EXPECT_EQ(LookupVarString(text, empty.data()), 0);
    EXPECT_EQ(RemoveVariable(text), 0);
    EXPECT_EQ(GetVarCount(), 1);
    value = 9.0;
    EXPECT_EQ(ParseString(text, &value), EXPRCALC_OK);
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(Substitution(text), EXPRCALC_STATEMENT_FAILED);
    EXPECT_EQ(GetVarCount(), 1);
  }
}

TEST_F(Exports, FreeVariableEmptiesTheTableAndReleasesItsMemory) {
  for (int n = 1; n <= 40; ++n) ASSERT_EQ(EnterVarDouble(("V" + std::to_string(n)).c_str(), n), n);
  EXPECT_GT(allocation::LiveBlockCount(), liveBlocks);
  EXPECT_EQ(FreeVariable(), 0);
  EXPECT_EQ(allocation::LiveBlockCount(), liveBlocks);
  EXPECT_EQ(GetVarCount(), 0);
  int type = 0;
  EXPECT_EQ(GetIndexByKey("V1", &type), -1);
  double value = 0.0;
  EXPECT_EQ(VarDouble(0, &value), -1);
  EXPECT_EQ(EnterVarString("V40", "x"), 1);
}

TEST_F(Exports, FailedStoreReturnsMinusOneAndKeepsEveryVariable) {
  for (int n = 1; n <= 17; ++n) ASSERT_EQ(EnterVarDouble(("V" + std::to_string(n)).c_str(), n), n);
  allocation::FailAfter(0, /*persistent=*/true);
  EXPECT_EQ(EnterVarDouble("NEW", 1.0), -1);
  EXPECT_EQ(EnterVarString("NEW", "x"), -1);
  EXPECT_EQ(EnterVarDouble("v3", -3.0), 2) << "a replacement needs no memory";
  allocation::StopFailing();
  EXPECT_EQ(GetVarCount(), 17);
  for (int n = 1; n <= 17; ++n) {
    double value = 0.0;
    EXPECT_EQ(LookupVarDouble(("V" + std::to_string(n)).c_str(), &value), n - 1);
    EXPECT_EQ(value, n == 3 ? -3.0 : n);
  }
  EXPECT_EQ(EnterVarDouble("NEW", 1.0), 18);
}

TEST_F(Exports, ParseStringReadsTheTableAndWritesZeroOnFailure) {
  ASSERT_EQ(EnterVarDouble("@RATE", 4.0), 1);
  double value = 9.0;
  EXPECT_EQ(ParseString("2*SIN(RAD(30))+@RATE", &value), EXPRCALC_OK);
  EXPECT_EQ(value, 5.0);
  value = 9.0;
  EXPECT_EQ(ParseString("@RATE+(1/0)", &value), EXPRCALC_DIVISION_BY_ZERO);
  EXPECT_EQ(value, 0.0);
  value = 9.0;
  EXPECT_EQ(ParseString("2 3", &value), EXPRCALC_MALFORMED);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(GetVarCount(), 1);
}

TEST_F(Exports, ParseStringReports257WhenItsMemoryRunsOut) {
  // Long enough to need working memory of its own, with a grouped fraction.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "1+";
  text += std::string(400, '1') + ",1.5";
  double value = 0.0;
  ASSERT_EQ(ParseString(text.c_str(), &value), EXPRCALC_OK);
  const double expected = value;
  const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
    value = 9.0;
    const int code = failing.Run([&] { return ParseString(text.c_str(), &value); });
    const std::size_t succeeding = failing.Succeeding();
    EXPECT_EQ(allocation::LiveBlockCount(), liveBlocks) << "failing allocation " << succeeding;
    EXPECT_EQ(code, failing.Injected() ? EXPRCALC_OUT_OF_MEMORY : EXPRCALC_OK) << "failing allocation " << succeeding;
    EXPECT_EQ(value, failing.Injected() ? 0.0 : expected) << "failing allocation " << succeeding;
  }, false, 16);
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, 16u);
}

}  // namespace
