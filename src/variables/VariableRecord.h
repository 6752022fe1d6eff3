// The 256-byte variable record, byte for byte as hosts receive it from GetVar:
// type, a reserved zero byte, the NUL-terminated name, and either a text from
// offset 34 or a little-endian double at offset 40 (the two overlap).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "exprcalc.h"
#include "variables/NormaliseKey.h"

namespace exprcalc::record {

inline constexpr std::size_t Size = EXPRCALC_RECORD_SIZE;
inline constexpr std::size_t TypeOffset = EXPRCALC_RECORD_TYPE_OFFSET;
inline constexpr std::size_t ReservedOffset = EXPRCALC_RECORD_RESERVED_OFFSET;
inline constexpr std::size_t NameOffset = EXPRCALC_RECORD_NAME_OFFSET;
inline constexpr std::size_t NameSize = EXPRCALC_RECORD_NAME_SIZE;
inline constexpr std::size_t TextOffset = EXPRCALC_RECORD_TEXT_OFFSET;
inline constexpr std::size_t TextSize = EXPRCALC_RECORD_TEXT_SIZE;
inline constexpr std::size_t NumberOffset = EXPRCALC_RECORD_NUMBER_OFFSET;

inline constexpr unsigned char NumberType = 'd';
inline constexpr unsigned char TextType = 's';

static_assert(NameOffset + NameSize == TextOffset && TextOffset + TextSize == Size);
static_assert(NumberOffset + sizeof(double) <= Size);
static_assert(NameSize == NormalisedKey::PaddedSize);

inline unsigned char TypeOf(const unsigned char* slot) noexcept { return slot[TypeOffset]; }

// The stored name, up to its NUL.
inline std::string_view NameOf(const unsigned char* slot) noexcept {
  const char* name = reinterpret_cast<const char*>(slot + NameOffset);
  return {name, strnlen(name, NameSize)};
}

// True when the stored name field holds exactly the key and zero bytes up to
// the field's end, as WriteName stores it; compared a word at a time.
inline bool NameEquals(const unsigned char* slot, const NormalisedKey& key) noexcept {
  std::uint64_t difference = 0;
  for (std::size_t i = 0; i < NormalisedKey::WordCount; ++i) {
    std::uint64_t stored;
    std::memcpy(&stored, slot + NameOffset + i * sizeof stored, sizeof stored);
    difference |= stored ^ key.Words()[i];
  }
  return difference == 0;
}

// Bytes 40-47 read as a double, whatever the type.
inline double NumberOf(const unsigned char* slot) noexcept {
  double value;
  std::memcpy(&value, slot + NumberOffset, sizeof value);
  return value;
}

// Bytes from offset 34 to the first NUL, or all 222 when there is none.
inline std::string_view TextOf(const unsigned char* slot) noexcept {
  const char* text = reinterpret_cast<const char*>(slot + TextOffset);
  return {text, strnlen(text, TextSize)};
}

// A store writes only the type, the reserved byte, the name and its value;
// every other byte of the slot keeps what it held.
inline void WriteHeader(unsigned char* slot, unsigned char type) noexcept {
  slot[TypeOffset] = type;
  slot[ReservedOffset] = 0;
}

// The key, its NUL and zero bytes to the end of the field. A slot is all zero
// before a record is appended to it, so the zeros after the NUL change nothing
// a host can see; having them lets a lookup compare the whole field at once.
inline void WriteName(unsigned char* slot, const char* paddedKey) noexcept {
  std::memcpy(slot + NameOffset, paddedKey, NameSize);
}

inline void WriteNumber(unsigned char* slot, double value) noexcept {
  std::memcpy(slot + NumberOffset, &value, sizeof value);
}

// The first 222 bytes of text, with a NUL only when it is shorter.
inline void WriteText(unsigned char* slot, std::string_view text) noexcept {
  std::size_t length = text.size() < TextSize ? text.size() : TextSize;
  if (length > 0) std::memcpy(slot + TextOffset, text.data(), length);
  if (length < TextSize) slot[TextOffset + length] = 0;
}

}  // namespace exprcalc::record
