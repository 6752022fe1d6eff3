// The library judges; its messages (exprcalc_message, exprcalc_stop_message,
// exprcalc_reason_message, exprcalc_finding_message) say what is wrong. The
// calculator chooses the one report that stops a line, names what the
// library points at (the function left unapplied, the name stored) and adds
// hints; it words only the lines that it does not hand over.
#include "Findings.h"

#include <algorithm>
#include <string>

#include "Hints.h"
#include "LineSource.h"
#include "ShownText.h"

namespace calculator {
namespace {

// Kinds below 100 change what a text means; from 100 they are notes on a
// whole text; from 200 they say why a malformed text is malformed.
constexpr int FirstNoteKind = 100;
constexpr int FirstMalformationKind = 200;
constexpr std::string_view NotCarriedOut = "statement not carried out: ";

std::span<const exprcalc_finding> Used(const exprcalc_finding* findings, int count) {
  return {findings, static_cast<std::size_t>(std::clamp(count, 0, EXPRCALC_MOST_FINDINGS))};
}

// The finding that says why a text is not whole: where reading stopped, when
// it stopped early (what else is left out follows from that), else the first.
const exprcalc_finding* FirstChange(std::span<const exprcalc_finding> findings) {
  const exprcalc_finding* first = nullptr;
  for (const exprcalc_finding& finding : findings) {
    if (finding.kind == EXPRCALC_FINDING_STOPPED) return &finding;
    if (finding.kind < FirstNoteKind && first == nullptr) first = &finding;
  }
  return first;
}

// Where the caret goes: under the "(" never closed for what it leaves unapplied.
std::size_t PlaceOf(const exprcalc_finding& finding) {
  if (finding.kind == EXPRCALC_FINDING_NOT_APPLIED && finding.other != EXPRCALC_NOWHERE) return finding.other;
  return finding.at;
}

// "SQRT", "-": the bytes from the function or sign up to its "(", without the blanks before it.
std::string NotAppliedMessage(std::string_view line, const exprcalc_finding& finding) {
  std::string_view what = "a function or sign";
  if (finding.other != EXPRCALC_NOWHERE && finding.at < finding.other && finding.other <= line.size()) {
    what = line.substr(finding.at, finding.other - finding.at);
    while (what.size() > 1 && static_cast<unsigned char>(what.back()) <= ' ') what.remove_suffix(1);
  }
  return ShownShort(what, MaxEchoedNameBytes) + " is not applied: its \"(\" is never closed";
}

Report ChangeReport(std::string_view line, const exprcalc_diagnosis& d, const exprcalc_finding& finding) {
  switch (finding.kind) {
    case EXPRCALC_FINDING_STOPPED:
      return {Report::Kind::Error, d.read, exprcalc_stop_message(d.stop), StopHints(line, d)};
    case EXPRCALC_FINDING_NOT_APPLIED:
      return {Report::Kind::Error, PlaceOf(finding), NotAppliedMessage(line, finding), {}};
    default:
      return {Report::Kind::Error, PlaceOf(finding), exprcalc_finding_message(finding.kind), {}};
  }
}

Report StatementNotCarriedOut(Report report) {
  report.message.insert(0, NotCarriedOut);
  return report;
}

Report Note(std::string_view line, const exprcalc_finding& finding, const exprcalc_statement_diagnosis* statement) {
  Report note{Report::Kind::Warning, finding.at, exprcalc_finding_message(finding.kind), NoteHints(line, finding)};
  const bool named = statement != nullptr && statement->name_at <= finding.at &&
                     finding.at <= statement->name_at + statement->name_length &&
                     statement->name_at + statement->name_length <= line.size();
  if (finding.kind == EXPRCALC_FINDING_UNREADABLE_NAME && named) {
    const std::string_view name = line.substr(statement->name_at, statement->name_length);
    note.message = ShownShort(name, MaxEchoedNameBytes) + " is stored, but expressions cannot read this name";
    note.hints = {UnreadNameHint(name, finding.at - statement->name_at)};
  }
  return note;
}

}  // namespace

std::span<const exprcalc_finding> FindingsOf(const exprcalc_judgement& judgement) {
  return Used(judgement.findings, judgement.count);
}

std::span<const exprcalc_finding> FindingsOf(const exprcalc_statement_judgement& judgement) {
  return Used(judgement.findings, judgement.count);
}

std::optional<Report> ExpressionError(std::string_view line, const exprcalc_diagnosis& d, bool whole,
                                      std::span<const exprcalc_finding> findings) {
  if (d.code != EXPRCALC_OK) {
    const auto malformation = std::find_if(findings.begin(), findings.end(), [](const exprcalc_finding& f) {
      return f.kind >= FirstMalformationKind && f.at != EXPRCALC_NOWHERE;
    });
    // A failure where reading stopped (3*@NOPE, 2*1.2.3) is caused by what made reading stop.
    if (d.stop != EXPRCALC_STOP_END && d.at >= d.dropped) {
      return Report{Report::Kind::Error, d.at, exprcalc_stop_message(d.stop), StopHints(line, d)};
    }
    // Else the library says why the text is malformed, with the caret where the mistake is.
    if (d.code == EXPRCALC_MALFORMED && malformation != findings.end()) {
      return Report{Report::Kind::Error, malformation->at, exprcalc_finding_message(malformation->kind),
                    NoteHints(line, *malformation)};
    }
    if (d.code == EXPRCALC_MALFORMED) {
      return Report{Report::Kind::Error, d.at, exprcalc_message(d.code), MalformedHints(line, d.at)};
    }
    return Report{Report::Kind::Error, d.at, exprcalc_message(d.code), {}};
  }
  if (whole) return std::nullopt;
  if (const exprcalc_finding* change = FirstChange(findings)) return ChangeReport(line, d, *change);
  return Report{Report::Kind::Error, d.read, exprcalc_finding_message(EXPRCALC_FINDING_STOPPED), {}};
}

std::vector<Report> Notes(std::string_view line, std::span<const exprcalc_finding> findings,
                          const exprcalc_statement_diagnosis* statement) {
  std::vector<Report> notes;
  for (const exprcalc_finding& finding : findings) {
    if (finding.kind < FirstNoteKind || finding.kind >= FirstMalformationKind) continue;
    if (finding.kind == EXPRCALC_FINDING_UNREADABLE_NAME && statement == nullptr) continue;
    if (finding.at != EXPRCALC_NOWHERE) notes.push_back(Note(line, finding, statement));
  }
  return notes;
}

std::optional<Report> StatementError(std::string_view line, const exprcalc_statement_judgement& judgement) {
  const exprcalc_statement_diagnosis& d = judgement.statement;
  if (d.result == EXPRCALC_STATEMENT_DONE) return std::nullopt;
  const auto findings = FindingsOf(judgement);
  if (d.reason == EXPRCALC_REASON_NOT_WHOLE) {
    if (const exprcalc_finding* change = FirstChange(findings)) {
      return StatementNotCarriedOut(ChangeReport(line, d.expression, *change));
    }
  }
  if (d.reason == EXPRCALC_REASON_EVALUATION) {
    if (auto error = ExpressionError(line, d.expression, true, findings)) {
      error->message = std::string(NotCarriedOut) + exprcalc_reason_message(d.reason) + ": " + error->message;
      return error;
    }
  }
  const std::size_t at = d.name_at != EXPRCALC_NOWHERE ? d.name_at : 0;
  return Report{Report::Kind::Error, at, std::string(NotCarriedOut) + exprcalc_reason_message(d.reason), {}};
}

Report SessionCommandError(std::string_view line) {
  return {Report::Kind::Error,
          FirstNonBlank(line),
          "a session command, which only the interactive session runs",
          {SessionCommandHint()}};
}

Report NulByteError(std::size_t at) {
  return {Report::Kind::Error, at, "a NUL byte, which expressions and statements do not read", {}};
}

}  // namespace calculator
