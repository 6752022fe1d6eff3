// The x86-64 instructions the native compiler writes, each by a named
// emitter that encodes it: SSE2 scalar double arithmetic, loads and stores
// of a frame's slots (or of xmm4 to xmm15, for a program that calls
// nothing), the block's pool of constants read by their distance from the
// instruction, calls by absolute address (a host's function's too), and the
// jumps to the block's failure exits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace exprcalc::x64 {

// The constants at the start of the block, 16-byte aligned.
struct Pool {
  static constexpr std::size_t Magnitude = 0;   // 2 x 0x7FF..F, for andpd
  static constexpr std::size_t Threshold = 16;  // ZeroThreshold
  static constexpr std::size_t MinusOne = 24;   // SignFactor
  static constexpr std::size_t One = 32;        // UnitBound
  static constexpr std::size_t Constants = 40;  // the program's constants
};

// The scalar double operations of the form F2 0F op: xmm = xmm op source.
enum class Scalar : unsigned { Add = 0x58, Multiply = 0x59, Subtract = 0x5C, Divide = 0x5E, SquareRoot = 0x51 };
// The packed bitwise operations of the form 66 0F op, on a pooled mask.
enum class Bitwise : unsigned { And = 0x54 };
// The general registers that take a call's pointer arguments.
enum class Pointer : unsigned { Rsi = 6, Rdi = 7 };

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

  void U64(std::uint64_t value) noexcept {
    std::memcpy(block_ + size_, &value, 8);
    size_ += 8;
  }
  void F64(double value) noexcept {
    std::memcpy(block_ + size_, &value, 8);
    size_ += 8;
  }
  void Align(std::size_t to) noexcept {
    while (size_ % to != 0) Byte(0xCC);  // int3
  }

  // movsd xmm<reg>, [rip + pool offset]
  void LoadPooled(unsigned reg, std::size_t offset) noexcept {
    Bytes({0xF2, 0x0F, 0x10, 0x05 | reg << 3});
    Relative(offset);
  }
  // xmm<reg> op= [rip + pool offset], for op the scalar Multiply (a sign)
  void ApplyPooled(Scalar op, unsigned reg, std::size_t offset) noexcept {
    Bytes({0xF2, 0x0F, static_cast<unsigned>(op), 0x05 | reg << 3});
    Relative(offset);
  }
  // andpd / xorpd xmm<reg>, [rip + pool offset]
  void MaskPooled(Bitwise op, unsigned reg, std::size_t offset) noexcept {
    Bytes({0x66, 0x0F, static_cast<unsigned>(op), 0x05 | reg << 3});
    Relative(offset);
  }
  // xorpd xmm<reg>, xmm<reg>: +0.0
  void ClearRegister(unsigned reg) noexcept { Bytes({0x66, 0x0F, 0x57, 0xC0 | reg << 3 | reg}); }
  // pxor xmm0, xmm0: the value 0.0
  void ClearValue() noexcept { Bytes({0x66, 0x0F, 0xEF, 0xC0}); }
  // xmm<to> = xmm<to> op xmm<from>, for the scalar operations of xmm0 to xmm7
  void ApplyRegister(Scalar op, unsigned to, unsigned from) noexcept {
    Bytes({0xF2, 0x0F, static_cast<unsigned>(op), 0xC0 | to << 3 | from});
  }
  // ucomisd xmm<a>, xmm<b> (flags of a compared with b)
  void CompareRegisters(unsigned a, unsigned b) noexcept { Bytes({0x66, 0x0F, 0x2E, 0xC0 | a << 3 | b}); }
  // ucomisd xmm<reg>, [rip + pool offset]
  void ComparePooled(unsigned reg, std::size_t offset) noexcept {
    Bytes({0x66, 0x0F, 0x2E, 0x05 | reg << 3});
    Relative(offset);
  }
  // mov rax, address
  void LoadAddress(const void* address) noexcept {
    Bytes({0x48, 0xB8});
    U64(reinterpret_cast<std::uintptr_t>(address));
  }
  // lea <reg>, [rsp + 8 * slot]: a slot's address, for a call that writes it
  void SlotAddress(Pointer reg, std::size_t slot) noexcept {
    Bytes({0x48, 0x8D, 0x84 | static_cast<unsigned>(reg) << 3, 0x24});
    U32(static_cast<std::uint32_t>(slot * 8));
  }
  // mov <reg>, pointer: a call's pointer argument
  void LoadPointer(Pointer reg, const void* pointer) noexcept {
    Bytes({0x48, 0xB8 | static_cast<unsigned>(reg)});
    U64(reinterpret_cast<std::uintptr_t>(pointer));
  }
  // mov qword [rsp + 8 * slot], 0: +0.0 in a frame's slot
  void ZeroSlot(std::size_t slot) noexcept {
    Bytes({0x48, 0xC7, 0x84, 0x24});
    U32(static_cast<std::uint32_t>(slot * 8));
    U32(0);
  }
  // cmp eax, value (a code)
  void CompareCode(std::uint8_t value) noexcept { Bytes({0x83, 0xF8, value}); }
  // mov eax, code, and xor eax, eax (the code Ok)
  void SetCode(std::uint32_t code) noexcept {
    Byte(0xB8);
    U32(code);
  }
  void ClearCode() noexcept { Bytes({0x31, 0xC0}); }

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
  // xmm0 = xmm0 op entry, reading the entry where it lies.
  void Apply(Scalar op, const Entry& entry) noexcept {
    const auto opcode = static_cast<unsigned>(op);
    if (entry.kind == Kind::Constant) {
      ApplyPooled(op, 0, Pool::Constants + 8 * entry.index);
    } else if (entry.kind == Kind::Variable) {
      LoadAddress(entry.variable);
      Bytes({0xF2, 0x0F, opcode, 0x00});  // op xmm0, [rax]
    } else if (registers_) {
      const auto reg = static_cast<unsigned>(4 + entry.index);
      Byte(0xF2);
      if (reg >= 8) Byte(0x41);
      Bytes({0x0F, opcode, 0xC0 | (reg & 7)});
    } else {
      Bytes({0xF2, 0x0F, opcode, 0x84, 0x24});  // op xmm0, [rsp + 8 * slot]
      U32(static_cast<std::uint32_t>(entry.index * 8));
    }
  }
  // call address (then to failure when eax is not 0)
  void Call(const void* address) noexcept {
    LoadAddress(address);
    Bytes({0xFF, 0xD0});  // call rax
  }
  void CallChecked(const void* address, std::size_t failure) noexcept {
    Call(address);
    Bytes({0x85, 0xC0});  // test eax, eax
    JumpIf(Condition::NotZero, failure);
  }
  void Jump(std::size_t to) noexcept {
    Byte(0xE9);
    Relative(to);
  }
  // The conditions of the jumps written: after ucomisd, Above is "greater,
  // ordered"; NotEqual and Parity (unordered) skip a test; after cmp,
  // BelowOrEqual compares unsigned.
  enum class Condition : unsigned { NotZero = 0x5, NotEqual = 0x5, BelowOrEqual = 0x6, Above = 0x7, Parity = 0xA };
  // jcc to an offset of the block (rel32)
  void JumpIf(Condition condition, std::size_t to) noexcept {
    Bytes({0x0F, 0x80 | static_cast<unsigned>(condition)});
    Relative(to);
  }
  // A short jump forward (jcc rel8, or jmp rel8 without a condition) whose
  // distance Land fills in once the code it skips is written.
  std::size_t SkipIf(Condition condition) noexcept {
    Bytes({0x70 | static_cast<unsigned>(condition), 0});
    return size_ - 1;
  }
  std::size_t Skip() noexcept {
    Bytes({0xEB, 0});
    return size_ - 1;
  }
  void Land(std::size_t skip) noexcept { block_[skip] = static_cast<unsigned char>(size_ - (skip + 1)); }

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
    Byte(0xC3);  // ret
  }

 private:
  void Byte(unsigned value) noexcept { block_[size_++] = static_cast<unsigned char>(value); }
  void Bytes(std::initializer_list<unsigned> values) noexcept {
    for (unsigned value : values) Byte(value);
  }
  void U32(std::uint32_t value) noexcept {
    std::memcpy(block_ + size_, &value, 4);
    size_ += 4;
  }
  // The displacement from the end of a 4-byte field that follows to offset.
  void Relative(std::size_t offset) noexcept {
    U32(static_cast<std::uint32_t>(static_cast<std::int64_t>(offset) - static_cast<std::int64_t>(size_ + 4)));
  }

  unsigned char* block_;
  std::size_t size_ = 0;
  bool registers_ = false;
  std::uint32_t frame_ = 0;
};

}  // namespace exprcalc::x64
