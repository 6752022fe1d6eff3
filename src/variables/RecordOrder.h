// Where each record lies. A record stays in the slot it was appended to for
// as long as it lives; this compact array of slot numbers, in index order,
// says which slot holds which index. Removing a record moves four bytes per
// later record (and renumbers them) instead of the 256 bytes of each.
#pragma once

#include <cstddef>
#include <cstdint>

namespace exprcalc {

class RecordOrder {
 public:
  RecordOrder() = default;
  RecordOrder(const RecordOrder&) = delete;
  RecordOrder& operator=(const RecordOrder&) = delete;
  ~RecordOrder() { Release(); }

  // Makes room for capacity slots, keeping the order of those there are; the
  // added slots come last, in ascending order. Returns false when memory ran
  // out; the order is then unchanged.
  bool Reserve(std::size_t capacity) noexcept;
  // The slot of the record at index. The entries from the table's count up to
  // the capacity are the free slots: the one at count is where the next record goes.
  std::int32_t SlotAt(int index) const noexcept { return slots_[index]; }
  const std::int32_t* Slots() const noexcept { return slots_; }
  // The index of the record in slot.
  int IndexOf(std::int32_t slot) const noexcept { return indexes_[slot]; }
  // Takes the record at index out of the count in use: the later ones move
  // down one place and its slot becomes the first free one. Returns that slot.
  std::int32_t Remove(int index, int count) noexcept;
  void Release() noexcept;

 private:
  std::int32_t* slots_ = nullptr;    // capacity entries: a permutation of 0 to capacity-1
  std::int32_t* indexes_ = nullptr;  // its inverse: indexes_[slots_[i]] == i
  std::size_t capacity_ = 0;
};

}  // namespace exprcalc
