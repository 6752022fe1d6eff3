// The x86-64 instructions the native compiler writes, encoded by hand: SSE2
// scalar double arithmetic, loads and stores of a frame's slots (or of
// xmm4 to xmm15, for a program that calls nothing), loads of constants from
// the block's pool by their distance from the instruction, calls by absolute
// address, and the jumps to the block's failure exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace exprcalc::x64 {

// The constants at the start of the block, 16-byte aligned.
struct Pool {
  static constexpr std::size_t Magnitude = 0;   // 2 x 0x7FF..F, for andpd
  static constexpr std::size_t SignBit = 16;    // 0x800..0 and 0, for xorpd
  static constexpr std::size_t Threshold = 32;  // ZeroThreshold
  static constexpr std::size_t MinusOne = 40;
  static constexpr std::size_t One = 48;
  static constexpr std::size_t Constants = 56;  // the program's constants
};

enum class Kind : std::uint8_t { Constant, Variable, Slot };
struct Entry {
  Kind kind;
  std::size_t index;               // a constant's or a slot's
  const unsigned char* variable;  // a variable's number
};

class Assembler {
 public:
  explicit Assembler(unsigned char* block) noexcept : block_(block) {}
  std::size_t Size() const noexcept { return size_; }

  void Byte(unsigned value) noexcept { block_[size_++] = static_cast<unsigned char>(value); }
  void Bytes(std::initializer_list<unsigned> values) noexcept {
    for (unsigned value : values) Byte(value);
  }
  void U32(std::uint32_t value) noexcept {
    std::memcpy(block_ + size_, &value, 4);
    size_ += 4;
  }
  void U64(std::uint64_t value) noexcept {
    std::memcpy(block_ + size_, &value, 8);
    size_ += 8;
  }
  void F64(double value) noexcept {
    std::memcpy(block_ + size_, &value, 8);
    size_ += 8;
  }
  void Align(std::size_t to) noexcept {
    while (size_ % to != 0) Byte(0xCC);
  }
  // The displacement from the end of a 4-byte field that follows to offset.
  void Relative(std::size_t offset) noexcept {
    U32(static_cast<std::uint32_t>(static_cast<std::int64_t>(offset) - static_cast<std::int64_t>(size_ + 4)));
  }

  // movsd xmm<reg>, [rip + pool offset]
  void LoadPooled(unsigned reg, std::size_t offset) noexcept {
    Bytes({0xF2, 0x0F, 0x10, 0x05 | reg << 3});
    Relative(offset);
  }
  // mov rax, address
  void LoadAddress(const void* address) noexcept {
    Bytes({0x48, 0xB8});
    U64(reinterpret_cast<std::uintptr_t>(address));
  }
  // A program that calls nothing keeps its slots in xmm4 to xmm15 and needs
  // no frame; any other keeps them in its frame, with the output's address.
  void UseRegisters() noexcept { registers_ = true; }
  void SetFrame(std::uint32_t bytes) noexcept { frame_ = bytes; }

  // xmm<reg> = slot, and slot = xmm0
  void LoadSlot(unsigned reg, std::size_t slot) noexcept {
    if (registers_) {
      Move(reg, static_cast<unsigned>(4 + slot));
      return;
    }
    Bytes({0xF2, 0x0F, 0x10, 0x84 | reg << 3, 0x24});  // movsd xmm<reg>, [rsp + 8 * slot]
    U32(static_cast<std::uint32_t>(slot * 8));
  }
  void StoreSlot(std::size_t slot) noexcept {
    if (registers_) {
      Move(static_cast<unsigned>(4 + slot), 0);
      return;
    }
    Bytes({0xF2, 0x0F, 0x11, 0x84, 0x24});  // movsd [rsp + 8 * slot], xmm0
    U32(static_cast<std::uint32_t>(slot * 8));
  }
  // movapd xmm<to>, xmm<from>
  void Move(unsigned to, unsigned from) noexcept {
    Byte(0x66);
    if (to >= 8 || from >= 8) Byte(0x40 | (to >= 8 ? 4u : 0u) | (from >= 8 ? 1u : 0u));
    Bytes({0x0F, 0x28, 0xC0 | (to & 7) << 3 | (from & 7)});
  }
  void Load(unsigned reg, const Entry& entry) noexcept {
    if (entry.kind == Kind::Constant) {
      LoadPooled(reg, Pool::Constants + 8 * entry.index);
    } else if (entry.kind == Kind::Variable) {
      LoadAddress(entry.variable);
      Bytes({0xF2, 0x0F, 0x10, reg << 3});  // movsd xmm<reg>, [rax]
    } else {
      LoadSlot(reg, entry.index);
    }
  }
  // xmm0 = xmm0 op entry, the scalar operation of opcode (0F opcode) reading
  // the entry where it lies.
  void Apply(unsigned opcode, const Entry& entry) noexcept {
    if (entry.kind == Kind::Constant) {
      Bytes({0xF2, 0x0F, opcode, 0x05});
      Relative(Pool::Constants + 8 * entry.index);
    } else if (entry.kind == Kind::Variable) {
      LoadAddress(entry.variable);
      Bytes({0xF2, 0x0F, opcode, 0x00});
    } else if (registers_) {
      const auto reg = static_cast<unsigned>(4 + entry.index);
      Byte(0xF2);
      if (reg >= 8) Byte(0x41);
      Bytes({0x0F, opcode, 0xC0 | (reg & 7)});
    } else {
      Bytes({0xF2, 0x0F, opcode, 0x84, 0x24});
      U32(static_cast<std::uint32_t>(entry.index * 8));
    }
  }
  // call address (then to failure when eax is not 0)
  void Call(const void* address) noexcept {
    LoadAddress(address);
    Bytes({0xFF, 0xD0});
  }
  void CallChecked(const void* address, std::size_t failure) noexcept {
    Call(address);
    Bytes({0x85, 0xC0, 0x0F, 0x85});  // test eax, eax; jnz
    Relative(failure);
  }
  void Jump(std::size_t to) noexcept {
    Byte(0xE9);
    Relative(to);
  }
  // The function's start: its frame, and the output's address kept in the
  // frame's last word while calls may replace rdi.
  void Enter() noexcept {
    Bytes({0xF3, 0x0F, 0x1E, 0xFA});  // endbr64
    if (registers_) return;
    Bytes({0x48, 0x81, 0xEC});  // sub rsp, frame
    U32(frame_);
    Bytes({0x48, 0x89, 0xBC, 0x24});  // mov [rsp + frame - 8], rdi
    U32(frame_ - 8);
  }
  // Stores xmm0 as the value and returns, eax holding the code.
  void StoreAndReturn() noexcept {
    if (!registers_) {
      Bytes({0x48, 0x8B, 0xBC, 0x24});  // mov rdi, [rsp + frame - 8]
      U32(frame_ - 8);
    }
    Bytes({0xF2, 0x0F, 0x11, 0x07});  // movsd [rdi], xmm0
    if (!registers_) {
      Bytes({0x48, 0x81, 0xC4});  // add rsp, frame
      U32(frame_);
    }
    Byte(0xC3);
  }

 private:
  unsigned char* block_;
  std::size_t size_ = 0;
  bool registers_ = false;
  std::uint32_t frame_ = 0;
};

}  // namespace exprcalc::x64
