// Key normalisation of variable names, and the key's hash.
#include "variables/NormaliseKey.h"

#include <cstring>

#include "base/SingleByteText.h"

namespace exprcalc {

NormalisedKey NormaliseKey(std::string_view name) noexcept {
  const char* begin = name.data();
  const char* end = begin + name.size();
  while (begin < end && IsWhiteSpace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && IsWhiteSpace(static_cast<unsigned char>(end[-1]))) --end;
  std::size_t length = static_cast<std::size_t>(end - begin);
  if (length > SignificantNameBytes) {
    length = SignificantNameBytes;
    while (length > 0 && IsWhiteSpace(static_cast<unsigned char>(begin[length - 1]))) --length;
  }
  NormalisedKey key;
  key.length_ = length;
  for (std::size_t i = 0; i < length; ++i) key.bytes_[i] = UpperCase(begin[i]);
  return key;
}

// The words that hold the key's bytes (one for a name of up to 8 bytes) and
// its length, multiplied in a chain, then mixed so that every bit reaches the
// low bits that pick a slot.
std::uint64_t NormalisedKey::Hash() const noexcept {
  std::uint64_t words[PaddedSize / 8];
  static_assert(sizeof words == sizeof bytes_);
  std::memcpy(words, bytes_, sizeof words);
  std::uint64_t hash = length_ * 0x9E3779B97F4A7C15u;
  for (std::size_t i = 0; i * 8 < length_; ++i) hash = (hash ^ words[i]) * 0xBF58476D1CE4E5B9u;
  hash ^= hash >> 29;
  hash *= 0x94D049BB133111EBu;
  hash ^= hash >> 32;
  return hash;
}

}  // namespace exprcalc
