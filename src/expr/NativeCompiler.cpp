// The native compiler for x86-64 (System V): a symbolic run of the stack, as
// for the steps, that writes SSE2 scalar instructions. A number's slot lies
// in the function's frame; the value just computed stays in xmm0 and is only
// stored when something else comes first (each stack entry is used once).
// + - * / are single instructions with the left operand as the destination,
// which gives the first operand's NaN when both are NaN, as the evaluator's
// pinned sums and products do; a sign flips the sign bit or multiplies by -1
// as the evaluator's compiled sign does; the built-ins, "%" and "^" call the
// evaluator's own functions.
//
// The block a program gets: [constants][failure exits][function].
#include "expr/NativeCompiler.h"

#if defined(__linux__) && defined(__x86_64__)

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "expr/BuiltIns.h"
#include "expr/CodeSpace.h"
#include "expr/Parse.h"
#include "expr/Program.h"
#include "expr/Reduce.h"

namespace exprcalc {
namespace {

Outcome RemainderOf(double a, double b) noexcept { return ApplyOperator<'%'>(a, b); }
template <typename Function>
Outcome Checked(double y) noexcept {
  const ResultCode code = Function::Test(y);
  if (code != Ok) return {code, 0.0};
  return {Ok, Function::Value(y)};
}

// Whether the evaluator's sign flips a NaN's sign bit (a compiler may write
// y * -1.0 as a flip of the sign bit) or multiplies it, which keeps it.
bool SignFlipsNaN() noexcept {
  volatile double nan = std::numeric_limits<double>::quiet_NaN();
  return std::signbit(ApplyPrefix('-', nan).value);
}

// The constants at the start of the block, 16-byte aligned.
struct Pool {
  static constexpr std::size_t Magnitude = 0;   // 2 x 0x7FF..F, for andpd
  static constexpr std::size_t SignBit = 16;    // 0x800..0 and 0, for xorpd
  static constexpr std::size_t Threshold = 32;  // ZeroThreshold
  static constexpr std::size_t MinusOne = 40;
  static constexpr std::size_t Constants = 48;  // the program's constants
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
  // movsd xmm<reg>, [rsp + 8 * slot] and movsd [rsp + 8 * slot], xmm0
  void LoadSlot(unsigned reg, std::size_t slot) noexcept {
    Bytes({0xF2, 0x0F, 0x10, 0x84 | reg << 3, 0x24});
    U32(static_cast<std::uint32_t>(slot * 8));
  }
  void StoreSlot(std::size_t slot) noexcept {
    Bytes({0xF2, 0x0F, 0x11, 0x84, 0x24});
    U32(static_cast<std::uint32_t>(slot * 8));
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
  // call address, then to failure when eax is not 0
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
  // add/sub rsp, bytes
  void Frame(bool open, std::uint32_t bytes) noexcept {
    Bytes({0x48, 0x81, open ? 0xECu : 0xC4u});
    U32(bytes);
  }

 private:
  unsigned char* block_;
  std::size_t size_ = 0;
};

// Upper bounds of the bytes written, for the block's size.
constexpr std::size_t MostBytesPerOperation = 104;
constexpr std::size_t MostFixedBytes = 160;

class NativeWriter {
 public:
  // Where the function returns with the code in eax, and with a division
  // by zero or a domain error.
  struct Exits {
    std::size_t failure;
    std::size_t divisionByZero;
    std::size_t domainError;
  };
  NativeWriter(Assembler& code, const Exits& exits) noexcept
      : code_(code), failure_(exits.failure), divisionFailure_(exits.divisionByZero), domainFailure_(exits.domainError) {}

