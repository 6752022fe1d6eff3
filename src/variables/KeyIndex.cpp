// Open addressing with linear probing over a power-of-two bucket array kept
// at most half full. Removal deletes by backward shift (no tombstones).
#include "variables/KeyIndex.h"

#include <cassert>

#include "base/Memory.h"
#include "variables/VariableRecord.h"

namespace exprcalc {
namespace {

// A stored name is a normalised key, and normalising a key changes nothing.
NormalisedKey KeyOf(const unsigned char* records, std::int32_t slot) noexcept {
  return NormaliseKey(record::NameOf(records + static_cast<std::size_t>(slot) * record::Size));
}

}  // namespace

bool KeyIndex::Reserve(std::size_t recordCapacity, const unsigned char* records, const std::int32_t* usedSlots,
                       int count) noexcept {
  std::size_t wanted = 64;
  while (wanted < 2 * recordCapacity) wanted *= 2;
  if (Owned() && wanted <= mask_ + 1) return true;
  std::size_t bytes = 0;
  if (!MultiplySize(wanted, sizeof(std::int32_t), bytes)) return false;
  auto* fresh = static_cast<std::int32_t*>(Allocate(bytes));
  if (fresh == nullptr) return false;
  Release();
  buckets_ = fresh;
  mask_ = wanted - 1;
  Rebuild(records, usedSlots, count);
  return true;
}

void KeyIndex::Insert(const NormalisedKey& key, std::int32_t slot) noexcept {
  assert(Owned());
  std::size_t bucket = BucketOf(key);
  while (buckets_[bucket] != Empty) bucket = (bucket + 1) & mask_;
  buckets_[bucket] = slot;
}

std::size_t KeyIndex::BucketHolding(const unsigned char* records, std::int32_t slot) const noexcept {
  std::size_t bucket = BucketOf(KeyOf(records, slot));
  while (buckets_[bucket] != slot) bucket = (bucket + 1) & mask_;
  return bucket;
}

void KeyIndex::Remove(const unsigned char* records, std::int32_t slot) noexcept {
  const std::size_t mask = mask_;
  std::size_t hole = BucketHolding(records, slot);
  buckets_[hole] = Empty;
  // Move later members of the probe run back into the hole when their home
  // bucket does not lie cyclically between the hole and where they stand.
  for (std::size_t bucket = (hole + 1) & mask; buckets_[bucket] != Empty; bucket = (bucket + 1) & mask) {
    const std::size_t home = BucketOf(KeyOf(records, buckets_[bucket]));
    if (((bucket - home) & mask) >= ((bucket - hole) & mask)) {
      buckets_[hole] = buckets_[bucket];
      buckets_[bucket] = Empty;
      hole = bucket;
    }
  }
}

void KeyIndex::Rebuild(const unsigned char* records, const std::int32_t* usedSlots, int count) noexcept {
  for (std::size_t bucket = 0; bucket <= mask_; ++bucket) buckets_[bucket] = Empty;
  for (int index = 0; index < count; ++index) Insert(KeyOf(records, usedSlots[index]), usedSlots[index]);
}

void KeyIndex::Release() noexcept {
  if (Owned()) exprcalc::Release(buckets_);
  buckets_ = noBuckets_;
  mask_ = 0;
}

}  // namespace exprcalc
