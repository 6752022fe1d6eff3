// Variable names are case-insensitive, trimmed, and significant to their
// first 31 bytes: every by-name operation turns the name into this key first,
// so stores, lookups, removals and the tokenizer all see the same key.
#pragma once

#include <cstddef>
#include <string_view>

namespace exprcalc {

inline constexpr std::size_t SignificantNameBytes = 31;

// A normalised key, held inline so that normalising never allocates.
class NormalisedKey {
 public:
  std::string_view View() const noexcept { return {bytes_, length_}; }

 private:
  friend NormalisedKey NormaliseKey(std::string_view name) noexcept;
  char bytes_[SignificantNameBytes + 1] = {};
  std::size_t length_ = 0;
};

// White space removed at both ends, a-z upper-cased, cut to 31 bytes.
NormalisedKey NormaliseKey(std::string_view name) noexcept;

}  // namespace exprcalc
