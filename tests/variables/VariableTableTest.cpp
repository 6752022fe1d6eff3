// The variable table seen through its own operations on a local table: the
// results of every operation, the 256-byte records as a host copies them, the
// growth steps, removal, release, and the stores whose allocation fails.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "AllocationFaults.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::VariableTable;
namespace allocation = exprcalc::allocation;

using Record = std::array<unsigned char, 256>;

Record RecordAt(const VariableTable& table, int index) {
  Record record;
  record.fill(0xEE);
  EXPECT_EQ(table.CopyRecord(index, record.data()), 0) << "index " << index;
  return record;
}

std::vector<Record> AllRecords(const VariableTable& table) {
  std::vector<Record> records;
  for (int i = 0; i < table.GetCount(); ++i) records.push_back(RecordAt(table, i));
  return records;
}

std::string Bytes(const Record& record, std::size_t offset, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(record.data() + offset), length);
}

double DoubleFromBytes(const char (&bytes)[9]) {
  double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

std::string BytesOf(double value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

// Every byte of the record from offset on (to the end of the record) is zero.
void ExpectZeroFrom(const Record& record, std::size_t offset, const std::string& where) {
  for (std::size_t i = offset; i < record.size(); ++i) {
    ASSERT_EQ(record[i], 0) << where << ": byte " << i;
  }
}

// Checks the bytes a number store leaves in a slot that held nothing before.
void ExpectCleanNumberRecord(const Record& record, std::string_view name, double value, const std::string& where) {
  EXPECT_EQ(record[0], 'd') << where;
  EXPECT_EQ(record[1], 0) << where;
  EXPECT_EQ(Bytes(record, 2, name.size()), name) << where;
  for (std::size_t i = 2 + name.size(); i < 40; ++i) ASSERT_EQ(record[i], 0) << where << ": byte " << i;
  EXPECT_EQ(Bytes(record, 40, 8), BytesOf(value)) << where;
  ExpectZeroFrom(record, 48, where);
}

TEST(VariableTable, FreshTableGivesEveryOperationItsEmptyResult) {
  VariableTable table;
  EXPECT_EQ(table.GetCount(), 0);
  EXPECT_EQ(table.Capacity(), 0);
  for (int index : {0, 1, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    double value = 9.0;
    EXPECT_EQ(table.DoubleAt(index, value), -1) << index;
    EXPECT_EQ(value, 0.0) << index;
    std::string_view text = "left over";
    EXPECT_EQ(table.StringAt(index, text), -1) << index;
    EXPECT_TRUE(text.empty()) << index;
    Record record;
    record.fill(0xAB);
    EXPECT_EQ(table.CopyRecord(index, record.data()), -1) << index;
    for (unsigned char byte : record) ASSERT_EQ(byte, 0xAB) << "CopyRecord wrote for index " << index;
    EXPECT_EQ(table.RemoveAt(index), -1) << index;
  }
  int type = 55;
  EXPECT_EQ(table.IndexByKey("A", type), -1);
  EXPECT_EQ(type, 0);
  double value = 9.0;
  EXPECT_EQ(table.LookupDouble("A", value), -1);
  EXPECT_EQ(value, 0.0);
  std::string_view text = "left over";
  EXPECT_EQ(table.LookupString("A", text), -1);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(table.RemoveByKey("A"), -1);
  EXPECT_EQ(table.FreeBlock(), 0);
  EXPECT_EQ(table.GetCount(), 0);
}

TEST(VariableTable, StoresReturnTheNewCountOnAppendAndTheIndexOnReplacement) {
  VariableTable table;
  struct Row {
    bool text;
    const char* name;
    int expected;
  };
  const Row rows[] = {
      {false, "Rate", 1},   {false, "BASE", 2},        {true, "note", 3},        {false, "\trate ", 0},
      {false, "RATE", 0},   {true, " base", 1},        {false, "NOTE", 2},       {false, "RA TE", 4},
      {true, "RA TE", 3},   {false, "", 5},            {false, " \t\n\v\f\r", 4},
  };
  for (const Row& row : rows) {
    const int result = row.text ? table.EnterString(row.name, "x") : table.EnterDouble(row.name, 1.0);
    EXPECT_EQ(result, row.expected) << "name \"" << row.name << "\"";
  }
  EXPECT_EQ(table.GetCount(), 5);
  int type = 0;
  EXPECT_EQ(table.IndexByKey("base", type), 1);
  EXPECT_EQ(type, 's');
  EXPECT_EQ(table.IndexByKey("note", type), 2);
  EXPECT_EQ(type, 'd');
}

TEST(VariableTable, NumberRecordLayout) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("\t rate ", -2.5), 1);
  const Record record = RecordAt(table, 0);
  ExpectCleanNumberRecord(record, std::string_view("RATE\0", 5), -2.5, "RATE");
  double value = 0.0;
  EXPECT_EQ(table.DoubleAt(0, value), 0);
  EXPECT_EQ(value, -2.5);
}

TEST(VariableTable, TextRecordLayoutAndCuts) {
  struct Row {
    std::size_t length;
    std::size_t stored;
  };
  const Row rows[] = {{0, 0}, {1, 1}, {6, 6}, {221, 221}, {222, 222}, {223, 222}, {300, 222}};
  for (const Row& row : rows) {
    VariableTable table;
    std::string value;
    for (std::size_t i = 0; i < row.length; ++i) value += static_cast<char>('!' + i % 90);
    ASSERT_EQ(table.EnterString("T", "placeholder"), 1);
    ASSERT_EQ(table.EnterDouble("NEXT", 7.0), 2);
    const Record next = RecordAt(table, 1);
    ASSERT_EQ(table.EnterString("t", value), 0) << row.length;  // replaces the placeholder
    const Record record = RecordAt(table, 0);
    const std::string where = "length " + std::to_string(row.length);
    EXPECT_EQ(record[0], 's') << where;
    EXPECT_EQ(record[1], 0) << where;
    EXPECT_EQ(Bytes(record, 2, 2), std::string("T\0", 2)) << where;
    EXPECT_EQ(Bytes(record, 34, row.stored), value.substr(0, row.stored)) << where;
    if (row.stored < 222) {
      EXPECT_EQ(record[34 + row.stored], 0) << where;
    }
    EXPECT_EQ(RecordAt(table, 1), next) << where << ": the next slot changed";
    std::string_view text;
    EXPECT_EQ(table.StringAt(0, text), 0) << where;
    EXPECT_EQ(text, value.substr(0, row.stored)) << where;
    EXPECT_EQ(table.LookupString("T", text), 0) << where;
    EXPECT_EQ(text, value.substr(0, row.stored)) << where;
  }
}

TEST(VariableTable, LookupsByNameReadTheOverlappingFieldWhateverTheType) {
  VariableTable table;
  ASSERT_EQ(table.EnterString("LONG", "ABCDEF12345678xyz"), 1);
  ASSERT_EQ(table.EnterString("SHORT", "abcdef"), 2);
  ASSERT_EQ(table.EnterDouble("NUM", 1.5), 3);

  double value = 9.0;
  EXPECT_EQ(table.LookupDouble("long", value), 0);
  EXPECT_EQ(BytesOf(value), "12345678");
  EXPECT_EQ(table.LookupDouble("short", value), 1);
  EXPECT_EQ(BytesOf(value), BytesOf(0.0));
  EXPECT_EQ(table.DoubleAt(0, value), -1);
  EXPECT_EQ(value, 0.0);

  std::string_view text = "left over";
  EXPECT_EQ(table.LookupString("num", text), 2);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(table.StringAt(2, text), -1);
  EXPECT_TRUE(text.empty());
}

TEST(VariableTable, ReplacementKeepsTheBytesItDoesNotWriteAcrossTypeChanges) {
  VariableTable table;
  ASSERT_EQ(table.EnterString("N", "ABCDEFGHIJKLMNOPQRST"), 1);
  const double number = DoubleFromBytes("12345678");
  ASSERT_EQ(table.EnterDouble("n", number), 0);
  Record record = RecordAt(table, 0);
  EXPECT_EQ(record[0], 'd');
  EXPECT_EQ(Bytes(record, 34, 21), std::string("ABCDEF12345678OPQRST\0", 21));
  std::string_view text;
  EXPECT_EQ(table.LookupString("N", text), 0);
  EXPECT_EQ(text, "ABCDEF12345678OPQRST");
  EXPECT_EQ(table.StringAt(0, text), -1);
  double value = 0.0;
  EXPECT_EQ(table.DoubleAt(0, value), 0);
  EXPECT_EQ(BytesOf(value), "12345678");

  ASSERT_EQ(table.EnterString(" N ", "xy"), 0);
  record = RecordAt(table, 0);
  EXPECT_EQ(record[0], 's');
  EXPECT_EQ(record[1], 0);
  EXPECT_EQ(Bytes(record, 34, 21), std::string("xy\0DEF12345678OPQRST\0", 21));
  EXPECT_EQ(table.LookupDouble("N", value), 0);
  EXPECT_EQ(BytesOf(value), "12345678");
  EXPECT_EQ(table.DoubleAt(0, value), -1);
  EXPECT_EQ(table.GetCount(), 1);
}

TEST(VariableTable, RemoveAtMovesLaterRecordsDownAndZeroFillsTheFreedSlot) {
  struct Row {
    int removed;
    std::vector<int> kept;  // indexes of the original records, in their new order
  };
  const Row rows[] = {{0, {1, 2}}, {1, {0, 2}}, {2, {0, 1}}};
  for (const Row& row : rows) {
    VariableTable table;
    const std::string longText(222, 'L');
    ASSERT_EQ(table.EnterDouble("A", 1.0), 1);
    ASSERT_EQ(table.EnterString("B", longText), 2);
    ASSERT_EQ(table.EnterString("C", longText), 3);
    const std::vector<Record> before = AllRecords(table);
    ASSERT_EQ(table.RemoveAt(row.removed), 0) << row.removed;
    ASSERT_EQ(table.GetCount(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(RecordAt(table, i), before[static_cast<std::size_t>(row.kept[static_cast<std::size_t>(i)])])
          << "removed " << row.removed << ", record " << i;
    }
    EXPECT_EQ(table.Capacity(), 32);
    // The freed slot is the next one appended: every byte a store leaves alone must be zero.
    ASSERT_EQ(table.EnterDouble("D", 4.0), 3);
    ExpectCleanNumberRecord(RecordAt(table, 2), std::string_view("D\0", 2), 4.0,
                            "slot freed by removing " + std::to_string(row.removed));
  }
}

TEST(VariableTable, RemovalsThatFindNothingChangeNothing) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("A", 1.0), 1);
  ASSERT_EQ(table.EnterString("B", "b"), 2);
  const std::vector<Record> before = AllRecords(table);
  for (int index : {-1, 2, 3, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
    EXPECT_EQ(table.RemoveAt(index), -1) << index;
  }
  EXPECT_EQ(table.RemoveByKey("C"), -1);
  EXPECT_EQ(table.RemoveByKey("A B"), -1);
  EXPECT_EQ(AllRecords(table), before);
  EXPECT_EQ(table.RemoveByKey(" b "), 0);
  EXPECT_EQ(table.RemoveByKey("A"), 0);
  EXPECT_EQ(table.GetCount(), 0);
  EXPECT_EQ(table.Capacity(), 32) << "removing the last record keeps the block";
}

TEST(VariableTable, GrowsBy32SlotsWhenFewerThan16AreFree) {
  VariableTable table;
  struct Row {
    int count;
    int capacity;
  };
  const Row rows[] = {{1, 32}, {17, 32}, {18, 64}, {49, 64}, {50, 96}, {81, 96}, {82, 128}, {113, 128}, {114, 160}};
  std::size_t next = 0;
  for (int n = 1; n <= 114; ++n) {
    ASSERT_EQ(table.EnterDouble("V" + std::to_string(n), n), n);
    ASSERT_GE(table.Capacity(), n + 15) << "count " << n;
    if (next < std::size(rows) && rows[next].count == n) {
      EXPECT_EQ(table.Capacity(), rows[next].capacity) << "count " << n;
      ++next;
    }
  }
  // Replacing and removing never resize the block.
  ASSERT_EQ(table.EnterDouble("V1", 0.5), 0);
  while (table.GetCount() > 0) ASSERT_EQ(table.RemoveAt(0), 0);
  EXPECT_EQ(table.Capacity(), 160);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(table.EnterDouble("W" + std::to_string(n), n), n);
  EXPECT_EQ(table.Capacity(), 160);
}

TEST(VariableTable, SlotsAddedByGrowthAreZeroFilled) {
  // Leave freed heap memory full of non-zero bytes, held in place by a fence
  // block so that it is reused rather than returned to the system: a grown
  // block that is not cleared would show those bytes.
  std::vector<void*> dirty;
  for (std::size_t size = 8192; size <= 65536; size += 8192) dirty.push_back(std::malloc(size));
  void* fence = std::malloc(64);
  for (std::size_t i = 0; i < dirty.size(); ++i) {
    ASSERT_NE(dirty[i], nullptr);
    std::memset(dirty[i], 0xA5, 8192 * (i + 1));
    std::free(dirty[i]);
  }
  VariableTable table;
  for (int n = 1; n <= 60; ++n) {
    if (n % 2 == 0) {
      ASSERT_EQ(table.EnterDouble("N" + std::to_string(n), n), n);
    } else {
      ASSERT_EQ(table.EnterString("S" + std::to_string(n), "ab"), n);
    }
  }
  for (int i = 0; i < 60; ++i) {
    const Record record = RecordAt(table, i);
    const std::string name = (i % 2 == 1 ? "N" : "S") + std::to_string(i + 1);
    const std::string where = "record " + std::to_string(i);
    if (i % 2 == 1) {
      ExpectCleanNumberRecord(record, name, i + 1, where);
    } else {
      for (std::size_t b = 2 + name.size(); b < 34; ++b) ASSERT_EQ(record[b], 0) << where << ": byte " << b;
      EXPECT_EQ(Bytes(record, 34, 3), std::string("ab\0", 3)) << where;
      ExpectZeroFrom(record, 37, where);
    }
  }
  std::free(fence);
}

TEST(VariableTable, FreeBlockEmptiesTheTableAndTheNextStoreStartsAFreshBlock) {
  const std::size_t liveBefore = allocation::LiveBlockCount();
  VariableTable table;
  for (int n = 1; n <= 40; ++n) ASSERT_EQ(table.EnterString("S" + std::to_string(n), std::string(222, 'x')), n);
  EXPECT_EQ(table.FreeBlock(), 0);
  EXPECT_EQ(allocation::LiveBlockCount(), liveBefore);
  EXPECT_EQ(table.GetCount(), 0);
  EXPECT_EQ(table.Capacity(), 0);
  int type = 7;
  EXPECT_EQ(table.IndexByKey("S1", type), -1);
  EXPECT_EQ(type, 0);
  double value = 1.0;
  EXPECT_EQ(table.DoubleAt(0, value), -1);
  std::string_view text;
  EXPECT_EQ(table.StringAt(0, text), -1);
  EXPECT_EQ(table.RemoveAt(0), -1);
  EXPECT_EQ(table.FreeBlock(), 0);

  ASSERT_EQ(table.EnterString("S40", "a"), 1);
  EXPECT_EQ(table.Capacity(), 32);
  const Record record = RecordAt(table, 0);
  EXPECT_EQ(Bytes(record, 0, 6), std::string("s\0S40\0", 6));
  EXPECT_EQ(Bytes(record, 34, 2), std::string("a\0", 2));
  ExpectZeroFrom(record, 36, "fresh block");
}

TEST(VariableTable, FailedFirstAllocationLeavesTheTableEmpty) {
  const std::size_t liveBefore = allocation::LiveBlockCount();
  const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
    VariableTable table;
    const int result = failing.Run([&] { return table.EnterDouble("A", 1.0); });
    if (!failing.Injected()) {
      EXPECT_EQ(result, 1);
      return;
    }
    EXPECT_EQ(result, -1) << "failing allocation " << failing.Succeeding();
    EXPECT_EQ(table.GetCount(), 0);
    EXPECT_EQ(table.Capacity(), 0);
    int type = 0;
    EXPECT_EQ(table.IndexByKey("A", type), -1);
    EXPECT_EQ(table.EnterString("A", "again"), 1) << "the table is usable after a failed first allocation";
  }, false, 16);
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, 16u);
  EXPECT_EQ(allocation::LiveBlockCount(), liveBefore);
}

