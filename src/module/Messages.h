// The library's words: one static English message for every result code, stop
// reason, statement reason and finding kind (the last from the table of
// kinds in evaluation/Findings.h). The calculator and the bindings print these.
#pragma once

namespace exprcalc {

const char* ResultMessage(int code) noexcept;
const char* StopMessage(int stop) noexcept;
const char* ReasonMessage(int reason) noexcept;
const char* FindingMessage(int kind) noexcept;

}  // namespace exprcalc
