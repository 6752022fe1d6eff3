// Every way a text can be read to its end and still not mean what it says,
// the notes on a text that does mean it, and what makes a malformed text
// malformed: one table of kinds, each with its class and its message. The
// judgements report these kinds; exprcalc_finding_message reads the table.
#pragma once

#include <cstddef>
#include <iterator>

#include "exprcalc.h"
#include "evaluation/Evaluate.h"

namespace exprcalc {

enum class FindingClass : unsigned char {
  ChangesMeaning,  // the text is not whole: its value is not what it says
  Note,            // the text is whole, and its value may still surprise its writer
  Malformed,       // why the parse of a malformed text broke
};

struct FindingKind {
  int kind;  // EXPRCALC_FINDING_*
  FindingClass findingClass;
  const char* message;
};

inline constexpr FindingKind FindingKinds[] = {
    {EXPRCALC_FINDING_STOPPED, FindingClass::ChangesMeaning, "reading stopped before the end of the text"},
    {EXPRCALC_FINDING_CONTENTS_DROPPED, FindingClass::ChangesMeaning,
     "a \"(\" is never closed, so what follows it is left out of the value"},
    {EXPRCALC_FINDING_NOT_APPLIED, FindingClass::ChangesMeaning,
     "a function, sign or operator is not applied: the \"(\" after it is never closed"},
    {EXPRCALC_FINDING_TEXT_CUT, FindingClass::ChangesMeaning,
     "the stored text ends before the statement does (at a tab, a second double quote or 222 bytes)"},
    {EXPRCALC_FINDING_TEXT_VARIABLE, FindingClass::Note, "a variable holding a text reads as 0"},
    {EXPRCALC_FINDING_DIGIT_GROUPS, FindingClass::Note,
     "commas do not group these digits by three, and are left out (3,5 reads as 35)"},
    {EXPRCALC_FINDING_POWER_OF_ARGUMENT, FindingClass::Note,
     "a function's parenthesised argument takes the power (SIN(1)^2 is SIN(1^2))"},
    {EXPRCALC_FINDING_NUMBER_WITHOUT_DIGITS, FindingClass::Note, "a number without digits reads as 0"},
    {EXPRCALC_FINDING_UNREADABLE_NAME, FindingClass::Note,
     "expressions cannot read this name: they read only letters and digits after the @"},
    {EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS, FindingClass::Malformed,
     "a \"(\" right after an operand, with no operator between"},
    {EXPRCALC_FINDING_REPEATED_OPERATOR, FindingClass::Malformed, "an operator right after another operator"},
    {EXPRCALC_FINDING_SIGN_AFTER_OPERATOR, FindingClass::Malformed,
     "a sign right after an operator or a function: the signed operand needs parentheses"},
    {EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND, FindingClass::Malformed,
     "an operand right after another operand, with no operator between"},
};

constexpr const FindingKind* FindFindingKind(int kind) noexcept {
  for (const FindingKind& entry : FindingKinds) {
    if (entry.kind == kind) return &entry;
  }
  return nullptr;
}

// The header's numbering says the class: below 100, 100 to 199, from 200.
static_assert([] {
  for (const FindingKind& entry : FindingKinds) {
    const FindingClass byNumber = entry.kind < 100   ? FindingClass::ChangesMeaning
                                  : entry.kind < 200 ? FindingClass::Note
                                                     : FindingClass::Malformed;
    if (entry.kind <= 0 || entry.findingClass != byNumber || FindFindingKind(entry.kind) != &entry) return false;
  }
  return true;
}());
static_assert(std::size(FindingKinds) <= EXPRCALC_MOST_FINDINGS, "a judgement holds one finding of each kind");

constexpr bool ChangesMeaning(int kind) noexcept {
  const FindingKind* entry = FindFindingKind(kind);
  return entry != nullptr && entry->findingClass == FindingClass::ChangesMeaning;
}

struct Finding {
  int kind;
  std::size_t at;     // Nowhere when the place is not known
  std::size_t other;  // the second place the kind names, or Nowhere
};

// The first finding of each kind, kept in the order of their places.
class FindingList {
 public:
  void Add(int kind, std::size_t at, std::size_t other = Nowhere) noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
      if (findings_[i].kind == kind) {
        if (at >= findings_[i].at) return;
        Remove(i);
        break;
      }
    }
    std::size_t i = count_++;
    for (; i > 0 && findings_[i - 1].at > at; --i) findings_[i] = findings_[i - 1];
    findings_[i] = {kind, at, other};
  }
  // Offsets move by shift (a right part's place in its statement); Nowhere stays.
  void AddAll(const FindingList& more, std::size_t shift) noexcept {
    for (const Finding& f : more) Add(f.kind, Moved(f.at, shift), Moved(f.other, shift));
  }
  // Drops every finding of the class.
  void RemoveClass(FindingClass findingClass) noexcept {
    for (std::size_t i = count_; i-- > 0;) {
      const FindingKind* entry = FindFindingKind(findings_[i].kind);
      if (entry != nullptr && entry->findingClass == findingClass) Remove(i);
    }
  }
  bool AnyChangesMeaning() const noexcept {
    for (const Finding& f : *this) {
      if (ChangesMeaning(f.kind)) return true;
    }
    return false;
  }
  std::size_t size() const noexcept { return count_; }
  const Finding* begin() const noexcept { return findings_; }
  const Finding* end() const noexcept { return findings_ + count_; }

  static std::size_t Moved(std::size_t offset, std::size_t shift) noexcept {
    return offset == Nowhere ? Nowhere : offset + shift;
  }

 private:
  void Remove(std::size_t i) noexcept {
    for (--count_; i < count_; ++i) findings_[i] = findings_[i + 1];
  }

  Finding findings_[std::size(FindingKinds)] = {};
  std::size_t count_ = 0;
};

}  // namespace exprcalc
