// Calls the library's exports and the table model side by side and compares
// every result and every output byte, including what must stay untouched.
// Shared by the statements fuzz target and the model-based test; a call can
// be made to fail at its k-th allocation, and must then report its documented
// failure and change nothing.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "TableModel.h"
#include "exprcalc.h"
#include "AllocationFaults.h"
#include "language/BuiltIns.h"

namespace exprcalc::model {

// What the library reads from a text argument: null and values below 65536 are the empty text.
inline std::string_view ArgumentText(const char* text) {
  if (reinterpret_cast<std::uintptr_t>(text) < 0x10000) return {};
  return text;
}

// A short printable form of a text argument for failure messages.
inline std::string Show(const char* text) {
  if (text == nullptr) return "null";
  if (reinterpret_cast<std::uintptr_t>(text) < 0x10000) {
    return "(const char*)" + std::to_string(reinterpret_cast<std::uintptr_t>(text));
  }
  const std::string_view view(text);
  std::string shown = "\"";
  for (std::size_t i = 0; i < view.size() && i < 80; ++i) {
    const unsigned char c = static_cast<unsigned char>(view[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  shown += view.size() > 80 ? "\"...(" + std::to_string(view.size()) + " bytes)" : "\"";
  return shown;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline std::string ShowNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A name that an expression can refer to: "@" or a letter, then letters and digits.
inline bool IsExpressionName(std::string_view name) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (name.empty() || !(letter(name[0]) || name[0] == '@')) return false;
  for (char c : name.substr(1)) {
    if (!letter(c) && !digit(c)) return false;
  }
  return FindBuiltIn(name) == nullptr;
}

class ExportChecker {
 public:
  // The message of the first mismatch, empty while everything agreed.
  const std::string& Failure() const { return failure_; }
  const TableModel& Model() const { return model_; }

  // The next store, evaluation or statement fails at its allocation number
  // k (0: the first); with persistent, every later allocation of that call fails too.
  void FailNextCall(std::size_t k, bool persistent) {
    armed_ = true;
    failAt_ = k;
    persistent_ = persistent;
  }

  bool EnterVarDouble(const char* name, double value) {
    auto call = [&] { return "EnterVarDouble(" + Show(name) + ", " + ShowNumber(value) + ")"; };
    Arm();
    const int got = ::EnterVarDouble(name, value);
    if (Disarm()) return Expect(got == -1, call, got, -1, "after a failed allocation");
    const int want = model_.EnterDouble(ArgumentText(name), value);
    return Expect(got == want, call, got, want);
  }

  bool EnterVarString(const char* name, const char* text) {
    auto call = [&] { return "EnterVarString(" + Show(name) + ", " + Show(text) + ")"; };
    Arm();
    const int got = ::EnterVarString(name, text);
    if (Disarm()) return Expect(got == -1, call, got, -1, "after a failed allocation");
    const int want = model_.EnterString(ArgumentText(name), ArgumentText(text));
    return Expect(got == want, call, got, want);
  }

  bool FreeVariable() {
    model_.Free();
    const int got = ::FreeVariable();
    return Expect(got == 0, [] { return std::string("FreeVariable()"); }, got, 0);
  }

  bool GetIndexByKey(const char* name) {
    auto call = [&] { return "GetIndexByKey(" + Show(name) + ")"; };
    int type = 12345;
    const int got = ::GetIndexByKey(name, &type);
    int wantType = 0;
    const int want = model_.IndexByKey(ArgumentText(name), wantType);
    return Expect(got == want, call, got, want) && Expect(type == wantType, call, type, wantType, "(type)");
  }

  bool GetVar(int index) {
    auto call = [&] { return "GetVar(" + std::to_string(index) + ")"; };
    unsigned char buffer[256 + Guard];
    std::memset(buffer, Fill, sizeof buffer);
    const int got = ::GetVar(index, buffer);
    const Record* want = model_.At(index);
    if (!Expect(got == (want ? 0 : -1), call, got, want ? 0 : -1)) return false;
    if (want && std::memcmp(buffer, want->data(), 256) != 0) {
      return Mismatch(call() + ": record bytes differ from offset " +
                      std::to_string(FirstDifference(buffer, want->data(), 256)));
    }
    return Untouched(buffer, want ? 256 : 0, sizeof buffer, call);
  }

  bool GetVarCount() {
    const int got = ::GetVarCount();
    return Expect(got == model_.Count(), [] { return std::string("GetVarCount()"); }, got, model_.Count());
  }

  bool LookupVarDouble(const char* name) {
    auto call = [&] { return "LookupVarDouble(" + Show(name) + ")"; };
    double value = PoisonNumber();
    const int got = ::LookupVarDouble(name, &value);
    double wantValue = 0.0;
    const int want = model_.LookupDouble(ArgumentText(name), wantValue);
    return Expect(got == want, call, got, want) && ExpectNumber(value, wantValue, call);
  }

  bool LookupVarString(const char* name) {
    auto call = [&] { return "LookupVarString(" + Show(name) + ")"; };
    char buffer[EXPRCALC_TEXT_BUFFER_SIZE + Guard];
    std::memset(buffer, Fill, sizeof buffer);
    const int got = ::LookupVarString(name, buffer);
    std::string wantText;
    const int want = model_.LookupString(ArgumentText(name), wantText);
    return Expect(got == want, call, got, want) && ExpectText(buffer, sizeof buffer, wantText, call);
  }

  // Any text: the code is a documented one and the value 0.0 unless the code is 0.
  bool ParseString(const char* expression) {
    auto call = [&] { return "ParseString(" + Show(expression) + ")"; };
    double value = PoisonNumber();
    Arm();
    const int code = ::ParseString(expression, &value);
    if (Disarm()) return Expect(code == EXPRCALC_OUT_OF_MEMORY, call, code, 257, "after a failed allocation");
    if (code != 0 && code != 1 && code != 2 && code != 3 && code != 257 && code != 32768) {
      return Mismatch(call() + " gave the undocumented code " + std::to_string(code));
    }
    if (code != 0 && !SameBits(value, 0.0)) return Mismatch(call() + " left a value other than +0.0 with a failure code");
    return true;
  }

  // An expression that names a stored variable reads its number, or 0 for a text.
  bool ParseVariable(int index, bool lowerCase, std::string_view suffix) {
    const Record* record = model_.At(index);
    if (record == nullptr) return true;
    std::string name(NameIn(*record));
    if (!IsExpressionName(name)) return true;
    if (name.size() == NameBytes) name += suffix;  // only the first 31 bytes count
    if (lowerCase) {
      for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    }
    auto call = [&] { return "ParseString(" + Show(name.c_str()) + ")"; };
    double value = PoisonNumber();
    const int code = ::ParseString(name.c_str(), &value);
    const double want = (*record)[0] == NumberType ? NumberIn(*record) : 0.0;
    return Expect(code == 0, call, code, 0) && ExpectNumber(value, want, call);
  }

  bool RemoveVarIndex(int index) {
    const int got = ::RemoveVarIndex(index);
    const int want = model_.RemoveIndex(index);
    return Expect(got == want, [&] { return "RemoveVarIndex(" + std::to_string(index) + ")"; }, got, want);
  }

  bool RemoveVariable(const char* name) {
    const int got = ::RemoveVariable(name);
    const int want = model_.RemoveName(ArgumentText(name));
    return Expect(got == want, [&] { return "RemoveVariable(" + Show(name) + ")"; }, got, want);
  }

  bool Substitution(const char* statement) {
    auto call = [&] { return "Substitution(" + Show(statement) + ")"; };
    // The right part's value comes from the library's own evaluator, asked
    // before the statement runs, as the statement itself evaluates it. With a
    // failure armed, the model keeps its state until the call has succeeded.
    TableModel before;
    if (armed_) before = model_;
    const int want = model_.Substitution(ArgumentText(statement), [](std::string_view expression, double& value) {
      const std::string text(expression);
      return ::ParseString(text.c_str(), &value);
    });
    // Judging it first says what it will do, and writes nothing (the model
    // would disagree with the next call if it did).
    exprcalc_statement_judgement judged;
    const int foreseen = ::exprcalc_judge_statement(statement, &judged);
    if (!Expect(foreseen == want, [&] { return "exprcalc_judge_statement(" + Show(statement) + ")"; }, foreseen,
                want)) {
      return false;
    }
    // It names the bytes of the statement that the store takes, or none.
    const TableModel::TextPlace text = model_.LastText();
    const bool placed = text.at == TableModel::NoText
                            ? judged.text_at == EXPRCALC_NOWHERE
                            : judged.text_at == text.at && judged.text_length == text.length;
    if (!placed) {
      return Mismatch("exprcalc_judge_statement(" + Show(statement) + ") placed its text at " +
                      std::to_string(judged.text_at) + " (" + std::to_string(judged.text_length) + " bytes), model " +
                      std::to_string(text.at) + " (" + std::to_string(text.length) + " bytes)");
    }
    Arm();
    const int got = ::Substitution(statement);
    if (Disarm()) {
      model_ = std::move(before);
      return Expect(got == 1, call, got, 1, "after a failed allocation");
    }
    return Expect(got == want, call, got, want);
  }

  bool VarDouble(int index) {
    auto call = [&] { return "VarDouble(" + std::to_string(index) + ")"; };
    double value = PoisonNumber();
    const int got = ::VarDouble(index, &value);
    double wantValue = 0.0;
    const int want = model_.VarDouble(index, wantValue);
    return Expect(got == want, call, got, want) && ExpectNumber(value, wantValue, call);
  }

  bool VarString(int index) {
    auto call = [&] { return "VarString(" + std::to_string(index) + ")"; };
    char buffer[EXPRCALC_TEXT_BUFFER_SIZE + Guard];
    std::memset(buffer, Fill, sizeof buffer);
    const int got = ::VarString(index, buffer);
    std::string wantText;
    const int want = model_.VarString(index, wantText);
    return Expect(got == want, call, got, want) && ExpectText(buffer, sizeof buffer, wantText, call);
  }

  // A call whose output pointer is null or below 65536: nothing is written
  // through it and the result is the model's (GetVar, which only copies, gives -1).
  bool WithoutOutput(std::uint8_t which, const char* name, int index, std::uintptr_t pointerValue) {
    void* out = reinterpret_cast<void*>(pointerValue % 0x10000);
    auto call = [&](const char* what) {
      return [=] { return std::string(what) + " with output pointer " + std::to_string(pointerValue % 0x10000); };
    };
    int type = 0;
    double number = 0.0;
    std::string text;
    switch (which % 7) {
      case 0: {
        const int got = ::GetIndexByKey(name, static_cast<int*>(out)), want = model_.IndexByKey(ArgumentText(name), type);
        return Expect(got == want, call("GetIndexByKey"), got, want);
      }
      case 1: {
        const int got = ::LookupVarDouble(name, static_cast<double*>(out));
        const int want = model_.LookupDouble(ArgumentText(name), number);
        return Expect(got == want, call("LookupVarDouble"), got, want);
      }
      case 2: {
        const int got = ::LookupVarString(name, static_cast<char*>(out));
        const int want = model_.LookupString(ArgumentText(name), text);
        return Expect(got == want, call("LookupVarString"), got, want);
      }
      case 3: {
        const int got = ::VarDouble(index, static_cast<double*>(out)), want = model_.VarDouble(index, number);
        return Expect(got == want, call("VarDouble"), got, want);
      }
      case 4: {
        const int got = ::VarString(index, static_cast<char*>(out)), want = model_.VarString(index, text);
        return Expect(got == want, call("VarString"), got, want);
      }
      case 5: {
        const int got = ::GetVar(index, out);
        return Expect(got == -1, call("GetVar"), got, -1);
      }
      default: {
        const int want = ::ParseString(name, &number);
        const int got = ::ParseString(name, static_cast<double*>(out));
        return Expect(got == want, call("ParseString"), got, want);
      }
    }
  }

  // The whole table: the count, every record's bytes, and every record found by its stored name.
  bool CompareTable() {
    if (!GetVarCount() || !GetVar(model_.Count()) || !GetVar(-1)) return false;
    for (int i = 0; i < model_.Count(); ++i) {
      if (!GetVar(i)) return false;
      // Every stored name is its own key and finds its own record, by either lookup.
      const std::string name(NameIn(*model_.At(i)));
      int type = 0;
      double value = 0.0;
      const auto call = [&](const char* what) { return std::string(what) + "(" + Show(name.c_str()) + ")"; };
      if (!Expect(Key(name) == name, [&] { return "the stored name's key " + call("Key"); }, 0, 1)) return false;
      int got = ::GetIndexByKey(name.c_str(), &type);
      if (!Expect(got == i, [&] { return call("GetIndexByKey"); }, got, i)) return false;
      got = ::LookupVarDouble(name.c_str(), &value);
      if (!Expect(got == i, [&] { return call("LookupVarDouble"); }, got, i)) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t Guard = 32;  // bytes past an output that must stay untouched
  static constexpr unsigned char Fill = 0xA5;

  static double PoisonNumber() {
    const std::uint64_t bits = 0x7FF4A5A5A5A5A5A5u;  // what an output the library did not write still holds
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  static std::size_t FirstDifference(const unsigned char* a, const unsigned char* b, std::size_t size) {
    std::size_t i = 0;
    while (i < size && a[i] == b[i]) ++i;
    return i;
  }

  void Arm() {
    if (armed_) allocation::FailAfter(failAt_, persistent_);
  }

  // Ends the injection; true when it made this call's allocation fail.
  bool Disarm() {
    if (!armed_) return false;
    armed_ = false;
    const bool injected = allocation::FailureInjected();
    allocation::StopFailing();
    return injected;
  }

  bool Mismatch(std::string message) {
    if (failure_.empty()) failure_ = std::move(message);
    return false;
  }

  // The messages are put together only on a mismatch: call() names the call.
  template <typename Call>
  bool Expect(bool ok, Call&& call, int got, int want, const char* note = "") {
    if (ok) return true;
    return Mismatch(call() + " gave " + std::to_string(got) + ", model " + std::to_string(want) + " " + note);
  }

  template <typename Call>
  bool ExpectNumber(double got, double want, Call&& call) {
    if (SameBits(got, want)) return true;
    return Mismatch(call() + " wrote " + ShowNumber(got) + ", model " + ShowNumber(want));
  }

  template <typename Call>
  bool ExpectText(const char* buffer, std::size_t size, const std::string& want, Call&& call) {
    if (std::memcmp(buffer, want.c_str(), want.size() + 1) != 0) {
      const std::string written(buffer, strnlen(buffer, size));  // the library may have left no NUL
      return Mismatch(call() + " wrote " + Show(written.c_str()) + ", model " + Show(want.c_str()));
    }
    return Untouched(reinterpret_cast<const unsigned char*>(buffer), want.size() + 1, size, call);
  }

  template <typename Call>
  bool Untouched(const unsigned char* buffer, std::size_t from, std::size_t size, Call&& call) {
    static const std::array<unsigned char, 512> fill = [] {
      std::array<unsigned char, 512> bytes;
      bytes.fill(Fill);
      return bytes;
    }();
    if (size <= from || std::memcmp(buffer + from, fill.data(), size - from) == 0) return true;
    return Mismatch(call() + " wrote past its output");
  }

  TableModel model_;
  std::string failure_;
  bool armed_ = false;
  bool persistent_ = false;
  std::size_t failAt_ = 0;
};

}  // namespace exprcalc::model