  void Infix(TokenKind op, const Entry& left, const Entry& right, std::size_t target) noexcept {
    const bool leftHeld = Holds(left);
    const bool rightHeld = Holds(right);
    if (!leftHeld && !rightHeld) Flush();
    if (rightHeld) {
      code_.Bytes({0x66, 0x0F, 0x28, 0xC8});  // movapd xmm1, xmm0
      code_.Load(0, left);
    } else {
      if (!leftHeld) code_.Load(0, left);
      code_.Load(1, right);
    }
    switch (op) {
      case '+': code_.Bytes({0xF2, 0x0F, 0x58, 0xC1}); break;
      case '-': code_.Bytes({0xF2, 0x0F, 0x5C, 0xC1}); break;
      case '*': code_.Bytes({0xF2, 0x0F, 0x59, 0xC1}); break;
      case '/':
        code_.Bytes({0x66, 0x0F, 0x28, 0xD1});  // movapd xmm2, xmm1
        code_.Bytes({0x66, 0x0F, 0x54, 0x15});  // andpd xmm2, magnitude mask
        code_.Relative(Pool::Magnitude);
        code_.LoadPooled(3, Pool::Threshold);
        code_.Bytes({0x66, 0x0F, 0x2E, 0xDA, 0x0F, 0x87});  // ucomisd xmm3, xmm2; ja
        code_.Relative(divisionFailure_);
        code_.Bytes({0xF2, 0x0F, 0x5E, 0xC1});
        break;
      case '%': code_.CallChecked(reinterpret_cast<const void*>(&RemainderOf), failure_); break;
      default:
        // Zero to a negative power fails; anything else is pow's.
        code_.Bytes({0x66, 0x0F, 0x57, 0xD2});  // xorpd xmm2, xmm2
        code_.Bytes({0x66, 0x0F, 0x2E, 0xC2});  // ucomisd xmm0, xmm2
        code_.Bytes({0x75, 12, 0x7A, 10});      // jne, jp: past the test of b
        code_.Bytes({0x66, 0x0F, 0x2E, 0xD1});  // ucomisd xmm2, xmm1
        code_.Bytes({0x0F, 0x87});              // ja
        code_.Relative(domainFailure_);
        code_.Call(reinterpret_cast<const void*>(static_cast<double (*)(double, double)>(&std::pow)));
        break;
    }
    Hold(target);
  }

  void Negate(const Entry& y, std::size_t target, bool flip) noexcept {
    Operand(y);
    if (flip) {
      code_.Bytes({0x66, 0x0F, 0x57, 0x05});  // xorpd xmm0, sign bit
      code_.Relative(Pool::SignBit);
    } else {
      code_.Bytes({0xF2, 0x0F, 0x59, 0x05});  // mulsd xmm0, -1
      code_.Relative(Pool::MinusOne);
    }
    Hold(target);
  }

  void Function(TokenKind function, const Entry& y, std::size_t target) noexcept {
    Operand(y);
    WithFunction(function, [&](auto f) {
      using F = decltype(f);
      if constexpr (InEveryDomain<F>::value) {
        code_.Call(reinterpret_cast<const void*>(&F::Value));
      } else {
        code_.CallChecked(reinterpret_cast<const void*>(&Checked<F>), failure_);
      }
    });
    Hold(target);
  }

  void Malformed() noexcept {
    code_.Byte(0xB8);  // mov eax, code
    code_.U32(static_cast<std::uint32_t>(exprcalc::Malformed));
    code_.Jump(failure_);
  }

  // The program's value in xmm0, code 0, and back.
  void Return(const Entry* value, std::uint32_t frame) noexcept {
    if (value == nullptr) {
      code_.Bytes({0x66, 0x0F, 0xEF, 0xC0});  // pxor xmm0, xmm0
    } else if (!Holds(*value)) {
      code_.Load(0, *value);
    }
    code_.Bytes({0x31, 0xC0});  // xor eax, eax
    code_.Frame(false, frame);
    code_.Byte(0xC3);
  }

 private:
  bool Holds(const Entry& entry) const noexcept { return held_ && entry.kind == Kind::Slot && entry.index == slot_; }
  void Hold(std::size_t slot) noexcept {
    held_ = true;
    slot_ = slot;
  }
  // Stores the value held in xmm0, which something else is about to replace.
  void Flush() noexcept {
    if (held_) code_.StoreSlot(slot_);
    held_ = false;
  }
  // y into xmm0, for a sign or a function.
  void Operand(const Entry& y) noexcept {
    if (Holds(y)) return;
    Flush();
    code_.Load(0, y);
  }