TEST(VariableTable, FailedEnlargementKeepsEveryRecordAndTheCapacity) {
  const std::size_t liveBefore = allocation::LiveBlockCount();
  const std::size_t failed = allocation::FailEachAllocationInTurn([&](allocation::FailingAllocation& failing) {
    VariableTable table;
    for (int n = 1; n <= 17; ++n) {
      ASSERT_EQ(n % 3 ? table.EnterDouble("V" + std::to_string(n), n) : table.EnterString("V" + std::to_string(n), "t"), n);
    }
    ASSERT_EQ(table.Capacity(), 32);
    const std::vector<Record> before = AllRecords(table);

    const int result = failing.Run([&] { return table.EnterString("NEW", "new"); });
    if (!failing.Injected()) {
      EXPECT_EQ(result, 18);
      EXPECT_EQ(table.Capacity(), 64);
      return;
    }
    const std::string where = "failing allocation " + std::to_string(failing.Succeeding());
    EXPECT_EQ(result, -1) << where;
    EXPECT_EQ(table.GetCount(), 17) << where;
    EXPECT_EQ(table.Capacity(), 32) << where;
    EXPECT_EQ(AllRecords(table), before) << where;
    int type = 0;
    for (int n = 1; n <= 17; ++n) EXPECT_EQ(table.IndexByKey("v" + std::to_string(n), type), n - 1) << where;
    EXPECT_EQ(table.IndexByKey("NEW", type), -1) << where;

    // The table works on: the same store succeeds once memory is there again.
    EXPECT_EQ(table.EnterString("NEW", "new"), 18) << where;
    EXPECT_EQ(table.Capacity(), 64) << where;
    for (int n = 1; n <= 17; ++n) EXPECT_EQ(RecordAt(table, n - 1), before[static_cast<std::size_t>(n - 1)]) << where;
  }, false, 16);
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, 16u);
  EXPECT_EQ(allocation::LiveBlockCount(), liveBefore);
}

