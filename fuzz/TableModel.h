// A small model of the variable table as a host sees it, written from the
// documented behaviour alone (no library code): a list of 256-byte records
// laid out byte for byte as GetVar delivers them. The statements fuzz target
// and the model-based test hold the library's answers against it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace exprcalc::model {

using Record = std::array<unsigned char, 256>;

inline constexpr std::size_t NameOffset = 2;
inline constexpr std::size_t NameBytes = 31;  // significant bytes of a name
inline constexpr std::size_t TextOffset = 34;
inline constexpr std::size_t TextBytes = 222;
inline constexpr std::size_t NumberOffset = 40;
inline constexpr unsigned char NumberType = 'd';
inline constexpr unsigned char TextType = 's';

inline bool IsBlankByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankByte(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankByte(text.back())) text.remove_suffix(1);
  return text;
}

// Trimmed, a-z upper-cased, cut to its significant bytes, and trimmed again
// where the cut leaves white space at the end.
inline std::string Key(std::string_view name) {
  std::string key(Trim(Trim(name).substr(0, NameBytes)));
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return key;
}

inline std::string_view NameIn(const Record& record) {
  const char* name = reinterpret_cast<const char*>(record.data() + NameOffset);
  return {name, strnlen(name, NameBytes + 1)};
}

inline std::string_view TextIn(const Record& record) {
  const char* text = reinterpret_cast<const char*>(record.data() + TextOffset);
  return {text, strnlen(text, TextBytes)};
}

inline double NumberIn(const Record& record) {
  double value;
  std::memcpy(&value, record.data() + NumberOffset, sizeof value);
  return value;
}

class TableModel {
 public:
  int Count() const { return static_cast<int>(records_.size()); }
  const std::vector<Record>& Records() const { return records_; }

  int Find(std::string_view name) const {
    const std::string key = Key(name);
    for (std::size_t i = 0; i < records_.size(); ++i) {
      // The stored name and its NUL against the key and its NUL.
      if (std::memcmp(records_[i].data() + NameOffset, key.c_str(), key.size() + 1) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  int EnterDouble(std::string_view name, double value) {
    bool appended = false;
    Record& record = Slot(name, NumberType, appended);
    std::memcpy(record.data() + NumberOffset, &value, sizeof value);
    return appended ? Count() : Find(name);
  }

  int EnterString(std::string_view name, std::string_view text) {
    bool appended = false;
    Record& record = Slot(name, TextType, appended);
    text = text.substr(0, TextBytes);
    if (!text.empty()) std::memcpy(record.data() + TextOffset, text.data(), text.size());
    if (text.size() < TextBytes) record[TextOffset + text.size()] = 0;
    return appended ? Count() : Find(name);
  }

  void Free() { records_.clear(); }

  int IndexByKey(std::string_view name, int& type) const {
    const int index = Find(name);
    type = index < 0 ? 0 : records_[static_cast<std::size_t>(index)][0];
    return index;
  }

  const Record* At(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return &records_[static_cast<std::size_t>(index)];
  }

  int LookupDouble(std::string_view name, double& value) const {
    const int index = Find(name);
    value = index < 0 ? 0.0 : NumberIn(*At(index));
    return index;
  }

  int LookupString(std::string_view name, std::string& text) const {
    const int index = Find(name);
    text = index < 0 ? std::string() : std::string(TextIn(*At(index)));
    return index;
  }

  int VarDouble(int index, double& value) const {
    const Record* record = At(index);
    if (record == nullptr || (*record)[0] != NumberType) {
      value = 0.0;
      return -1;
    }
    value = NumberIn(*record);
    return index;
  }

  int VarString(int index, std::string& text) const {
    const Record* record = At(index);
    if (record == nullptr || (*record)[0] != TextType) {
      text.clear();
      return -1;
    }
    text = TextIn(*record);
    return index;
  }

  int RemoveIndex(int index) {
    if (At(index) == nullptr) return -1;
    records_.erase(records_.begin() + index);
    return 0;
  }

  int RemoveName(std::string_view name) { return RemoveIndex(Find(name)); }

  // "@NAME = right part". evaluate(expression, value) gives the result code of
  // the right part, which only the library itself can compute.
  template <typename Evaluate>
  int Substitution(std::string_view statement, Evaluate&& evaluate) {
    lastText_ = {NoText, 0};
    const std::size_t equals = statement.find('=');
    if (equals == std::string_view::npos) return 1;
    const std::string_view left = Trim(statement.substr(0, equals));
    const std::string_view right = Trim(statement.substr(equals + 1));
    if (left.empty() || left.front() != '@') return 1;
    if (right.empty()) return RemoveName(left) == 0 ? 0 : -1;
    if (right.front() == '"') {
      const std::string_view quoted = right.substr(1);
      const std::string_view text = quoted.substr(0, quoted.find_first_of("\t\""));
      lastText_ = {static_cast<std::size_t>(text.data() - statement.data()), std::min(text.size(), TextBytes)};
      EnterString(left, text);
      return 0;
    }
    double value = 0.0;
    if (evaluate(right, value) != 0) return 1;
    EnterDouble(left, value);
    return 0;
  }

  // Where the text that the last Substitution stored lies in its statement,
  // and the length stored; at is NoText when it stored none.
  static constexpr std::size_t NoText = static_cast<std::size_t>(-1);
  struct TextPlace {
    std::size_t at;
    std::size_t length;
  };
  TextPlace LastText() const { return lastText_; }

 private:
  // The record of name with its type and reserved byte written: replaced in
  // place (every other byte kept), or appended zero-filled with its name.
  Record& Slot(std::string_view name, unsigned char type, bool& appended) {
    const int index = Find(name);
    appended = index < 0;
    if (appended) {
      records_.emplace_back();
      records_.back().fill(0);
      const std::string key = Key(name);
      std::memcpy(records_.back().data() + NameOffset, key.data(), key.size());
    }
    Record& record = appended ? records_.back() : records_[static_cast<std::size_t>(index)];
    record[0] = type;
    record[1] = 0;
    return record;
  }

  std::vector<Record> records_;
  TextPlace lastText_{NoText, 0};
};

}  // namespace exprcalc::model