  Assembler& code_;
  std::size_t failure_;
  std::size_t divisionFailure_;
  std::size_t domainFailure_;
  bool held_ = false;
  std::size_t slot_ = 0;
};

constexpr TokenKind OperatorOf(unsigned infix) noexcept {
  constexpr TokenKind Operators[] = {'+', '-', '*', '/', '%', '^'};
  return Operators[(infix - Program::Add) / 3];
}

// The deepest stack, or 0 when the operations do not form a program that
// can be compiled (the steps then run).
std::size_t DeepestStack(const Recorded& recorded) noexcept {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const std::uint32_t operand = recorded.operations[i] >> Program::OperandShift;
    const auto code = static_cast<Program::Code>(recorded.operations[i] & 0xFF);
    const bool readsConstant = code == Program::PushConstant || (code >= Program::Add && (code - Program::Add) % 3 == 1);
    const bool readsVariable = code == Program::PushVariable || (code >= Program::Add && (code - Program::Add) % 3 == 2);
    if (readsConstant && operand >= recorded.constantCount) return 0;
    if (readsVariable && static_cast<int>(operand) >= recorded.table.GetCount()) return 0;
    if (code == Program::Malformed) break;
    if (code == Program::PushConstant || code == Program::PushVariable) {
      if (++depth > deepest) deepest = depth;
    } else if (depth == 0 || (code >= Program::Add && (code - Program::Add) % 3 == 0 && depth-- < 2)) {
      return 0;
    }
  }
  if (recorded.resultSlot != NoOperand && recorded.resultSlot >= depth) return 0;
  return deepest == 0 ? 1 : deepest;
}

}  // namespace

NativeCode CompileNative(const Recorded& recorded) noexcept {
  if (recorded.count > MostNativeOperations || recorded.constantCount > MostNativeOperations + 2) return {};
  const std::size_t deepest = DeepestStack(recorded);
  if (deepest == 0 || deepest > Program::MostNumbers) return {};
  const CodeSpace space =
      ReserveCode(Pool::Constants + 8 * recorded.constantCount + MostFixedBytes + MostBytesPerOperation * recorded.count);
  if (space.writable == nullptr) return {};

  Assembler code(space.writable);
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.U64(0x8000000000000000);
  code.U64(0);
  code.F64(ZeroThreshold);
  code.F64(-1.0);
  for (std::size_t i = 0; i < recorded.constantCount; ++i) code.F64(recorded.constants[i]);
  // The frame leaves the stack 16-byte aligned for calls.
  const auto frame = static_cast<std::uint32_t>(deepest * 8 + (deepest % 2 == 0 ? 8 : 0));
  code.Align(16);
  NativeWriter::Exits exits{};
  exits.domainError = code.Size();
  code.Byte(0xB8);  // mov eax, code
  code.U32(static_cast<std::uint32_t>(DomainError));
  code.Byte(0xEB);  // jmp past the next mov
  code.Byte(5);
  exits.divisionByZero = code.Size();
  code.Byte(0xB8);
  code.U32(static_cast<std::uint32_t>(DivisionByZero));
  exits.failure = code.Size();           // eax holds the code
  code.Bytes({0x66, 0x0F, 0xEF, 0xC0});  // pxor xmm0, xmm0
  code.Frame(false, frame);
  code.Byte(0xC3);
  code.Align(16);
  const std::size_t entry = code.Size();
  code.Bytes({0xF3, 0x0F, 0x1E, 0xFA});  // endbr64
  code.Frame(true, frame);

  static const bool flip = SignFlipsNaN();
  NativeWriter writer(code, exits);
  Entry stack[Program::MostNumbers];
  std::size_t depth = 0;
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const std::uint32_t operand = recorded.operations[i] >> Program::OperandShift;
    const auto op = static_cast<Program::Code>(recorded.operations[i] & 0xFF);
    const auto variable = [&] { return recorded.table.NumberBytes(static_cast<int>(operand)); };
    if (op == Program::Malformed) {
      writer.Malformed();
      break;
    }
    if (op == Program::PushConstant) {
      stack[depth++] = {Kind::Constant, operand, nullptr};
      continue;
    }
    if (op == Program::PushVariable) {
      stack[depth++] = {Kind::Variable, 0, variable()};
      continue;
    }
    const std::size_t top = depth - 1;
    if (op == Program::Negate) {
      writer.Negate(stack[top], top, flip);
    } else if (op == Program::Function) {
      writer.Function(static_cast<TokenKind>(operand), stack[top], top);
    } else {
      const auto form = (op - Program::Add) % 3;
      if (form == 0) {
        --depth;
        writer.Infix(OperatorOf(op), stack[top - 1], stack[top], top - 1);
      } else {
        const Entry right = form == 1 ? Entry{Kind::Constant, operand, nullptr} : Entry{Kind::Variable, 0, variable()};
        writer.Infix(OperatorOf(op), stack[top], right, top);
      }
    }
    stack[depth - 1] = {Kind::Slot, depth - 1, nullptr};
  }
  writer.Return(recorded.resultSlot == NoOperand ? nullptr : &stack[recorded.resultSlot], frame);
  TrimCode(space, code.Size());

  NativeCode compiled;
  const unsigned char* start = space.executable + entry;
  std::memcpy(&compiled.run, &start, sizeof start);
  compiled.chunk = space.chunk;
  return compiled;
}

}  // namespace exprcalc

#else

namespace exprcalc {
NativeCode CompileNative(const Recorded&) noexcept { return {}; }
}  // namespace exprcalc

#endif
