// Heap requests and peak extra memory of single evaluations, printed as JSON
// for the report. Runs in its own program because it replaces the C
// allocation functions, which would slow the peer in the timing program.
//   heap: the highest usable bytes live during the call, minus those live before;
//   resident: the growth of the peak resident set (VmHWM, reset through
//   /proc/self/clear_refs) over the resident set before the call.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CountingMalloc.h"
#include "Corpus.h"
#include "ScalingTexts.h"
#include "exprcalc.h"

namespace {

using exprcalc::bench::CurrentHeapFigures;

constexpr std::size_t InlineLimit = 256;

struct CallFigures {
  int code = 0;
  std::size_t requests = 0;
  std::size_t heapExtra = 0;
  long residentExtra = -1;  // -1 when the peak resident set cannot be reset
};

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return -1;
}

bool ResetResidentPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

CallFigures Measure(const std::string& text, bool resident) {
  CallFigures figures;
  long residentBefore = -1;
  if (resident && ResetResidentPeak()) residentBefore = StatusKilobytes("VmRSS");
  exprcalc::bench::ResetHeapPeak();
  const auto before = CurrentHeapFigures();
  double value = 0.0;
  figures.code = ParseString(text.c_str(), &value);
  const auto after = CurrentHeapFigures();
  figures.requests = after.requests - before.requests;
  figures.heapExtra = after.peakBytes - before.liveBytes;
  if (residentBefore >= 0) figures.residentExtra = (StatusKilobytes("VmHWM") - residentBefore) * 1024;
  return figures;
}

// Texts of every length up to the inline limit, of each shape and with variables.
std::size_t MostRequestsUpTo(std::size_t limit) {
  std::size_t most = 0;
  for (const auto& row : exprcalc::bench::Corpus()) {
    const CallFigures figures = Measure(std::string(row.text), false);
    if (figures.requests > most) most = figures.requests;
  }
  std::string withVariables = "@RATE";
  while (withVariables.size() < limit) withVariables += "*QTY+@BASE";
  for (std::size_t length = 1; length <= limit; ++length) {
    for (const auto shape : exprcalc::bench::AllShapes) {
      const CallFigures figures = Measure(exprcalc::bench::ScalingText(shape, length), false);
      if (figures.requests > most) most = figures.requests;
    }
    const CallFigures figures = Measure(withVariables.substr(0, length), false);
    if (figures.requests > most) most = figures.requests;
  }
  return most;
}

}  // namespace

int main() {
  exprcalc::bench::EnterCorpusVariables();
  const std::size_t shortRequests = MostRequestsUpTo(InlineLimit);
  const std::size_t justLongerRequests =
      Measure(exprcalc::bench::ScalingText(exprcalc::bench::Shape::Flat, InlineLimit + 1), false).requests;

  std::printf("{\n  \"inline_limit\": %zu,\n  \"most_requests_up_to_limit\": %zu,\n", InlineLimit, shortRequests);
  std::printf("  \"requests_just_over_limit\": %zu,\n  \"peak\": [\n", justLongerRequests);
  const std::size_t bytes = exprcalc::bench::ScalingSizes.back();
  bool first = true;
  for (const auto shape : exprcalc::bench::AllShapes) {
    const std::string text = exprcalc::bench::ScalingText(shape, bytes);
    const CallFigures figures = Measure(text, true);
    std::printf("%s    {\"shape\": \"%s\", \"bytes\": %zu, \"code\": %d, \"requests\": %zu, "
                "\"heap_extra\": %zu, \"resident_extra\": %ld}",
                first ? "" : ",\n", std::string(exprcalc::bench::ShapeName(shape)).c_str(), bytes, figures.code,
                figures.requests, figures.heapExtra, figures.residentExtra);
    first = false;
  }
  // What a prepared expression holds while it lives, per byte of its text:
  // the corpus rows and the long texts.
  std::printf("\n  ],\n  \"prepared\": [\n");
  first = true;
  std::vector<std::string> texts;
  for (const auto& row : exprcalc::bench::Corpus()) texts.emplace_back(row.text);
  for (const auto shape : exprcalc::bench::AllShapes) texts.push_back(exprcalc::bench::ScalingText(shape, bytes));
  for (const std::string& text : texts) {
    // A thread keeps the block of the handle it released last for its next
    // handle of about that size: a first handle of the same text takes it,
    // so that the one measured takes a block of its own.
    exprcalc_expr* taker = nullptr;
    exprcalc_prepare(text.c_str(), &taker);
    const auto before = CurrentHeapFigures();
    exprcalc_expr* expr = nullptr;
    exprcalc_prepare(text.c_str(), &expr);
    const auto after = CurrentHeapFigures();
    exprcalc_release(expr);
    exprcalc_release(taker);
    std::printf("%s    {\"bytes\": %zu, \"held\": %zu}", first ? "" : ",\n", text.size(),
                after.liveBytes - before.liveBytes);
    first = false;
  }
  std::printf("\n  ]\n}\n");
  return 0;
}
