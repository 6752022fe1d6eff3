// Variable names are case-insensitive, trimmed, and significant to their
// first 31 bytes: every by-name operation, the tokenizer's variable reads
// included, turns the name into this key first, so they all see the same key.
#pragma once

#include <cstddef>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/SingleByteText.h"

namespace exprcalc {

inline constexpr std::size_t SignificantNameBytes = 31;

// A normalised key, held inline so that normalising never allocates. It is
// kept as four words, zero after the key, so that hashing and comparing it
// read whole words (and never stall on bytes that were just written).
class NormalisedKey {
 public:
  static constexpr std::size_t PaddedSize = SignificantNameBytes + 1;
  static constexpr std::size_t WordCount = PaddedSize / sizeof(std::uint64_t);

  std::string_view View() const noexcept { return {Padded(), length_}; }
  // The key followed by zero bytes: PaddedSize bytes in all, as a record stores it.
  const char* Padded() const noexcept { return reinterpret_cast<const char*>(words_); }
  const std::uint64_t* Words() const noexcept { return words_; }
  // A hash of the key's bytes for the table's key index.
  std::uint64_t Hash() const noexcept;

 private:
  friend NormalisedKey NormaliseKey(std::string_view name) noexcept;
  std::uint64_t words_[WordCount] = {};
  std::size_t length_ = 0;
};

// White space removed at both ends, a-z upper-cased, cut to 31 bytes, and
// white space that the cut leaves at the end removed too. Normalising a key
// again gives the same key, so every stored name finds its own record.
NormalisedKey NormaliseKey(std::string_view name) noexcept;

// Inline: the tokenizer normalises every variable name it reads.
namespace detail {

inline constexpr std::uint64_t EveryByte = 0x0101010101010101u;
inline constexpr std::uint64_t HighBits = 0x8080808080808080u;

// Upper-cases the bytes a to z of a word and leaves every other byte as it
// is: a byte is a lower-case letter when its high bit is clear and its low
// seven bits lie from 'a' to 'z' (the sums below never carry between bytes).
inline std::uint64_t UpperCaseWord(std::uint64_t word) noexcept {
  const std::uint64_t low = word & ~HighBits;
  const std::uint64_t fromA = low + (0x80 - 'a') * EveryByte;
  const std::uint64_t pastZ = low + (0x80 - 'z' - 1) * EveryByte;
  const std::uint64_t lower = fromA & ~pastZ & ~word & HighBits;
  return word ^ (lower >> 2);  // 0x80 >> 2 is the 0x20 between the cases
}

// The first count bytes of text (at most 8) as a word laid out as memory
// holds it, with zero bytes after them.
inline std::uint64_t WordOf(const char* text, std::size_t count) noexcept {
  std::uint64_t word = 0;
  if (count == sizeof word) {
    std::memcpy(&word, text, sizeof word);
    return word;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t byte = static_cast<unsigned char>(text[i]);
    word |= std::endian::native == std::endian::little ? byte << (8 * i) : byte << (56 - 8 * i);
  }
  return word;
}

}  // namespace detail

inline NormalisedKey NormaliseKey(std::string_view name) noexcept {
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
  for (std::size_t at = 0, i = 0; at < length; at += sizeof(std::uint64_t), ++i) {
    const std::size_t count = length - at < sizeof(std::uint64_t) ? length - at : sizeof(std::uint64_t);
    key.words_[i] = detail::UpperCaseWord(detail::WordOf(begin + at, count));
  }
  return key;
}

// The words that hold the key's bytes (one for a name of up to 8 bytes) and
// its length, multiplied in a chain, then mixed so that every bit reaches the
// low bits that pick a slot.
inline std::uint64_t NormalisedKey::Hash() const noexcept {
  std::uint64_t hash = length_ * 0x9E3779B97F4A7C15u;
  for (std::size_t i = 0; i * 8 < length_; ++i) hash = (hash ^ words_[i]) * 0xBF58476D1CE4E5B9u;
  hash ^= length_;
  hash ^= hash >> 29;
  hash *= 0x94D049BB133111EBu;
  hash ^= hash >> 32;
  return hash;
}

}  // namespace exprcalc
