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
#include "native/NativeCompiler.h"

#if defined(__linux__) && defined(__x86_64__)

#include <math.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "language/BuiltIns.h"
#include "native/CodeSpace.h"
#include "language/Parse.h"
#include "program/Program.h"
#include "language/Reduce.h"
#include "native/ValueNumbers.h"
#include "native/X64Assembler.h"

namespace exprcalc {
namespace {

using x64::Assembler;
using x64::Entry;
using x64::Kind;
using x64::Pool;

Outcome RemainderOf(double a, double b) noexcept { return ApplyOperator<'%'>(a, b); }

// Whether the evaluator's sign flips a NaN's sign bit (a compiler may write
// y * -1.0 as a flip of the sign bit) or multiplies it, which keeps it.
bool SignFlipsNaN() noexcept {
  volatile double nan = std::numeric_limits<double>::quiet_NaN();
  return std::signbit(ApplyPrefix('-', nan).value);
}

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
    std::size_t negativeLogarithm;
  };
  NativeWriter(Assembler& code, const Exits& exits, const double* constants) noexcept
      : code_(code),
        constants_(constants),
        failure_(exits.failure),
        divisionFailure_(exits.divisionByZero),
        domainFailure_(exits.domainError),
        negativeLogarithm_(exits.negativeLogarithm) {}

