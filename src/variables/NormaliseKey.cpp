// Key normalisation of variable names.
#include "variables/NormaliseKey.h"

#include "base/SingleByteText.h"

namespace exprcalc {

NormalisedKey NormaliseKey(std::string_view name) noexcept {
  std::string_view trimmed = TrimWhiteSpace(name);
  NormalisedKey key;
  key.length_ = trimmed.size() < SignificantNameBytes ? trimmed.size() : SignificantNameBytes;
  for (std::size_t i = 0; i < key.length_; ++i) key.bytes_[i] = UpperCase(trimmed[i]);
  return key;
}

}  // namespace exprcalc
