// What every export shares: reading a text argument, and the one exception
// barrier that keeps any failure from crossing into the host.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace exprcalc {

// Values below this are resource numbers on some platforms, never addresses.
inline constexpr std::uintptr_t FirstTextAddress = 0x10000;

// A text argument: null and values below 65536 are the empty text.
inline std::string_view TextArgument(const char* text) noexcept {
  if (reinterpret_cast<std::uintptr_t>(text) < FirstTextAddress) return {};
  return {text, std::strlen(text)};
}

// Runs body and returns its result; any exception becomes failureResult.
template <typename Body>
int Guarded(int failureResult, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failureResult;
  }
}

}  // namespace exprcalc
