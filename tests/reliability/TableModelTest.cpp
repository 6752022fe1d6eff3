// Model-based test: a long, seeded, reproducible series of random calls of
// the twelve variable exports and Substitution, each result and output held
// against the table model that the statements fuzz target also uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ExportChecker.h"

namespace {

using exprcalc::model::ExportChecker;

constexpr int Calls = 120000;
constexpr std::uint32_t Seed = 20240611;

class CallGenerator {
 public:
  explicit CallGenerator(std::uint32_t seed) : random_(seed) {
    // Names meet again in other spellings: case, white space, 31-byte cuts.
    for (int i = 0; i < 120; ++i) names_.push_back("@V" + std::to_string(i));
    for (const char* name : {"", " ", "@", "@A", "@a", " \t@A\r\n", "@A B", "rate", "RATE", "Rate ",
                             "\xE4\xF6", "@0", "SIN"}) {
      names_.push_back(name);
    }
    const std::string stem(31, 'L');
    names_.push_back(stem);
    names_.push_back(stem + "ONGER");
    names_.push_back(stem + "OTHER");
    names_.push_back(std::string(30, 'W') + " TAIL");  // its 31-byte cut ends in a blank
  }

  int Below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }

  const std::string& Name() { return names_[static_cast<std::size_t>(Below(static_cast<int>(names_.size())))]; }

  std::string Text() {
    const int length = Below(8) == 0 ? 200 + Below(101) : Below(24);
    std::string text;
    for (int i = 0; i < length; ++i) {
      const int pick = Below(20);
      text += pick == 0 ? static_cast<char>(1 + Below(255)) : static_cast<char>('a' + pick);
    }
    return text;
  }

  double Number() {
    switch (Below(10)) {
      case 0: return std::numeric_limits<double>::quiet_NaN();
      case 1: return -std::numeric_limits<double>::infinity();
      case 2: return -0.0;
      default: return std::uniform_real_distribution<double>(-1e6, 1e6)(random_);
    }
  }

  int Index(int count) {
    switch (Below(12)) {
      case 0: return -1;
      case 1: return count;
      case 2: return std::numeric_limits<int>::min();
      default: return Below(count + 1);
    }
  }

  std::string Statement() {
    const std::string& name = Name();
    switch (Below(6)) {
      case 0: return name + " =";
      case 1: return " " + name + " = \"" + Text() + (Below(2) ? "\"" : "");
      case 2: return name + "=" + name + "+1";
      case 3: return name + " = " + std::to_string(Below(1000)) + "/" + std::to_string(Below(3));
      case 4: return Text() + "=" + Text();
      default: return name + " = " + Name() + "*2";
    }
  }

 private:
  std::mt19937 random_;
  std::vector<std::string> names_;
};

// Pointer values below 65536 are the empty text; they stand in for a name now and then.
const char* Pick(CallGenerator& generate, const std::string& name) {
  if (generate.Below(50) == 0) return nullptr;
  if (generate.Below(50) == 0) return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(1 + generate.Below(65535)));
  return name.c_str();
}

bool RunOne(CallGenerator& generate, ExportChecker& check) {
  const int count = check.Model().Count();
  const std::string name = generate.Name();
  switch (generate.Below(40)) {
    case 0: case 1: case 2: case 3: case 4: case 5: return check.EnterVarDouble(Pick(generate, name), generate.Number());
    case 6: case 7: case 8: case 9: {
      const std::string text = generate.Text();
      return check.EnterVarString(Pick(generate, name), Pick(generate, text));
    }
    case 10: return generate.Below(20) == 0 ? check.FreeVariable() : check.GetVarCount();
    case 11: case 12: return check.GetIndexByKey(Pick(generate, name));
    case 13: case 14: return check.GetVar(generate.Index(count));
    case 15: return check.GetVarCount();
    case 16: case 17: return check.LookupVarDouble(Pick(generate, name));
    case 18: case 19: return check.LookupVarString(Pick(generate, name));
    case 20: case 21: return check.RemoveVarIndex(generate.Index(count));
    case 22: case 23: return check.RemoveVariable(Pick(generate, name));
    case 24: case 25: return check.VarDouble(generate.Index(count));
    case 26: case 27: return check.VarString(generate.Index(count));
    case 28:
      check.FailNextCall(static_cast<std::size_t>(generate.Below(3)), generate.Below(2) == 0);
      return true;
    default: {
      const std::string statement = generate.Statement();
      return check.Substitution(Pick(generate, statement));
    }
  }
}

TEST(TableModel, RandomCallsAgreeWithTheModel) {
  CallGenerator generate(Seed);
  ExportChecker check;
  ASSERT_TRUE(check.FreeVariable());
  int largestTable = 0;
  for (int call = 0; call < Calls; ++call) {
    bool agreed = RunOne(generate, check);
    if (agreed && call % 100 == 99) agreed = check.CompareTable();
    ASSERT_TRUE(agreed) << "call " << call << " of the series seeded " << Seed << ": " << check.Failure();
    largestTable = std::max(largestTable, check.Model().Count());
  }
  EXPECT_TRUE(check.CompareTable()) << check.Failure();
  // The series must reach the table's growth steps, or it tests less than it claims.
  EXPECT_GE(largestTable, 50);
  check.FreeVariable();
}

// Tables of hundreds of records, grown and shrunk by removals at the front,
// the back and anywhere between, so that freed slots are reused across many
// growth steps; texts of 222 bytes leave bytes behind that a record reusing
// the slot must not show.
TEST(TableModel, RemovalsAtScaleAgreeWithTheModel) {
  CallGenerator generate(Seed + 1);
  ExportChecker check;
  ASSERT_TRUE(check.FreeVariable());
  const std::string longText(300, 'x');
  int largestTable = 0;
  for (int step = 0; step < 2000; ++step) {
    const bool growing = step < 1000;
    bool agreed = true;
    for (int call = 0; agreed && call < 3; ++call) {
      const int count = check.Model().Count();
      const std::string name = "@S" + std::to_string(generate.Below(1000));
      const bool remove = call == 1 || (call == 0 && !growing);  // growing: append, remove, append
      switch (remove ? generate.Below(4) : 4 + generate.Below(2)) {
        case 0: agreed = check.RemoveVarIndex(0); break;
        case 1: agreed = check.RemoveVarIndex(count - 1); break;
        case 2: agreed = check.RemoveVarIndex(generate.Index(count)); break;
        case 3: agreed = check.RemoveVariable(name.c_str()); break;
        case 4: agreed = check.EnterVarString(name.c_str(), longText.c_str()); break;
        default: agreed = check.EnterVarDouble(name.c_str(), generate.Number());
      }
      largestTable = std::max(largestTable, check.Model().Count());
    }
    if (agreed && step % 20 == 19) agreed = check.CompareTable();
    ASSERT_TRUE(agreed) << "step " << step << ": " << check.Failure();
  }
  EXPECT_TRUE(check.CompareTable()) << check.Failure();
  EXPECT_GE(largestTable, 300);
  check.FreeVariable();
}

}  // namespace
