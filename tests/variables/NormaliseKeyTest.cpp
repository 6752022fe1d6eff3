// How names become keys (trimmed of exactly six white-space bytes, a-z
// upper-cased, other bytes kept, cut to 31 bytes), and a long random run of
// stores and removals checked against a plain model, which exercises the key
// index's probing and its renumbering on removal.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "variables/NormaliseKey.h"
#include "variables/VariableTable.h"

namespace {

using exprcalc::NormaliseKey;
using exprcalc::VariableTable;

bool IsNameWhiteSpace(int byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

TEST(NormaliseKey, Rows) {
  struct Row {
    std::string name;
    std::string key;
  };
  const Row rows[] = {
      {"rate", "RATE"}, {" \t\n\v\f\rRate \t\n\v\f\r", "RATE"}, {"a b", "A B"}, {"\xA0name\x85", "\xA0NAME\x85"},
      {"\xE4\xF6\xFC", "\xE4\xF6\xFC"}, {"@x1_y{}", "@X1_Y{}"}, {"   ", ""}, {"", ""},
      {std::string(30, 'a') + " b", std::string(30, 'A')},  // white space left by the cut goes too
      {std::string(29, 'a') + " \t b", std::string(29, 'A')},
      {"\t" + std::string(40, 'q') + "\t", std::string(31, 'Q')},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NormaliseKey(row.name).View(), row.key) << "name \"" << row.name << "\"";
    EXPECT_EQ(NormaliseKey(row.key).View(), row.key) << "a key normalised again changes: \"" << row.key << "\"";
  }
}

TEST(NormaliseKey, ExactlySixBytesAreWhiteSpace) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("K", 1.0), 1);
  for (int byte = 0; byte < 256; ++byte) {
    const std::string around(1, static_cast<char>(byte));
    int type = 0;
    const int expected = IsNameWhiteSpace(byte) ? 0 : -1;
    EXPECT_EQ(table.IndexByKey(around + "k" + around, type), expected) << "byte " << byte;
    EXPECT_EQ(table.IndexByKey(around + "K", type), expected) << "leading byte " << byte;
    EXPECT_EQ(table.IndexByKey("K" + around, type), expected) << "trailing byte " << byte;
  }
}

TEST(NormaliseKey, OnlyLowerCaseAsciiLettersAreUpperCased) {
  VariableTable table;
  for (int byte = 1; byte < 256; ++byte) {
    const std::string name = std::string("x") + static_cast<char>(byte) + "x";
    ASSERT_GT(table.EnterDouble(name, byte), -1) << "byte " << byte;
  }
  EXPECT_EQ(table.GetCount(), 255 - 26) << "a-z and A-Z name the same variables";
  for (int byte = 1; byte < 256; ++byte) {
    const char upper = static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte);
    const std::string name = std::string("x") + static_cast<char>(byte) + "x";
    int type = 0;
    const int index = table.IndexByKey(name, type);
    ASSERT_GE(index, 0) << "byte " << byte;
    std::array<unsigned char, 256> record{};
    ASSERT_EQ(table.CopyRecord(index, record.data()), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data() + 2), 4), std::string("X") + upper + "X" + '\0')
        << "byte " << byte;
  }
}

TEST(NormaliseKey, EmptyAndWhiteSpaceNamesAreTheEmptyName) {
  VariableTable table;
  ASSERT_EQ(table.EnterDouble("", 1.0), 1);
  EXPECT_EQ(table.EnterDouble(" \t\n\v\f\r", 2.0), 0);
  EXPECT_EQ(table.EnterString("   ", "t"), 0);
  int type = 0;
  EXPECT_EQ(table.IndexByKey("\r\n", type), 0);
  EXPECT_EQ(type, 's');
  EXPECT_EQ(table.GetCount(), 1);
}

// A long run of appends, replacements and removals, checked after each step
// against a vector that holds the names in table order.
TEST(KeyIndex, RandomStoresAndRemovalsAgreeWithAModel) {
  std::vector<std::string> pool;
  for (int i = 0; i < 300; ++i) pool.push_back("name" + std::to_string(i * 7919 % 1000));
  std::mt19937 random(20240601u);
  VariableTable table;
  std::vector<std::pair<std::string, double>> model;
  auto modelIndex = [&](const std::string& key) -> int {
    for (std::size_t i = 0; i < model.size(); ++i) {
      if (model[i].first == key) return static_cast<int>(i);
    }
    return -1;
  };
  auto upper = [](std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return name;
  };

  for (int step = 0; step < 4000; ++step) {
    const std::string& name = pool[random() % pool.size()];
    const std::string key = upper(name);
    const unsigned action = random() % 10;
    const std::string where = "step " + std::to_string(step);
    if (action < 6) {
      const double value = step;
      const int existing = modelIndex(key);
      const int expected = existing >= 0 ? existing : static_cast<int>(model.size()) + 1;
      ASSERT_EQ(table.EnterDouble(name, value), expected) << where;
      if (existing >= 0) {
        model[static_cast<std::size_t>(existing)].second = value;
      } else {
        model.emplace_back(key, value);
      }
    } else if (action < 8) {
      const int existing = modelIndex(key);
      ASSERT_EQ(table.RemoveByKey(name), existing >= 0 ? 0 : -1) << where;
      if (existing >= 0) model.erase(model.begin() + existing);
    } else if (action < 9 && !model.empty()) {
      const int index = static_cast<int>(random() % model.size());
      ASSERT_EQ(table.RemoveAt(index), 0) << where;
      model.erase(model.begin() + index);
    } else if (step % 1000 == 999) {
      ASSERT_EQ(table.FreeBlock(), 0);
      model.clear();
    }
    ASSERT_EQ(table.GetCount(), static_cast<int>(model.size())) << where;
    if (step % 16 == 0 || step > 3900) {
      for (const std::string& probe : pool) {
        int type = 0;
        ASSERT_EQ(table.IndexByKey(probe, type), modelIndex(upper(probe))) << where << ", " << probe;
      }
      for (std::size_t i = 0; i < model.size(); ++i) {
        double value = -1.0;
        ASSERT_EQ(table.DoubleAt(static_cast<int>(i), value), static_cast<int>(i)) << where;
        ASSERT_EQ(value, model[i].second) << where << ", index " << i;
      }
    }
  }
}

}  // namespace
