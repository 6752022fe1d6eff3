// The judgement rides on the diagnostic parse: an observer that keeps the
// positions as Explain's does, and looks at each token beside the one before
// it, at every literal number, and at the stack that the parse leaves.
#include "evaluation/Judgement.h"

#include "base/Memory.h"
#include "base/SingleByteText.h"
#include "evaluation/Explained.h"
#include "evaluation/PositionTracker.h"

namespace exprcalc {
namespace {

constexpr std::size_t DigitsPerGroup = 3;

constexpr bool IsSign(TokenKind k) noexcept { return k == '+' || k == '-'; }

// The first comma of a literal whose integer digits it does not group by
// three (a first group of one to three digits not led by a 0, then groups of
// three), or npos. A group led by 0 is never thousands: 0,500 is no 500.
std::size_t BadGroupingComma(std::string_view numeral) noexcept {
  const std::string_view integer = numeral.substr(0, numeral.find_first_of(".:"));
  const std::size_t first = integer.find(',');
  if (first == std::string_view::npos) return first;
  if (first > DigitsPerGroup || integer.front() == '0') return first;
  for (std::size_t groupStart = first + 1;;) {
    const std::size_t next = integer.find(',', groupStart);
    const std::size_t groupEnd = next == std::string_view::npos ? integer.size() : next;
    if (groupEnd - groupStart != DigitsPerGroup) return groupStart - 1;
    if (next == std::string_view::npos) return next;
    groupStart = next + 1;
  }
}

class JudgingTracker : public PositionTracker {
 public:
  JudgingTracker(Diagnosis& diagnosis, FindingList& findings) noexcept
      : PositionTracker(diagnosis), findings_(findings) {}
  JudgingTracker(const JudgingTracker&) = delete;
  JudgingTracker& operator=(const JudgingTracker&) = delete;
  ~JudgingTracker() { Release(heap_); }

  // Besides the positions, the kind shifted onto every entry; without room
  // for them only the power of an argument goes unnoticed.
  void Prepare(std::size_t room) noexcept {
    PositionTracker::Prepare(room);
    if (room <= std::size(inline_)) {
      kinds_ = inline_;
    } else {
      heap_ = static_cast<TokenKind*>(Allocate(room));
      kinds_ = heap_;
    }
    if (kinds_ != nullptr) kinds_[0] = kind::End;
  }

  void Shifted(std::size_t entry, const Token& token, const TokenReader& input) noexcept {
    PositionTracker::Shifted(entry, token, input);
    const std::size_t at = input.Place();
    // The operand before a "(" is the entry below it: a number, or a group whose ")" folded it.
    JudgePair(token.kind, at, OffsetOf(entry - 1));
    if (token.kind == '^' && previous_ == ')' && kinds_ != nullptr && entry >= 2 && IsFunctionKind(kinds_[entry - 2])) {
      findings_.Add(EXPRCALC_FINDING_POWER_OF_ARGUMENT, at, OffsetOf(entry - 2));
    }
    if (kinds_ != nullptr) kinds_[entry] = token.kind;
    if (token.kind == kind::Number && input.Resolved().kind == Resolution::Kind::NotAName) {
      JudgeNumeral(at, input.TokenText());  // a literal
    }
    previous_ = token.kind;
    previousAt_ = at;
  }

  // A token that arrived and broke the parse was never shifted: it is
  // judged beside the last one that was.
  void Failed(const Failure& failure) noexcept {
    PositionTracker::Failed(failure);
    if (failure.entry == NoEntry) JudgePair(failure.next, failure.place, previousAt_);
  }

