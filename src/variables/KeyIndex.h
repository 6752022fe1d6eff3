// A hash index from normalised key to the slot that holds the record, kept
// beside the table's records so that a by-name operation costs the same
// whatever the table's size. Records never leave their slot, so a removal
// forgets one key and renumbers nothing. The records stay the one source of
// truth: the index only says where to look, and every hit is confirmed
// against the record's stored name.
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

  // Makes room for recordCapacity keys and indexes the records in the count
  // slots listed. Returns false when memory ran out; the index is then unchanged.
  bool Reserve(std::size_t recordCapacity, const unsigned char* records, const std::int32_t* usedSlots,
               int count) noexcept;
  // The slot of the record whose name is key, or -1.
  std::int32_t Find(const NormalisedKey& key, const unsigned char* records) const noexcept {
    for (std::size_t bucket = BucketOf(key);; bucket = (bucket + 1) & mask_) {
      const std::int32_t slot = buckets_[bucket];
      if (slot == Empty) return -1;
      if (record::NameEquals(records + static_cast<std::size_t>(slot) * record::Size, key)) return slot;
    }
  }
  // Adds the key of a new record (room was reserved for it).
  void Insert(const NormalisedKey& key, std::int32_t slot) noexcept;
  // Forgets the record in slot. Call while its name is still stored there.
  void Remove(const unsigned char* records, std::int32_t slot) noexcept;
  // Forgets every key and releases the buckets.
  void Release() noexcept;

 private:
  static constexpr std::int32_t Empty = -1;
  // An index without memory probes this one empty bucket, which is never
  // written: a lookup then needs no test of its own for the missing array.
  inline static std::int32_t noBuckets_[1] = {Empty};
  bool Owned() const noexcept { return buckets_ != noBuckets_; }
  std::size_t BucketOf(const NormalisedKey& key) const noexcept {
    return static_cast<std::size_t>(key.Hash()) & mask_;
  }
  std::size_t BucketHolding(const unsigned char* records, std::int32_t slot) const noexcept;
  void Rebuild(const unsigned char* records, const std::int32_t* usedSlots, int count) noexcept;

  std::int32_t* buckets_ = noBuckets_;  // a record's slot in the table's block, or -1
  std::size_t mask_ = 0;  // the bucket count less one; the count is a power of two, at least twice the record capacity
};

}  // namespace exprcalc
