// Table operations. A failed allocation never costs a stored variable: the
// block, the key index and the record order each change only once their new
// memory is in hand, and each stays valid for the records there are.
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
  std::memcpy(destination, RecordAt(index), record::Size);
  return 0;
}

int VariableTable::StringAt(int index, std::string_view& text) const noexcept {
  text = {};
  if (!InRange(index) || record::TypeOf(RecordAt(index)) != record::TextType) return NotFound;
  text = record::TextOf(RecordAt(index));
  return index;
}

// The record keeps its slot, which is zero-filled and becomes the first free
// one; the later records only move down in the record order.
int VariableTable::RemoveAt(int index) noexcept {
  if (!InRange(index)) return NotFound;
  ++generation_;
  keys_.Remove(records_, order_.SlotAt(index));
  const std::int32_t freed = order_.Remove(index, count_);
  --count_;
  std::memset(SlotBytes(freed), 0, record::Size);
  return 0;
}

int VariableTable::LookupDouble(std::string_view name, double& value) const noexcept {
  const std::int32_t slot = FindSlot(NormaliseKey(name));
  if (slot < 0) {
    value = 0.0;
    return NotFound;
  }
  value = record::NumberOf(SlotBytes(slot));
  return order_.IndexOf(slot);
}

int VariableTable::LookupString(std::string_view name, std::string_view& text) const noexcept {
  text = {};
  const std::int32_t slot = FindSlot(NormaliseKey(name));
  if (slot < 0) return NotFound;
  text = record::TextOf(SlotBytes(slot));
  return order_.IndexOf(slot);
}

int VariableTable::RemoveByKey(std::string_view name) noexcept {
  const std::int32_t slot = FindSlot(NormaliseKey(name));
  if (slot < 0) return NotFound;
  return RemoveAt(order_.IndexOf(slot));
}

int VariableTable::Store(std::string_view name, unsigned char type, unsigned char*& slot) noexcept {
  NormalisedKey key = NormaliseKey(name);
  const std::int32_t found = FindSlot(key);
  ++writes_;
  if (found >= 0) {
    slot = SlotBytes(found);
    if (record::TypeOf(slot) != type) ++generation_;
    record::WriteHeader(slot, type);
    return order_.IndexOf(found);
  }
  if (functions_.Count() != 0 && functions_.Find(key) != HostFunctions::NotFound) return NoRoom;  // a function's name
  if (EnsureRoom() <= 0) return NoRoom;
  ++generation_;
  const std::int32_t fresh = order_.SlotAt(count_);  // the first free slot, all zero
  slot = SlotBytes(fresh);
  record::WriteHeader(slot, type);
  record::WriteName(slot, key.Padded());
  keys_.Insert(key, fresh);
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
  order_.Release();
  ++generation_;
  records_ = nullptr;
  capacity_ = 0;
  count_ = 0;
  return 0;
}

int VariableTable::DefineFunction(const NormalisedKey& key, HostCallback call, void* user) noexcept {
  if (call == nullptr) {
    if (!functions_.Remove(key)) return FunctionNotFound;
  } else {
    if (FindSlot(key) >= 0) return FunctionNameTaken;
    if (!functions_.Define(key, call, user)) return FunctionNoRoom;
  }
  ++generation_;
  return 0;
}

int VariableTable::EnsureRoom() noexcept {
  if (records_ == nullptr) {
    auto* block = static_cast<unsigned char*>(AllocateZeroed(GrowthSlots * record::Size));
    if (block == nullptr || !order_.Reserve(GrowthSlots) ||
        !keys_.Reserve(GrowthSlots, block, order_.Slots(), 0)) {
      Release(block);
      order_.Release();
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
    ++generation_;  // the records moved (even if the append then finds no room)
    // Added slots are zero-filled, so every byte a host can read was written by a store or is zero.
    std::memset(SlotBytes(capacity_), 0, GrowthSlots * record::Size);
    if (!order_.Reserve(static_cast<std::size_t>(grown)) ||
        !keys_.Reserve(static_cast<std::size_t>(grown), records_, order_.Slots(), count_)) {
      return 0;
    }
    capacity_ = grown;
  }
  assert(capacity_ >= count_ + HeadRoom + 1);
  return capacity_;
}

}  // namespace exprcalc
