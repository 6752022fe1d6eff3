// The list of a table's host functions: a small array in the library's heap,
// searched in order (a name is looked up only when it is neither built in
// nor a stored variable).
#include "variables/HostFunctions.h"

#include <cstring>

#include "base/Memory.h"

namespace exprcalc {

bool HostFunctions::Define(const NormalisedKey& key, HostCallback call, void* user) noexcept {
  const int known = Find(key);
  if (known != NotFound) {
    entries_[known].call = call;
    entries_[known].user = user;
    return true;
  }
  if (count_ == Most) return false;
  if (count_ == capacity_) {
    const std::size_t grown = capacity_ == 0 ? 4 : capacity_ * 2;
    auto* block = static_cast<Entry*>(Reallocate(entries_, grown * sizeof(Entry)));
    if (block == nullptr) return false;
    entries_ = block;
    capacity_ = grown;
  }
  entries_[count_++] = Entry{key, call, user};
  return true;
}

bool HostFunctions::Remove(const NormalisedKey& key) noexcept {
  const int known = Find(key);
  if (known == NotFound) return false;
  const std::size_t at = static_cast<std::size_t>(known);
  std::memmove(entries_ + at, entries_ + at + 1, (count_ - at - 1) * sizeof(Entry));
  --count_;
  return true;
}

void HostFunctions::Release() noexcept {
  exprcalc::Release(entries_);
  entries_ = nullptr;
  count_ = 0;
  capacity_ = 0;
}

}  // namespace exprcalc