  // An operator below the value's operand was never applied: the "(" above
  // it is never closed. That is a function or sign (SQRT(16 is 16), or an
  // infix operator that has no left operand (*(2 is 2). A "+" sign changes
  // nothing, applied or not.
  void Finished(const EvalStack& stack, std::size_t value) noexcept {
    PositionTracker::Finished(stack, value);
    std::size_t lowest = 1;
    while (lowest < stack.depth && stack.kind[lowest] != kind::Operand) ++lowest;
    for (std::size_t i = 1; i < lowest && lowest < stack.depth; ++i) {
      if (stack.kind[i] == '(' || stack.kind[i] == '+') continue;
      std::size_t open = i + 1;
      while (open < lowest && stack.kind[open] != '(') ++open;
      findings_.Add(EXPRCALC_FINDING_NOT_APPLIED, OffsetOf(i), open < lowest ? OffsetOf(open) : Nowhere);
      return;
    }
  }

 private:
  // Pairs that make a text malformed; kept only if it is (see Judge).
  void JudgePair(TokenKind k, std::size_t at, std::size_t operandAt) noexcept {
    if (k == '(' && (previous_ == kind::Number || previous_ == ')')) {
      findings_.Add(EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS, at, operandAt);
    } else if (IsInfixOperator(k) && !IsSign(k) && IsInfixOperator(previous_)) {
      findings_.Add(EXPRCALC_FINDING_REPEATED_OPERATOR, at, previousAt_);
    } else if (IsSign(k) && (IsInfixOperator(previous_) || IsFunctionKind(previous_))) {
      findings_.Add(EXPRCALC_FINDING_SIGN_AFTER_OPERATOR, at, previousAt_);
    } else if ((k == kind::Number || IsFunctionKind(k)) && (previous_ == kind::Number || previous_ == ')')) {
      findings_.Add(EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND, at, previousAt_);
    }
  }

  void JudgeNumeral(std::size_t at, std::string_view numeral) noexcept {
    bool digits = false;
    for (const char c : numeral) digits = digits || IsDigit(static_cast<unsigned char>(c));
    if (!digits) {
      findings_.Add(EXPRCALC_FINDING_NUMBER_WITHOUT_DIGITS, at);
    } else if (const std::size_t comma = BadGroupingComma(numeral); comma != std::string_view::npos) {
      findings_.Add(EXPRCALC_FINDING_DIGIT_GROUPS, at + comma, at);
    }
  }

  FindingList& findings_;
  TokenKind previous_ = kind::None;  // the last token shifted, and where it began
  std::size_t previousAt_ = Nowhere;
  TokenKind* kinds_ = nullptr;
  TokenKind* heap_ = nullptr;
  TokenKind inline_[StackRoomFor(InlineTextLength)];
};
static_assert(ParseObserver<JudgingTracker>);

// Reading stopped before the end, unless only white space follows a CR or LF.
bool StoppedEarly(std::string_view text, const Diagnosis& d) noexcept {
  if (d.stop == StopReason::EndOfText) return false;
  if (d.stop != StopReason::LineEnd || d.read >= text.size() || text[d.read] == '=') return true;
  return !TrimWhiteSpace(text.substr(d.read)).empty();
}

}  // namespace

ResultCode Judge(std::string_view expression, const VariableTable& table, double& result,
                 Judgement& judgement) noexcept {
  judgement = Judgement{};
  Diagnosis& d = judgement.diagnosis;
  FindingList& findings = judgement.findings;
  TokenReader input(expression, table);
  JudgingTracker tracker(d, findings);
  tracker.functions = &table.Functions();
  const ResultCode code = ExplainWith(expression, input, result, d, tracker);
  if (code != Malformed) findings.RemoveClass(FindingClass::Malformed);
  if (StoppedEarly(expression, d)) findings.Add(EXPRCALC_FINDING_STOPPED, d.read, d.dropped);
  if (d.unclosed) findings.Add(EXPRCALC_FINDING_CONTENTS_DROPPED, d.unclosedAt);
  if (d.textVariable != Nowhere) findings.Add(EXPRCALC_FINDING_TEXT_VARIABLE, d.textVariable);
  return code;
}

}  // namespace exprcalc
