// Open addressing with linear probing over a power-of-two slot array kept at
// most half full. Removal deletes by backward shift (no tombstones) and then
// renumbers the records above the removed one, which the table moves anyway.
#include "variables/KeyIndex.h"

#include <cassert>

#include "base/Memory.h"
#include "variables/VariableRecord.h"

namespace exprcalc {
namespace {

const unsigned char* SlotAt(const unsigned char* records, std::int32_t index) noexcept {
  return records + static_cast<std::size_t>(index) * record::Size;
}

// A stored name is a normalised key, and normalising a key changes nothing.
NormalisedKey KeyOf(const unsigned char* records, std::int32_t index) noexcept {
  return NormaliseKey(record::NameOf(SlotAt(records, index)));
}

}  // namespace

bool KeyIndex::Reserve(std::size_t recordCapacity, const unsigned char* records, int count) noexcept {
  std::size_t wanted = 64;
  while (wanted < 2 * recordCapacity) wanted *= 2;
  if (wanted <= slotCount_) return true;
  std::size_t bytes = 0;
  if (!MultiplySize(wanted, sizeof(std::int32_t), bytes)) return false;
  auto* fresh = static_cast<std::int32_t*>(Allocate(bytes));
  if (fresh == nullptr) return false;
  exprcalc::Release(slots_);
  slots_ = fresh;
  slotCount_ = wanted;
  Rebuild(records, count);
  return true;
}

void KeyIndex::Insert(const NormalisedKey& key, int recordIndex) noexcept {
  assert(slotCount_ > 0);
  std::size_t slot = SlotOf(key);
  while (slots_[slot] != FreeSlot) slot = (slot + 1) & (slotCount_ - 1);
  slots_[slot] = recordIndex;
}

std::size_t KeyIndex::SlotHolding(const unsigned char* records, int recordIndex) const noexcept {
  std::size_t slot = SlotOf(KeyOf(records, recordIndex));
  while (slots_[slot] != recordIndex) slot = (slot + 1) & (slotCount_ - 1);
  return slot;
}

void KeyIndex::Remove(const unsigned char* records, int count, int removed) noexcept {
  const std::size_t mask = slotCount_ - 1;
  std::size_t hole = SlotHolding(records, removed);
  slots_[hole] = FreeSlot;
  // Move later members of the probe run back into the hole when their home
  // slot does not lie cyclically between the hole and where they stand.
  for (std::size_t slot = (hole + 1) & mask; slots_[slot] != FreeSlot; slot = (slot + 1) & mask) {
    std::size_t home = SlotOf(KeyOf(records, slots_[slot]));
    if (((slot - home) & mask) >= ((slot - hole) & mask)) {
      slots_[hole] = slots_[slot];
      slots_[slot] = FreeSlot;
      hole = slot;
    }
  }
  for (int index = removed + 1; index < count; ++index) slots_[SlotHolding(records, index)] = index - 1;
}

void KeyIndex::Rebuild(const unsigned char* records, int count) noexcept {
  for (std::size_t slot = 0; slot < slotCount_; ++slot) slots_[slot] = FreeSlot;
  for (int index = 0; index < count; ++index) Insert(KeyOf(records, index), index);
}

void KeyIndex::Release() noexcept {
  exprcalc::Release(slots_);
  slots_ = nullptr;
  slotCount_ = 0;
}

}  // namespace exprcalc
