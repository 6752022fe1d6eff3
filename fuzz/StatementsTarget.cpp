// Fuzz target: the input is read as a sequence of calls of all fourteen
// exports (names, texts and statements drawn from it, null and small pointer
// values included), each checked against the table model; a call can be made
// to fail at one of its allocations, and must then change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ExportChecker.h"
#include "FuzzInput.h"

namespace {

using exprcalc::model::ExportChecker;

// A text argument: the bytes it points to, or a null or small pointer value.
struct Argument {
  std::string text;
  const char* pointer = nullptr;
  bool isText = true;
  const char* Get() const { return isText ? text.c_str() : pointer; }
};

// Texts seen so far, so that later calls meet the same names again.
class TextPool {
 public:
  void Add(const std::string& text) {
    if (texts_.size() < 32) texts_.push_back(text);
  }
  bool Empty() const { return texts_.empty(); }
  const std::string& Pick(std::uint8_t choice) const { return texts_[choice % texts_.size()]; }

 private:
  std::vector<std::string> texts_;
};

std::string FreshText(Input& in) {
  std::size_t length = in.Byte();
  if (length >= 240) length = 200 + in.Byte();  // now and then beyond a text's 222 bytes
  return in.Bytes(length);
}

std::string Varied(std::string text, std::uint8_t how) {
  for (char& c : text) {
    if ((how & 1) && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if ((how & 2) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  static const char* const pads[] = {"", " ", "\t", "\r\n", " \v\f "};
  return pads[(how >> 2) % 5] + text + pads[(how >> 5) % 5];
}

Argument ChooseText(Input& in, TextPool& pool) {
  Argument argument;
  const std::uint8_t choice = in.Byte();
  switch (choice % 8) {
    case 0:
      argument.isText = false;
      return argument;
    case 1:
      argument.isText = false;
      argument.pointer = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(1 + in.Word() % 0xFFFF));
      return argument;
    case 2:
      if (!pool.Empty()) {
        argument.text = pool.Pick(in.Byte());
        return argument;
      }
      break;
    case 3:
      if (!pool.Empty()) {
        argument.text = Varied(pool.Pick(in.Byte()), in.Byte());
        return argument;
      }
      break;
    case 4:
      if (!pool.Empty()) {
        argument.text = pool.Pick(in.Byte()) + FreshText(in);
        return argument;
      }
      break;
    case 5:
      argument.text = "@" + FreshText(in);
      pool.Add(argument.text);
      return argument;
    default:
      break;
  }
  argument.text = FreshText(in);
  pool.Add(argument.text);
  return argument;
}

// "@NAME = right part" in its several forms, or any text at all.
Argument ChooseStatement(Input& in, TextPool& pool) {
  const std::uint8_t form = in.Byte();
  if (form % 8 == 0) return ChooseText(in, pool);
  Argument left = ChooseText(in, pool);
  std::string statement = (form & 8) ? left.text : "@" + left.text;
  statement += (form & 16) ? " = " : "=";
  switch ((form >> 5) % 4) {
    case 0:
      break;  // removes the variable
    case 1:
      statement += "\"" + ChooseText(in, pool).text;
      if (in.Byte() & 1) statement += "\"";
      break;
    case 2:
      statement += "@" + left.text + "+1";
      break;
    default:
      statement += ChooseText(in, pool).text;
      break;
  }
  Argument argument;
  argument.text = statement;
  return argument;
}

int ChooseIndex(Input& in, int count) {
  const std::uint8_t choice = in.Byte();
  switch (choice) {
    case 250: return std::numeric_limits<int>::min();
    case 251: return std::numeric_limits<int>::max();
    case 252: return -2;
    case 253: return count;
    case 254: return count + 1;
    case 255: return 65536;
    default: return static_cast<int>(choice % (count + 1)) - (choice >= 128 ? 1 : 0);
  }
}

double ChooseNumber(Input& in) {
  const std::uint8_t choice = in.Byte();
  switch (choice % 8) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return -0.0;
    case 4: return std::numeric_limits<double>::denorm_min();
    case 5: {
      const std::string bytes = in.Bytes(8) + std::string(8, '\0');
      double value;
      std::memcpy(&value, bytes.data(), sizeof value);
      return value;
    }
    default: return static_cast<double>(static_cast<std::int8_t>(in.Byte()));
  }
}

bool RunOne(Input& in, TextPool& pool, ExportChecker& check) {
  const int count = check.Model().Count();
  switch (in.Byte() % 18) {
    case 0: return check.EnterVarDouble(ChooseText(in, pool).Get(), ChooseNumber(in));
    case 1: {
      const Argument name = ChooseText(in, pool);
      const Argument text = ChooseText(in, pool);
      return check.EnterVarString(name.Get(), text.Get());
    }
    case 2: return (in.Byte() % 4 == 0) ? check.FreeVariable() : check.GetVarCount();
    case 3: return check.GetIndexByKey(ChooseText(in, pool).Get());
    case 4: return check.GetVar(ChooseIndex(in, count));
    case 5: return check.GetVarCount();
    case 6: return check.LookupVarDouble(ChooseText(in, pool).Get());
    case 7: return check.LookupVarString(ChooseText(in, pool).Get());
    case 8: return check.ParseString(ChooseText(in, pool).Get());
    case 9: return check.RemoveVarIndex(ChooseIndex(in, count));
    case 10: return check.RemoveVariable(ChooseText(in, pool).Get());
    case 11: return check.Substitution(ChooseStatement(in, pool).Get());
    case 12: return check.VarDouble(ChooseIndex(in, count));
    case 13: return check.VarString(ChooseIndex(in, count));
    case 14: {
      const std::uint8_t how = in.Byte();
      check.FailNextCall(how % 4, (how & 0x80) != 0);
      return true;
    }
    case 15: {
      const std::uint8_t how = in.Byte();
      return check.ParseVariable(ChooseIndex(in, count), (how & 1) != 0, std::string((how >> 1) & 7, 'Q'));
    }
    case 16: {
      const std::uint8_t which = in.Byte();
      const std::uintptr_t high = in.Byte();
      const std::uintptr_t pointer = (high << 8) | in.Byte();
      const Argument name = ChooseText(in, pool);
      const int index = ChooseIndex(in, count);
      return check.WithoutOutput(which, name.Get(), index, pointer);
    }
    default: {  // many appends in a row, to reach the table's growth
      const std::uint8_t stores = in.Byte() % 64;
      const std::string stem = FreshText(in).substr(0, 20);
      for (int i = 0; i < stores; ++i) {
        if (!check.EnterVarDouble((stem + "#" + std::to_string(i)).c_str(), i)) return false;
      }
      return true;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  TextPool pool;
  ExportChecker check;
  bool agreed = check.FreeVariable();
  for (int calls = 0; agreed && !in.Empty(); ++calls) {
    agreed = RunOne(in, pool, check);
    // Every call checks its own results and outputs; the whole table, which
    // costs as much as a call per record, is compared now and then.
    if (agreed && calls % 16 == 15) agreed = check.CompareTable();
  }
  if (agreed) agreed = check.CompareTable();
  if (!agreed) {
    std::fprintf(stderr, "exprcalc statements target: %s\n", check.Failure().c_str());
    std::abort();
  }
  ::FreeVariable();
  return 0;
}
