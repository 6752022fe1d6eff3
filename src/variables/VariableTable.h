// The process's one store of named variables: fixed 256-byte records in one
// contiguous block that grows 32 slots at a time, keyed by normalised name.
// Indexes are positions in the order of appending: removing a record moves
// every later one down an index. The records themselves stay in their slots;
// the record order maps indexes to slots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exprcalc.h"
#include "base/CodeSpace.h"
#include "variables/HostFunctions.h"
#include "variables/KeyIndex.h"
#include "variables/NormaliseKey.h"
#include "variables/RecordOrder.h"
#include "variables/VariableRecord.h"

namespace exprcalc {

class VariableTable {
 public:
  static constexpr int GrowthSlots = 32;
  // Free slots kept after every append: a block grows when fewer than 16 are free.
  static constexpr int HeadRoom = 15;
  // The result of a by-name or by-index operation that finds no variable.
  static constexpr int NotFound = -1;
  // The result of a store for which no room can be made.
  static constexpr int NoRoom = -1;

  constexpr VariableTable() noexcept = default;
  VariableTable(const VariableTable&) = delete;
  VariableTable& operator=(const VariableTable&) = delete;
  ~VariableTable() { FreeBlock(); }

  int GetCount() const noexcept { return count_; }
  int Capacity() const noexcept { return capacity_; }
  // Changes whenever the table's shape changes: a record added, removed or
  // turned into the other type, the table cleared, or its block moved. A new number stored in
  // an existing number record leaves it alone, so what a text reads (which
  // names exist, at which index, of which type) holds while it is unchanged.
  std::uint64_t Generation() const noexcept { return generation_; }
  // Counts the stores into records: while it and the generation hold, every
  // text reads the values it read before.
  std::uint64_t Writes() const noexcept { return writes_; }
  // Where programs prepared under this table put their machine code: each
  // table has its own, which locks itself, so compiling never writes the
  // variables (CodeSpace.h).
  CodeSpace& Code() const noexcept { return code_; }
  // The number of the record at index, which must be a number record.
  double NumberAt(int index) const noexcept { return record::NumberOf(RecordAt(index)); }
  // Where the number of the record at index lies (index in range): the bytes
  // stay put, and keep naming that record, while the generation holds.
  const unsigned char* NumberBytes(int index) const noexcept { return RecordAt(index) + record::NumberOffset; }

  // Index operations: NotFound for an index outside 0 to count-1.
  int CopyRecord(int index, void* destination) const noexcept;
  int DoubleAt(int index, double& value) const noexcept {  // NotFound also for a text record
    value = 0.0;
    if (!InRange(index) || record::TypeOf(RecordAt(index)) != record::NumberType) return NotFound;
    value = record::NumberOf(RecordAt(index));
    return index;
  }
  int StringAt(int index, std::string_view& text) const noexcept;  // NotFound also for a number record
  int RemoveAt(int index) noexcept;
  // Stores value in the existing number record at index: index, or NotFound
  // for an index out of range or a text record. The shape does not change.
  // Inline: a host may store a value before every evaluation.
  int SetDouble(int index, double value) noexcept {
    if (!InRange(index) || record::TypeOf(RecordAt(index)) != record::NumberType) return NotFound;
    ++writes_;
    record::WriteNumber(RecordAt(index), value);
    return index;
  }

  // Name operations: the name is normalised first; NotFound when it is not stored.
  // The texts handed out point into the table and stay valid until it changes.
  int IndexByKey(std::string_view name, int& type) const noexcept {
    type = 0;
    const std::int32_t slot = FindSlot(NormaliseKey(name));
    if (slot < 0) return NotFound;
    type = record::TypeOf(SlotBytes(slot));
    return order_.IndexOf(slot);
  }
  // The tokenizer's lookup, inline: the slot of name's record, with the type
  // and bytes 40-47 read as a double (a number record's number); -1 when name
  // is not stored.
  std::int32_t FindVariable(std::string_view name, int& type, double& number) const noexcept {
    const std::int32_t slot = FindSlot(NormaliseKey(name));
    if (slot < 0) return -1;
    type = record::TypeOf(SlotBytes(slot));
    number = record::NumberOf(SlotBytes(slot));
    return slot;
  }
  // The index of the record in a slot that FindVariable gave, while the table is unchanged.
  int IndexOfSlot(std::int32_t slot) const noexcept { return order_.IndexOf(slot); }
  int LookupDouble(std::string_view name, double& value) const noexcept;
  int LookupString(std::string_view name, std::string_view& text) const noexcept;
  int RemoveByKey(std::string_view name) noexcept;

  // Stores: the index after a replacement, the new count after an append, NoRoom
  // when no room can be made (then nothing changes, not even the capacity).
  int EnterDouble(std::string_view name, double value) noexcept;
  int EnterString(std::string_view name, std::string_view value) noexcept;

  // Releases the block and leaves the table empty; returns 0. The host's
  // functions stay.
  int FreeBlock() noexcept;

  // The host's functions. A function's name is never a stored variable's:
  // defining one under a variable's name is refused (FunctionNameTaken), and
  // so is storing a variable under a function's name (NoRoom).
  const HostFunctions& Functions() const noexcept { return functions_; }
  static constexpr int FunctionNotFound = EXPRCALC_NOT_FOUND;
  static constexpr int FunctionNameTaken = EXPRCALC_FUNCTION_NAME_TAKEN;
  static constexpr int FunctionNoRoom = EXPRCALC_OUT_OF_MEMORY;
  // Defines (or with a null call removes) the function named key: 0, or one
  // of the codes above. Either changes how texts read, so the shape changes.
  int DefineFunction(const NormalisedKey& key, HostCallback call, void* user) noexcept;
  // Makes sure the slot at count lies in the block with head-room behind it.
  // Returns the capacity, or 0 when memory ran out (the table is unchanged).
  int EnsureRoom() noexcept;

 private:
  // One unsigned comparison: a negative index wraps past any count.
  bool InRange(int index) const noexcept {
    return static_cast<unsigned>(index) < static_cast<unsigned>(count_);
  }
  unsigned char* SlotBytes(std::int32_t slot) const noexcept {
    return records_ + static_cast<std::size_t>(slot) * record::Size;
  }
  // The record at index (which must be in range).
  unsigned char* RecordAt(int index) const noexcept { return SlotBytes(order_.SlotAt(index)); }
  // The one lookup: the slot of the record whose name is key, or -1.
  std::int32_t FindSlot(const NormalisedKey& key) const noexcept { return keys_.Find(key, records_); }
  // Finds or appends the record of name and writes its header; NoRoom when no room.
  int Store(std::string_view name, unsigned char type, unsigned char*& slot) noexcept;

  int capacity_ = 0;
  int count_ = 0;
  unsigned char* records_ = nullptr;
  std::uint64_t generation_ = 0;
  std::uint64_t writes_ = 0;
  KeyIndex keys_;
  RecordOrder order_;
  mutable CodeSpace code_;
  HostFunctions functions_;
};

}  // namespace exprcalc