  void Infix(TokenKind op, const Entry& left, const Entry& right, std::size_t target) noexcept {
    const bool leftHeld = Holds(left);
    const bool rightHeld = Holds(right);
    if (!leftHeld && !rightHeld) Flush();
    // + - * and a division by a constant read the right operand where it lies.
    const bool direct = !rightHeld && (op == '+' || op == '-' || op == '*' || (op == '/' && right.kind == Kind::Constant));
    if (rightHeld) {
      code_.Move(1, 0);
      code_.Load(0, left);
    } else {
      if (!leftHeld) code_.Load(0, left);
      if (!direct) code_.Load(1, right);
    }
    if (direct) {
      if (op == '/' && std::fabs(constants_[right.index]) < ZeroThreshold) {
        code_.Jump(divisionFailure_);
      } else {
        code_.Apply(op == '+' ? 0x58 : op == '-' ? 0x5C : op == '*' ? 0x59 : 0x5E, right);
      }
      Hold(target);
      return;
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
        code_.Call(reinterpret_cast<const void*>(static_cast<double (*)(double, double)>(&::pow)));
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

  // A built-in: SQRT and ABS are single instructions (the square root is
  // exact, as the library's is); the logarithms and the inverse sine and
  // cosine test their domain as BuiltIns.h does, then call the function.
  void Function(TokenKind function, const Entry& y, std::size_t target) noexcept {
    Operand(y);
    if (function == 'Q') {
      code_.Bytes({0xF2, 0x0F, 0x51, 0xC0});  // sqrtsd xmm0, xmm0
    } else if (function == 'A') {
      code_.Bytes({0x66, 0x0F, 0x54, 0x05});  // andpd xmm0, magnitude mask
      code_.Relative(Pool::Magnitude);
    } else {
      if (function == 'L' || function == 'M') {
        TestMagnitudeBelowThreshold();
        code_.Bytes({0x66, 0x0F, 0x57, 0xD2, 0x66, 0x0F, 0x2E, 0xD0, 0x0F, 0x87});  // xorpd xmm2; ucomisd xmm2, xmm0; ja
        code_.Relative(negativeLogarithm_);
      } else if (function == 'X' || function == 'Y') {
        code_.Bytes({0x66, 0x0F, 0x28, 0xD0, 0x66, 0x0F, 0x54, 0x15});  // movapd xmm2, xmm0; andpd xmm2, magnitude mask
        code_.Relative(Pool::Magnitude);
        code_.Bytes({0x66, 0x0F, 0x2E, 0x15});  // ucomisd xmm2, 1.0
        code_.Relative(Pool::One);
        code_.Bytes({0x0F, 0x87});  // ja
        code_.Relative(domainFailure_);
      }
      if (const builtin::LibraryFunction library = builtin::LibraryFunctionOf(function)) {
        code_.Call(reinterpret_cast<const void*>(library));
      } else {
        WithFunction(function, [&](auto f) { code_.Call(reinterpret_cast<const void*>(&decltype(f)::Value)); });
      }
    }
    Hold(target);
  }

  // sincos(y, &slot sine, &slot cosine): both values at once, each with the
  // bits of its own function.
  void SineAndCosine(const Entry& y, std::size_t sine, std::size_t cosine) noexcept {
    Operand(y);
    code_.Bytes({0x48, 0x8D, 0xBC, 0x24});  // lea rdi, [rsp + 8 * sine]
    code_.U32(static_cast<std::uint32_t>(sine * 8));
    code_.Bytes({0x48, 0x8D, 0xB4, 0x24});  // lea rsi, [rsp + 8 * cosine]
    code_.U32(static_cast<std::uint32_t>(cosine * 8));
    code_.Call(reinterpret_cast<const void*>(&::sincos));
    held_ = false;
  }
  // A kept value as the value of the stack's entry at target.
  void Fetch(std::size_t slot, std::size_t target) noexcept {
    code_.LoadSlot(0, slot);
    Hold(target);
  }
  // A repeated value, just computed, also goes to the slot it is read from.
  void Keep(std::size_t slot) noexcept { code_.StoreSlot(slot); }
  // An operand of an operation whose value is read instead of computed.
  void Consume(const Entry& entry) noexcept {
    if (Holds(entry)) held_ = false;
  }

  void Malformed() noexcept {
    code_.Byte(0xB8);  // mov eax, code
    code_.U32(static_cast<std::uint32_t>(exprcalc::Malformed));
    code_.Jump(failure_);
  }

  // The program's value stored, code 0, and back.
  void Return(const Entry* value) noexcept {
    if (value == nullptr) {
      code_.Bytes({0x66, 0x0F, 0xEF, 0xC0});  // pxor xmm0, xmm0
    } else if (!Holds(*value)) {
      code_.Load(0, *value);
    }
    code_.Bytes({0x31, 0xC0});  // xor eax, eax
    code_.StoreAndReturn();
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
  // To the domain error when |xmm0| is below the zero threshold.
  void TestMagnitudeBelowThreshold() noexcept {
    code_.Bytes({0x66, 0x0F, 0x28, 0xD0, 0x66, 0x0F, 0x54, 0x15});  // movapd xmm2, xmm0; andpd xmm2, magnitude mask
    code_.Relative(Pool::Magnitude);
    code_.LoadPooled(3, Pool::Threshold);
    code_.Bytes({0x66, 0x0F, 0x2E, 0xDA, 0x0F, 0x87});  // ucomisd xmm3, xmm2; ja
    code_.Relative(domainFailure_);
  }
  // y into xmm0, for a sign or a function.
  void Operand(const Entry& y) noexcept {
    if (Holds(y)) return;
    Flush();
    code_.Load(0, y);
  }

  Assembler& code_;
  const double* constants_;
  std::size_t failure_;
  std::size_t divisionFailure_;
  std::size_t domainFailure_;
  std::size_t negativeLogarithm_;
  bool held_ = false;
  std::size_t slot_ = 0;
};

constexpr TokenKind OperatorOf(unsigned infix) noexcept {
  constexpr TokenKind Operators[] = {'+', '-', '*', '/', '%', '^'};
  return Operators[(infix - Program::Add) / 3];
}

// What the compiler needs to know before it writes: the deepest stack, and
// whether the program calls a function (a frame then holds its slots).
struct Shape {
  std::size_t deepest = 0;  // 0: the operations cannot be compiled (the steps then run)
  bool calls = false;
};

Shape ShapeOf(const Recorded& recorded) noexcept {
  std::size_t depth = 0;
  Shape shape;
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const std::uint32_t operand = recorded.operations[i] >> Program::OperandShift;
    const auto code = static_cast<Program::Code>(recorded.operations[i] & 0xFF);
    const unsigned form = code >= Program::Add ? (code - Program::Add) % 3 : 3;
    const bool readsConstant = code == Program::PushConstant || form == 1;
    const bool readsVariable = code == Program::PushVariable || form == 2;
    if (readsConstant && operand >= recorded.constantCount) return {};
    if (readsVariable && static_cast<int>(operand) >= recorded.table.GetCount()) return {};
    if (code == Program::Malformed) break;
    if (code == Program::Function) shape.calls = shape.calls || (operand != 'Q' && operand != 'A');
    if (code >= Program::Remainder) shape.calls = true;  // "%" and "^"
    if (code == Program::PushConstant || code == Program::PushVariable) {
      if (++depth > shape.deepest) shape.deepest = depth;
    } else if (depth == 0 || (form == 0 && depth-- < 2)) {
      return {};
    }
  }
  if (recorded.resultSlot != NoOperand && recorded.resultSlot >= depth) return {};
  if (shape.deepest == 0) shape.deepest = 1;
  return shape;
}

// The block's start: the pool of constants, then the failure exits, each of
// which sets its code and jumps past the others' (mov eax is 5 bytes, jmp 2).
NativeWriter::Exits WritePoolAndExits(Assembler& code, const Recorded& recorded) noexcept {
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.U64(0x8000000000000000);
  code.U64(0);
  code.F64(ZeroThreshold);
  code.F64(-1.0);
  code.F64(1.0);
  for (std::size_t i = 0; i < recorded.constantCount; ++i) code.F64(recorded.constants[i]);
  code.Align(16);
  const auto exitWith = [&](ResultCode failure, std::uint8_t skip) {
    const std::size_t at = code.Size();
    code.Byte(0xB8);  // mov eax, code
    code.U32(static_cast<std::uint32_t>(failure));
    if (skip != 0) code.Bytes({0xEB, skip});
    return at;
  };
  NativeWriter::Exits exits{};
  exits.negativeLogarithm = exitWith(NegativeLogarithm, 7 + 5);
  exits.domainError = exitWith(DomainError, 5);
  exits.divisionByZero = exitWith(DivisionByZero, 0);
  exits.failure = code.Size();           // eax holds the code
  code.Bytes({0x66, 0x0F, 0xEF, 0xC0});  // pxor xmm0, xmm0
  code.StoreAndReturn();
  code.Align(16);
  return exits;
}

}  // namespace

NativeCode CompileNative(const Recorded& recorded, CodeSpace& space) noexcept {
  constexpr NativeCode TooLong{nullptr, nullptr, CodeDenial::TooLong};
  if (recorded.count > ValueNumbers::MostOperations || recorded.constantCount > recorded.count + 2) return TooLong;
  const Shape shape = ShapeOf(recorded);
  if (shape.deepest == 0 || shape.deepest > Program::MostNumbers) return TooLong;
  ValueNumbers values;
  if (!values.Number(recorded)) return TooLong;
  const std::size_t slots = shape.deepest + values.KeptCount();
  CodeWrite place;
  const CodeDenial why = space.Open(
      Pool::Constants + 8 * recorded.constantCount + MostFixedBytes + MostBytesPerOperation * recorded.count, place);
  if (why != CodeDenial::None) return {nullptr, nullptr, why};

  Assembler code(place.writable);
  // The slots (the stack's, then the kept values'), then the output's
  // address; the stack stays 16-byte aligned for calls.
  const std::size_t words = slots + 1;
  code.SetFrame(static_cast<std::uint32_t>(words * 8 + (words % 2 == 0 ? 8 : 0)));
  if (!shape.calls && slots <= 12) code.UseRegisters();
  const NativeWriter::Exits exits = WritePoolAndExits(code, recorded);
  const std::size_t entry = code.Size();
  code.Enter();

  static const bool flip = SignFlipsNaN();
  NativeWriter writer(code, exits, recorded.constants);
  Entry stack[Program::MostNumbers];
  std::size_t depth = 0;
  std::uint32_t nextKeptSlot = static_cast<std::uint32_t>(shape.deepest);
  for (std::size_t i = 0; i < recorded.count; ++i) {
    const std::uint32_t operand = recorded.operations[i] >> Program::OperandShift;
    const auto op = static_cast<Program::Code>(recorded.operations[i] & 0xFF);
    const auto variable = [&] { return recorded.table.NumberBytes(static_cast<int>(operand)); };
    if (op == Program::Malformed) {
      writer.Malformed();
      break;
    }
    if (op == Program::PushConstant || op == Program::PushVariable) {
      stack[depth++] = op == Program::PushConstant ? Entry{Kind::Constant, operand, nullptr}
                                                   : Entry{Kind::Variable, 0, variable()};
      continue;
    }
    // The operands: y, or left and right.
    const unsigned form = op >= Program::Add ? (op - Program::Add) % 3 : 3;
    if (form == 0) --depth;
    const std::size_t target = depth - 1;
    const Entry left = stack[target];
    Entry right{Kind::Constant, 0, nullptr};  // a sign's or function's is none
    if (form == 0) right = stack[depth];
    if (form == 1) right = {Kind::Constant, operand, nullptr};
    if (form == 2) right = {Kind::Variable, 0, variable()};
    const std::uint32_t number = values.Of(i);
    std::uint32_t& keptSlot = values.SlotOf(number);
    if (keptSlot != ValueNumbers::NoSlot) {  // computed before
      writer.Consume(left);
      if (form != 3) writer.Consume(right);
      stack[target] = {Kind::Slot, keptSlot, nullptr};
      continue;
    }
    const std::uint32_t partner = values.Partner(number);
    if (partner != ValueNumbers::NoNumber) {
      keptSlot = nextKeptSlot++;
      values.SlotOf(partner) = nextKeptSlot++;
      const bool sine = operand == 'S';
      writer.SineAndCosine(left, sine ? keptSlot : values.SlotOf(partner), sine ? values.SlotOf(partner) : keptSlot);
      writer.Fetch(keptSlot, target);
    } else if (op == Program::Negate) {
      writer.Negate(left, target, flip);
    } else if (op == Program::Function) {
      writer.Function(static_cast<TokenKind>(operand), left, target);
    } else {
      writer.Infix(OperatorOf(op), left, right, target);
    }
    if (values.Repeats(number) && keptSlot == ValueNumbers::NoSlot) {
      keptSlot = nextKeptSlot++;
      writer.Keep(keptSlot);
    }
    stack[target] = {Kind::Slot, target, nullptr};
  }
  writer.Return(recorded.resultSlot == NoOperand ? nullptr : &stack[recorded.resultSlot]);

  NativeCode compiled;
  const unsigned char* start = place.executable + entry;
  compiled.region = space.Close(place, code.Size());
  std::memcpy(&compiled.run, &start, sizeof start);
  return compiled;
}

CodeDenial NativeDenial(std::size_t operations) noexcept {
  if (const CodeDenial known = KnownDenial(); known != CodeDenial::None) return known;
  return operations <= ValueNumbers::MostOperations ? CodeDenial::None : CodeDenial::TooLong;
}

}  // namespace exprcalc

#else

namespace exprcalc {
NativeCode CompileNative(const Recorded&, CodeSpace&) noexcept { return {nullptr, nullptr, CodeDenial::Platform}; }
CodeDenial NativeDenial(std::size_t) noexcept { return CodeDenial::Platform; }
}  // namespace exprcalc

#endif
