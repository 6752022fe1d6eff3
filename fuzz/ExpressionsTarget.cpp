// Fuzz target: arbitrary bytes evaluated as an expression, with number and
// text variables defined. Every evaluation must give a documented code, the
// value +0.0 with every code but 0, the same answer twice, no leaked block,
// and 257 with 0.0 when its first allocation is made to fail.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "exprcalc.h"
#include "AllocationFaults.h"

namespace {

constexpr std::size_t InlineTextLength = 256;  // texts up to this length allocate nothing

void DefineVariables() {
  EnterVarDouble("@A", 2.5);
  EnterVarDouble("@B", -3.0);
  EnterVarDouble("X", 1e308);
  EnterVarDouble("@Z", 0.0);
  EnterVarDouble("@NAN", std::numeric_limits<double>::quiet_NaN());
  EnterVarDouble("@INF", std::numeric_limits<double>::infinity());
  EnterVarDouble("SIN", 7.0);  // a built-in name wins over it
  EnterVarString("@T", "hello");
  EnterVarString("@LONGNAMEOFTHIRTYONEBYTESXXXXXX", "text");
}

[[noreturn]] void Fail(const char* what, const std::string& text, int code) {
  std::fprintf(stderr, "exprcalc expressions target: %s (code %d) for a text of %zu bytes\n", what, code,
               text.size());
  std::abort();
}

bool IsDocumentedCode(int code) {
  return code == 0 || code == 1 || code == 2 || code == 3 || code == 257 || code == 32768;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool defined = (DefineVariables(), true);
  (void)defined;
  const std::string text(reinterpret_cast<const char*>(data), size);  // a NUL-terminated copy
  const int count = GetVarCount();
  const std::size_t liveBlocks = exprcalc::allocation::LiveBlockCount();

  double value = 1.0;
  const int code = ParseString(text.c_str(), &value);
  if (!IsDocumentedCode(code)) Fail("undocumented code", text, code);
  if (code != 0 && !SameBits(value, 0.0)) Fail("a value other than +0.0 with a failure code", text, code);

  double again = 2.0;
  if (ParseString(text.c_str(), &again) != code || !SameBits(again, value)) Fail("a different answer", text, code);

  // The diagnostic call answers exactly as ParseString and points inside the text.
  exprcalc_diagnosis diagnosis;
  const std::size_t length = std::strlen(text.c_str());
  if (exprcalc_explain(text.c_str(), &diagnosis) != code || diagnosis.code != code || !SameBits(diagnosis.value, value)) {
    Fail("exprcalc_explain answers differently", text, diagnosis.code);
  }
  if (diagnosis.read > length || diagnosis.dropped > diagnosis.read || diagnosis.length != length) {
    Fail("exprcalc_explain reads outside the text", text, code);
  }
  if (code != 0 && diagnosis.at >= length) Fail("exprcalc_explain places a failure outside the text", text, code);

  // The judgement answers as explain and places its findings inside the text, in order.
  exprcalc_judgement judgement;
  if (exprcalc_judge(text.c_str(), &judgement) != code || !SameBits(judgement.diagnosis.value, value) ||
      judgement.diagnosis.read != diagnosis.read || judgement.diagnosis.at != diagnosis.at ||
      judgement.count < 0 || judgement.count > EXPRCALC_MOST_FINDINGS) {
    Fail("exprcalc_judge answers differently", text, judgement.diagnosis.code);
  }
  for (int i = 0; i < judgement.count; ++i) {
    const exprcalc_finding& f = judgement.findings[i];
    if ((f.at > length && f.at != EXPRCALC_NOWHERE) || (i > 0 && judgement.findings[i - 1].at > f.at)) {
      Fail("exprcalc_judge places a finding outside the text or out of order", text, f.kind);
    }
  }
  if (GetVarCount() != count) Fail("the table changed", text, code);
  if (exprcalc::allocation::LiveBlockCount() != liveBlocks) Fail("a block was not released", text, code);

  // With its first allocation failing, an evaluation gives 257 and 0.0, or,
  // when it needs no memory (every text up to 256 bytes), its usual answer.
  double failed = 3.0;
  exprcalc::allocation::FailAfter(0);
  const int failedCode = ParseString(text.c_str(), &failed);
  const bool injected = exprcalc::allocation::FailureInjected();
  exprcalc::allocation::StopFailing();
  if (injected && std::strlen(text.c_str()) <= InlineTextLength) Fail("a short text allocated", text, code);
  if (injected && (failedCode != EXPRCALC_OUT_OF_MEMORY || !SameBits(failed, 0.0))) {
    Fail("no 257 and 0.0 when memory ran out", text, failedCode);
  }
  if (!injected && (failedCode != code || !SameBits(failed, value))) Fail("a different answer", text, failedCode);
  if (exprcalc::allocation::LiveBlockCount() != liveBlocks) Fail("a block was not released", text, failedCode);
  return 0;
}
