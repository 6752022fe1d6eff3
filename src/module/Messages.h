// The library's words: one static English message for every result code, stop
// reason and statement reason. The calculator and the bindings print these.
#pragma once

namespace exprcalc {

const char* ResultMessage(int code) noexcept;
const char* StopMessage(int stop) noexcept;
const char* ReasonMessage(int reason) noexcept;

}  // namespace exprcalc
