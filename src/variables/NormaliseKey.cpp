// Key normalisation of variable names, and the key's hash.
#include "variables/NormaliseKey.h"

#include <cstring>

#include "base/SingleByteText.h"

namespace exprcalc {

NormalisedKey NormaliseKey(std::string_view name) noexcept {
  std::string_view trimmed = TrimWhiteSpace(name);
  NormalisedKey key;
  std::size_t length = trimmed.size() < SignificantNameBytes ? trimmed.size() : SignificantNameBytes;
  while (length > 0 && IsWhiteSpace(static_cast<unsigned char>(trimmed[length - 1]))) --length;
  for (std::size_t i = 0; i < length; ++i) key.bytes_[i] = UpperCase(trimmed[i]);
  key.length_ = length;
  return key;
}

// The four words of the zero-padded key, each multiplied by its own odd
// constant and rotated apart, and the length, then mixed so that every bit of the key reaches
// the low bits that pick a slot.
std::uint64_t NormalisedKey::Hash() const noexcept {
  std::uint64_t words[4];
  static_assert(sizeof words == sizeof bytes_);
  std::memcpy(words, bytes_, sizeof words);
  auto rotate = [](std::uint64_t w, int bits) { return (w << bits) | (w >> (64 - bits)); };
  std::uint64_t hash = words[0] * 0x9E3779B97F4A7C15u + rotate(words[1] * 0xC2B2AE3D27D4EB4Fu, 17) +
                       rotate(words[2] * 0x165667B19E3779F9u, 31) + rotate(words[3] * 0xD6E8FEB86659FD93u, 47);
  hash ^= length_;
  hash ^= hash >> 29;
  hash *= 0xBF58476D1CE4E5B9u;
  hash ^= hash >> 32;
  return hash;
}

}  // namespace exprcalc
