// The fuzz input read as a stream of bytes: past its end every read gives
// zeros, so a decoder never needs to check for the end itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return position_ >= size_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
  std::uint16_t Word() {
    const unsigned high = Byte();  // two statements: the bytes are read in order
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }
  std::string Bytes(std::size_t count) {
    const std::size_t available = Empty() ? 0 : size_ - position_;
    if (count > available) count = available;
    std::string bytes(reinterpret_cast<const char*>(data_ + position_), count);
    position_ += count;
    return bytes;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};
