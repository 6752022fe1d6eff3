// Both arrays live in one block, so growing the order takes one allocation
// and either succeeds whole or leaves everything as it was.
#include "variables/RecordOrder.h"

#include <cassert>
#include <cstring>

#include "base/Memory.h"

namespace exprcalc {

bool RecordOrder::Reserve(std::size_t capacity) noexcept {
  if (capacity <= capacity_) return true;
  std::size_t bytes = 0;
  if (!MultiplySize(capacity, 2 * sizeof(std::int32_t), bytes)) return false;
  auto* fresh = static_cast<std::int32_t*>(Allocate(bytes));
  if (fresh == nullptr) return false;
  std::int32_t* freshIndexes = fresh + capacity;
  if (capacity_ > 0) {
    std::memcpy(fresh, slots_, capacity_ * sizeof(std::int32_t));
    std::memcpy(freshIndexes, indexes_, capacity_ * sizeof(std::int32_t));
  }
  for (std::size_t slot = capacity_; slot < capacity; ++slot) {
    fresh[slot] = static_cast<std::int32_t>(slot);
    freshIndexes[slot] = static_cast<std::int32_t>(slot);
  }
  exprcalc::Release(slots_);
  slots_ = fresh;
  indexes_ = freshIndexes;
  capacity_ = capacity;
  return true;
}

std::int32_t RecordOrder::Remove(int index, int count) noexcept {
  assert(index >= 0 && index < count && static_cast<std::size_t>(count) <= capacity_);
  const std::int32_t freed = slots_[index];
  for (int later = index + 1; later < count; ++later) {
    const std::int32_t slot = slots_[later];
    slots_[later - 1] = slot;
    indexes_[slot] = later - 1;
  }
  slots_[count - 1] = freed;
  indexes_[freed] = count - 1;
  return freed;
}

void RecordOrder::Release() noexcept {
  exprcalc::Release(slots_);
  slots_ = nullptr;
  indexes_ = nullptr;
  capacity_ = 0;
}

}  // namespace exprcalc
