// How every export reads its arguments. The library's core never throws:
// every operation it offers is noexcept and reports running out of memory
// as a result code, so the exports need no exception barrier of their own.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace exprcalc {

// Pointer values below this are resource numbers on some platforms, never
// addresses: the library neither reads nor writes through them.
inline constexpr std::uintptr_t FirstAddress = 0x10000;

inline bool IsAddress(const void* pointer) noexcept {
  return reinterpret_cast<std::uintptr_t>(pointer) >= FirstAddress;
}

// A text argument: null and values below 65536 are the empty text.
inline std::string_view TextArgument(const char* text) noexcept {
  if (!IsAddress(text)) return {};
  return {text, std::strlen(text)};
}

// Writes value to an output argument, unless it is null or below 65536.
template <typename T>
void Store(T* output, T value) noexcept {
  if (IsAddress(output)) *output = value;
}

// Copies text and its NUL into a caller's buffer (at most 222 bytes and a
// NUL), unless the buffer pointer is null or below 65536.
inline void StoreText(char* buffer, std::string_view text) noexcept {
  if (!IsAddress(buffer)) return;
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

}  // namespace exprcalc
