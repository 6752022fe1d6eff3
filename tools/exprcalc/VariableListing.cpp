// Decodes the 256-byte records byte by byte (the number is little-endian
// whatever the host), so the listing shows exactly what a host reading the
// records would see.
#include "VariableListing.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "NumberFormat.h"
#include "exprcalc.h"

namespace calculator {
namespace {

using Record = unsigned char[EXPRCALC_RECORD_SIZE];

// The bytes of a field up to its first NUL, or the whole field.
std::string FieldText(const Record& record, std::size_t offset, std::size_t size) {
  const unsigned char* first = record + offset;
  const unsigned char* end = std::find(first, first + size, '\0');
  return std::string(first, end);
}

double LittleEndianDouble(const Record& record, std::size_t offset) {
  std::uint64_t bits = 0;
  for (std::size_t i = EXPRCALC_RECORD_NUMBER_SIZE; i-- > 0;) bits = (bits << 8) | record[offset + i];
  return std::bit_cast<double>(bits);
}

}  // namespace

std::vector<VariableEntry> ReadVariables() {
  std::vector<VariableEntry> entries;
  const int count = GetVarCount();
  for (int index = 0; index < count; ++index) {
    Record record{};
    if (GetVar(index, record) != 0) break;
    VariableEntry entry;
    entry.index = index;
    entry.name = FieldText(record, EXPRCALC_RECORD_NAME_OFFSET, EXPRCALC_RECORD_NAME_SIZE);
    entry.isText = record[EXPRCALC_RECORD_TYPE_OFFSET] == EXPRCALC_TYPE_TEXT;
    if (entry.isText) {
      entry.text = FieldText(record, EXPRCALC_RECORD_TEXT_OFFSET, EXPRCALC_RECORD_TEXT_SIZE);
    } else {
      entry.number = LittleEndianDouble(record, EXPRCALC_RECORD_NUMBER_OFFSET);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string FormatVariables(const std::vector<VariableEntry>& entries, ValueStyle style) {
  if (entries.empty()) return "(no variables)\n";
  std::size_t indexWidth = 0;
  std::size_t nameWidth = 0;
  for (const VariableEntry& entry : entries) {
    indexWidth = std::max(indexWidth, std::to_string(entry.index).size());
    nameWidth = std::max(nameWidth, entry.name.size());
  }
  std::string listing;
  for (const VariableEntry& entry : entries) {
    const std::string index = std::to_string(entry.index);
    const std::string value = entry.isText ? "\"" + entry.text + "\""
                              : style == ValueStyle::DegreesMinutesSeconds ? FormatDms(entry.number)
                                                                           : FormatNumber(entry.number);
    listing += std::string(indexWidth - index.size(), ' ') + index + "  " + entry.name +
               std::string(nameWidth - entry.name.size(), ' ') + "  " + (entry.isText ? "text  " : "number") + "  " +
               value + "\n";
  }
  return listing;
}

}  // namespace calculator
