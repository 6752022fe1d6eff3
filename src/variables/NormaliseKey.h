// Variable names are case-insensitive, trimmed, and significant to their
// first 31 bytes: every by-name operation, the tokenizer's variable reads
// included, turns the name into this key first, so they all see the same key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace exprcalc {

inline constexpr std::size_t SignificantNameBytes = 31;

// A normalised key, held inline so that normalising never allocates. The
// bytes after the key are zero, which lets the hash read whole words.
class NormalisedKey {
 public:
  std::string_view View() const noexcept { return {bytes_, length_}; }
  // The key followed by zero bytes: PaddedSize bytes in all, as a record stores it.
  static constexpr std::size_t PaddedSize = SignificantNameBytes + 1;
  const char* Padded() const noexcept { return bytes_; }
  // A hash of the key's bytes for the table's key index.
  std::uint64_t Hash() const noexcept;

 private:
  friend NormalisedKey NormaliseKey(std::string_view name) noexcept;
  alignas(8) char bytes_[PaddedSize] = {};
  std::size_t length_ = 0;
};

// White space removed at both ends, a-z upper-cased, cut to 31 bytes, and
// white space that the cut leaves at the end removed too. Normalising a key
// again gives the same key, so every stored name finds its own record.
NormalisedKey NormaliseKey(std::string_view name) noexcept;

}  // namespace exprcalc
