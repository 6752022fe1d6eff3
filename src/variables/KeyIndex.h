// A hash index from normalised key to record index, kept beside the table's
// records so that a by-name operation costs the same whatever the table's
// size. The records stay the one source of truth: the index only says where
// to look, and every hit is confirmed against the record's stored name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "variables/NormaliseKey.h"
#include "variables/VariableRecord.h"

namespace exprcalc {

class KeyIndex {
 public:
  KeyIndex() = default;
  KeyIndex(const KeyIndex&) = delete;
  KeyIndex& operator=(const KeyIndex&) = delete;
  ~KeyIndex() { Release(); }

  // Makes room for recordCapacity keys and indexes the count records of the
  // block. Returns false when memory ran out; the index is then unchanged.
  bool Reserve(std::size_t recordCapacity, const unsigned char* records, int count) noexcept;
  // The index of the record whose name is key, or -1.
  int Find(const NormalisedKey& key, const unsigned char* records) const noexcept {
    if (slotCount_ == 0) return -1;
    for (std::size_t slot = SlotOf(key);; slot = (slot + 1) & (slotCount_ - 1)) {
      const std::int32_t index = slots_[slot];
      if (index == FreeSlot) return -1;
      if (record::NameEquals(records + static_cast<std::size_t>(index) * record::Size, key)) return index;
    }
  }
  // Adds the key of a new record (room was reserved for it).
  void Insert(const NormalisedKey& key, int recordIndex) noexcept;
  // Forgets record removed and renumbers the records above it one lower, as
  // the table is about to move them down. Call before the records move.
  void Remove(const unsigned char* records, int count, int removed) noexcept;
  // Forgets every key and releases the slots.
  void Release() noexcept;

 private:
  static constexpr std::int32_t FreeSlot = -1;
  std::size_t SlotOf(const NormalisedKey& key) const noexcept {
    return static_cast<std::size_t>(key.Hash()) & (slotCount_ - 1);
  }
  std::size_t SlotHolding(const unsigned char* records, int recordIndex) const noexcept;
  void Rebuild(const unsigned char* records, int count) noexcept;

  std::int32_t* slots_ = nullptr;  // record index, or -1 for a free slot
  std::size_t slotCount_ = 0;      // a power of two, at least twice the record capacity
};

}  // namespace exprcalc
