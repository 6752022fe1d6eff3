// Table operations. A failed allocation never costs a stored variable: the
// block and the key index are only replaced once both new ones are in hand.
#include "variables/VariableTable.h"

#include <cassert>
#include <cstdint>
#include <cstring>

#include "base/Memory.h"
#include "variables/NormaliseKey.h"
#include "variables/VariableRecord.h"

namespace exprcalc {

int VariableTable::CopyRecord(int index, void* destination) const noexcept {
  if (!InRange(index)) return NotFound;
  std::memcpy(destination, Slot(index), record::Size);
  return 0;
}

int VariableTable::StringAt(int index, std::string_view& text) const noexcept {
  text = {};
  if (!InRange(index) || record::TypeOf(Slot(index)) != record::TextType) return NotFound;
  text = record::TextOf(Slot(index));
  return index;
}

int VariableTable::SetDouble(int index, double value) noexcept {
  if (!InRange(index) || record::TypeOf(Slot(index)) != record::NumberType) return NotFound;
  record::WriteNumber(Slot(index), value);
  return index;
}

int VariableTable::RemoveAt(int index) noexcept {
  if (!InRange(index)) return NotFound;
  ++generation_;
  keys_.Remove(records_, count_, index);
  std::size_t later = static_cast<std::size_t>(count_ - index - 1);
  if (later > 0) std::memmove(Slot(index), Slot(index + 1), later * record::Size);
  --count_;
  std::memset(Slot(count_), 0, record::Size);
  return 0;
}

int VariableTable::LookupDouble(std::string_view name, double& value) const noexcept {
  value = 0.0;
  int index = Find(NormaliseKey(name));
  if (index >= 0) value = record::NumberOf(Slot(index));
  return index;
}

int VariableTable::LookupString(std::string_view name, std::string_view& text) const noexcept {
  text = {};
  int index = Find(NormaliseKey(name));
  if (index >= 0) text = record::TextOf(Slot(index));
  return index;
}

int VariableTable::RemoveByKey(std::string_view name) noexcept {
  int index = Find(NormaliseKey(name));
  if (index < 0) return NotFound;
  return RemoveAt(index);
}

int VariableTable::Store(std::string_view name, unsigned char type, unsigned char*& slot) noexcept {
  NormalisedKey key = NormaliseKey(name);
  int index = Find(key);
  if (index >= 0) {
    slot = Slot(index);
    if (record::TypeOf(slot) != type) ++generation_;
    record::WriteHeader(slot, type);
    return index;
  }
  if (EnsureRoom() <= 0) return NoRoom;
  ++generation_;
  slot = Slot(count_);
  record::WriteHeader(slot, type);
  record::WriteName(slot, key.Padded());
  keys_.Insert(key, count_);
  return ++count_;
}

int VariableTable::EnterDouble(std::string_view name, double value) noexcept {
  unsigned char* slot = nullptr;
  int result = Store(name, record::NumberType, slot);
  if (result >= 0) record::WriteNumber(slot, value);
  return result;
}

int VariableTable::EnterString(std::string_view name, std::string_view value) noexcept {
  unsigned char* slot = nullptr;
  int result = Store(name, record::TextType, slot);
  if (result >= 0) record::WriteText(slot, value);
  return result;
}

int VariableTable::FreeBlock() noexcept {
  Release(records_);
  keys_.Release();
  ++generation_;
  records_ = nullptr;
  capacity_ = 0;
  count_ = 0;
  return 0;
}

int VariableTable::EnsureRoom() noexcept {
  if (records_ == nullptr) {
    auto* block = static_cast<unsigned char*>(AllocateZeroed(GrowthSlots * record::Size));
    if (block == nullptr || !keys_.Reserve(GrowthSlots, block, 0)) {
      Release(block);
      capacity_ = 0;
      count_ = 0;
      return 0;
    }
    records_ = block;
    capacity_ = GrowthSlots;
    count_ = 0;
    return capacity_;
  }
  if (capacity_ - count_ < HeadRoom + 1) {
    // The table holds at most INT_MAX records: past that no slot index fits.
    if (capacity_ > INT32_MAX - GrowthSlots) return 0;
    int grown = capacity_ + GrowthSlots;
    std::size_t bytes = 0;
    if (!MultiplySize(static_cast<std::size_t>(grown), record::Size, bytes)) return 0;
    auto* block = static_cast<unsigned char*>(Reallocate(records_, bytes));
    if (block == nullptr) return 0;
    records_ = block;
    // Added slots are zero-filled, so every byte a host can read was written by a store or is zero.
    std::memset(Slot(capacity_), 0, GrowthSlots * record::Size);
    if (!keys_.Reserve(static_cast<std::size_t>(grown), records_, count_)) return 0;
    capacity_ = grown;
  }
  assert(capacity_ >= count_ + HeadRoom + 1);
  return capacity_;
}

}  // namespace exprcalc