TEST(VariableTable, ReplacementNeedsNoMemory) {
  VariableTable table;
  for (int n = 1; n <= 17; ++n) ASSERT_EQ(table.EnterDouble("V" + std::to_string(n), n), n);
  allocation::FailAfter(0, /*persistent=*/true);
  EXPECT_EQ(table.EnterDouble("V5", -5.0), 4);
  EXPECT_EQ(table.EnterString("V6", "six"), 5);
  EXPECT_EQ(table.EnterDouble("V18", 18.0), -1);
  EXPECT_EQ(table.EnterDouble("V19", 19.0), -1);
  allocation::StopFailing();
  EXPECT_EQ(table.GetCount(), 17);
  double value = 0.0;
  EXPECT_EQ(table.LookupDouble("V5", value), 4);
  EXPECT_EQ(value, -5.0);
}

TEST(VariableTable, NamesAreSignificantToTheirFirst31Bytes) {
  VariableTable table;
  const std::string name40 = "abcdefghijklmnopqrstuvwxyz0123456789wxyz";
  ASSERT_EQ(name40.size(), 40u);
  const std::string key31 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";
  ASSERT_EQ(table.EnterDouble("  " + name40 + "\t", 1.0), 1);
  EXPECT_EQ(table.EnterDouble(name40, 2.0), 0);
  EXPECT_EQ(table.GetCount(), 1);
  const Record record = RecordAt(table, 0);
  EXPECT_EQ(Bytes(record, 2, 32), key31 + std::string(1, '\0'));

  struct Row {
    std::string name;
    int index;
  };
  const Row rows[] = {
      {name40, 0}, {key31, 0}, {key31 + "-other tail", 0}, {key31.substr(0, 30), -1}, {" " + key31 + " ", 0},
  };
  for (const Row& row : rows) {
    int type = 0;
    EXPECT_EQ(table.IndexByKey(row.name, type), row.index) << row.name;
    double value = 0.0;
    EXPECT_EQ(table.LookupDouble(row.name, value), row.index) << row.name;
    if (row.index == 0) {
      EXPECT_EQ(value, 2.0) << row.name;
    }
  }
  EXPECT_EQ(table.RemoveByKey(name40), 0);
  EXPECT_EQ(table.GetCount(), 0);
}

}  // namespace
