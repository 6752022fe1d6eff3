// The native compiler for x86-64 (System V): a symbolic run of the stack, as
// for the steps, that writes SSE2 scalar instructions. A number's slot lies
// in the function's frame; the value just computed stays in xmm0 and is only
// stored when something else comes first (each stack entry is used once).
// + - * / are single instructions with the left operand as the destination,
// which gives the first operand's NaN when both are NaN, as the evaluator's
// pinned sums and products do; a sign multiplies by -1, which keeps a NaN's
// sign as the evaluator's sign does; the built-ins, "%" and "^" call the
// evaluator's own functions, and a host's function is one indirect call of
// its callback, whose code a failure exit maps as the evaluator does.
//
// The block a program gets: [constants][failure exits][function].
#include "native/NativeCompiler.h"

#if defined(__linux__) && defined(__x86_64__)

#include <math.h>

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "language/Arithmetic.h"
#include "language/BuiltIns.h"
#include "language/HostKinds.h"
#include "base/CodeSpace.h"
#include "native/ValueNumbers.h"
#include "native/X64Assembler.h"

namespace exprcalc {
namespace {

using x64::Assembler;
using x64::Bitwise;
using x64::Entry;
using x64::Kind;
using x64::Pool;
using x64::Scalar;
using Condition = x64::Assembler::Condition;

Outcome RemainderOf(double a, double b) noexcept { return Remainder(a, b); }

// Upper bounds of the bytes written, for the block's size.
constexpr std::size_t MostBytesPerOperation = 104;
constexpr std::size_t MostFixedBytes = 160;

class NativeWriter {
 public:
  // Where the function returns with the code in eax, with a host's
  // function's code in eax, and with a division by zero or a domain error.
  struct Exits {
    std::size_t failure;
    std::size_t hostFailure;
    std::size_t divisionByZero;
    std::size_t domainError;
    std::size_t negativeLogarithm;
  };
  NativeWriter(Assembler& code, const Exits& exits, const double* constants) noexcept
      : code_(code),
        constants_(constants),
        failure_(exits.failure),
        hostFailure_(exits.hostFailure),
        divisionFailure_(exits.divisionByZero),
        domainFailure_(exits.domainError),
        negativeLogarithm_(exits.negativeLogarithm) {}

  void Infix(Operator op, const Entry& left, const Entry& right, std::size_t target) noexcept {
    const bool leftHeld = Holds(left);
    const bool rightHeld = Holds(right);
    if (!leftHeld && !rightHeld) Flush();
    // + - * and a division by a constant read the right operand where it lies.
    const bool direct = !rightHeld && (op == Operator::Add || op == Operator::Subtract || op == Operator::Multiply ||
                                       (op == Operator::Divide && right.kind == Kind::Constant));
    if (rightHeld) {
      code_.Move(1, 0);
      code_.Load(0, left);
    } else {
      if (!leftHeld) code_.Load(0, left);
      if (!direct) code_.Load(1, right);
    }
    if (direct && op == Operator::Divide && CountsAsZero(constants_[right.index])) {
      code_.Jump(divisionFailure_);
    } else if (direct) {
      code_.Apply(ScalarOf(op), right);
    } else {
      OnRegisters(op);
    }
    Hold(target);
  }

  // The multiply keeps a NaN's sign and quiets it, as the evaluator's sign does.
  void Negate(const Entry& y, std::size_t target) noexcept {
    Operand(y);
    code_.ApplyPooled(Scalar::Multiply, 0, Pool::MinusOne);
    Hold(target);
  }

  // A built-in: SQRT and ABS are single instructions (the square root is
  // exact, as the library's is); the logarithms and the inverse sine and
  // cosine test their domain as BuiltIns.h does, then call the function.
  void Function(TokenKind function, const Entry& y, std::size_t target) noexcept {
    Operand(y);
    if (function == 'Q') {
      code_.ApplyRegister(Scalar::SquareRoot, 0, 0);
    } else if (function == 'A') {
      code_.MaskPooled(Bitwise::And, 0, Pool::Magnitude);
    } else {
      TestDomain(function);
      if (const builtin::LibraryFunction library = builtin::LibraryFunctionOf(function)) {
        code_.Call(reinterpret_cast<const void*>(library));
      } else {
        WithFunction(function, [&](auto f) { code_.Call(reinterpret_cast<const void*>(&decltype(f)::Value)); });
      }
    }
    Hold(target);
  }

  // A host's function: call(user, y, &slot), the slot holding 0.0 before
  // the call (what a function that returns 0 without writing gives), its
  // value read back from there. The callback and pointer are written into
  // the code: defining or removing a function changes the table's
  // generation, which ends this code's use.
  void Host(HostCallback call, void* user, const Entry& y, std::size_t target) noexcept {
    Operand(y);
    held_ = false;
    code_.ZeroSlot(target);
    code_.LoadPointer(x64::Pointer::Rdi, user);
    code_.SlotAddress(x64::Pointer::Rsi, target);
    code_.CallChecked(reinterpret_cast<const void*>(call), hostFailure_);
    code_.LoadSlot(0, target);
    Hold(target);
  }

  // sincos(y, &slot sine, &slot cosine): both values at once, each with the
  // bits of its own function.
  void SineAndCosine(const Entry& y, std::size_t sine, std::size_t cosine) noexcept {
    Operand(y);
    code_.SlotAddress(x64::Pointer::Rdi, sine);
    code_.SlotAddress(x64::Pointer::Rsi, cosine);
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
    code_.SetCode(static_cast<std::uint32_t>(exprcalc::Malformed));
    code_.Jump(failure_);
  }

  // The program's value stored, code 0, and back.
  void Return(const Entry* value) noexcept {
    if (value == nullptr) {
      code_.ClearValue();
    } else if (!Holds(*value)) {
      code_.Load(0, *value);
    }
    code_.ClearCode();
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
  static Scalar ScalarOf(Operator op) noexcept {
    if (op == Operator::Add) return Scalar::Add;
    if (op == Operator::Subtract) return Scalar::Subtract;
    return op == Operator::Multiply ? Scalar::Multiply : Scalar::Divide;
  }

  // left op right with left in xmm0 and right in xmm1.
  void OnRegisters(Operator op) noexcept {
    switch (op) {
      case Operator::Add:
      case Operator::Subtract:
      case Operator::Multiply:
        code_.ApplyRegister(ScalarOf(op), 0, 1);
        return;
      case Operator::Divide:
        JumpIfCountsAsZero(1, divisionFailure_);
        code_.ApplyRegister(Scalar::Divide, 0, 1);
        return;
      case Operator::Remainder:
        code_.CallChecked(reinterpret_cast<const void*>(&RemainderOf), failure_);
        return;
      case Operator::Power: {
        // Zero to a negative power fails (ZeroToNegativePower); anything else is pow's.
        code_.ClearRegister(2);
        code_.CompareRegisters(0, 2);
        const std::size_t notZero = code_.SkipIf(Condition::NotEqual);
        const std::size_t unordered = code_.SkipIf(Condition::Parity);
        code_.CompareRegisters(2, 1);
        code_.JumpIf(Condition::Above, domainFailure_);  // 0 > b
        code_.Land(notZero);
        code_.Land(unordered);
        code_.Call(reinterpret_cast<const void*>(static_cast<double (*)(double, double)>(&::pow)));
        return;
      }
    }
  }

  // To failure when xmm<reg> counts as zero (CountsAsZero): ZeroThreshold > |xmm<reg>|.
  void JumpIfCountsAsZero(unsigned reg, std::size_t failure) noexcept {
    code_.Move(2, reg);
    code_.MaskPooled(Bitwise::And, 2, Pool::Magnitude);
    code_.LoadPooled(3, Pool::Threshold);
    code_.CompareRegisters(3, 2);
    code_.JumpIf(Condition::Above, failure);
  }

  // The domain tests of the logarithms (LogarithmDomain: a magnitude that
  // counts as zero, then a negative operand) and of the inverse sine and
  // cosine (UnitInterval: |y| > UnitBound), on xmm0.
  void TestDomain(TokenKind function) noexcept {
    if (function == 'L' || function == 'M') {
      JumpIfCountsAsZero(0, domainFailure_);
      code_.ClearRegister(2);
      code_.CompareRegisters(2, 0);
      code_.JumpIf(Condition::Above, negativeLogarithm_);  // 0 > y
    } else if (function == 'X' || function == 'Y') {
      code_.Move(2, 0);
      code_.MaskPooled(Bitwise::And, 2, Pool::Magnitude);
      code_.ComparePooled(2, Pool::One);
      code_.JumpIf(Condition::Above, domainFailure_);
    }
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
  std::size_t hostFailure_;
  std::size_t divisionFailure_;
  std::size_t domainFailure_;
  std::size_t negativeLogarithm_;
  bool held_ = false;
  std::size_t slot_ = 0;
};

// The block's start: the pool of constants, then the failure exits, each of
// which sets its code and jumps past the others' to the common end.
NativeWriter::Exits WritePoolAndExits(Assembler& code, const RecordedProgram& recorded) noexcept {
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.U64(0x7FFFFFFFFFFFFFFF);
  code.F64(ZeroThreshold);
  code.F64(SignFactor);
  code.F64(UnitBound);
  for (std::size_t i = 0; i < recorded.constantCount; ++i) code.F64(recorded.constants[i]);
  code.Align(16);
  NativeWriter::Exits exits{};
  // A host's code: 1 to 3 stay, any other (never 0 here) is FunctionFailed.
  exits.hostFailure = code.Size();
  code.CompareCode(NegativeLogarithm);
  const std::size_t hostKept = code.SkipIf(Condition::BelowOrEqual);
  code.SetCode(FunctionFailed);
  const std::size_t pastHost = code.Skip();
  exits.negativeLogarithm = code.Size();
  code.SetCode(NegativeLogarithm);
  const std::size_t pastDomain = code.Skip();
  exits.domainError = code.Size();
  code.SetCode(DomainError);
  const std::size_t pastDivision = code.Skip();
  exits.divisionByZero = code.Size();
  code.SetCode(DivisionByZero);
  code.Land(pastDomain);
  code.Land(pastDivision);
  code.Land(hostKept);
  code.Land(pastHost);
  exits.failure = code.Size();  // eax holds the code
  code.ClearValue();
  code.StoreAndReturn();
  code.Align(16);
  return exits;
}

// The symbolic run of the stack: each operation's operands are where the
// stack's entries lie, and its value goes to the slot of the entry it leaves
// (or to a slot of its own, when the value is kept for a repeat).
class OperationWriter {
 public:
  OperationWriter(const RecordedProgram& recorded, ValueNumbers& values, NativeWriter& writer) noexcept
      : recorded_(recorded), values_(values), writer_(writer),
        nextKeptSlot_(static_cast<std::uint32_t>(recorded.shape.deepest)) {}

  void Write() noexcept {
    for (std::size_t i = 0; i < recorded_.count; ++i) {
      const Operation operation = recorded_.At(i);
      switch (operation.kind) {
        case OperationKind::Malformed:
          writer_.Malformed();
          return Return();
        case OperationKind::PushConstant:
          stack_[depth_++] = {Kind::Constant, operation.index, nullptr};
          continue;
        case OperationKind::PushVariable:
          stack_[depth_++] = {Kind::Variable, 0, recorded_.VariableBytes(operation.index)};
          continue;
        default:
          Compute(i, operation);
          continue;
      }
    }
    Return();
  }

 private:
  void Return() noexcept {
    writer_.Return(recorded_.resultSlot == NoOperand ? nullptr : &stack_[recorded_.resultSlot]);
  }

  // A sign, a function or an infix operation: its operands y, or left and right.
  void Compute(std::size_t i, const Operation& operation) noexcept {
    const bool infix = operation.kind == OperationKind::Infix;
    if (infix && operation.right == RightOperand::Stack) --depth_;
    assert(depth_ > 0);
    const std::size_t target = depth_ - 1;
    const Entry left = stack_[target];
    const Entry right = infix ? RightOf(operation) : Entry{Kind::Constant, 0, nullptr};
    const std::uint32_t number = values_.Of(i);
    std::uint32_t& keptSlot = values_.SlotOf(number);
    if (keptSlot != ValueNumbers::NoSlot) {  // computed before
      writer_.Consume(left);
      if (infix) writer_.Consume(right);
      stack_[target] = {Kind::Slot, keptSlot, nullptr};
      return;
    }
    const std::uint32_t partner = values_.Partner(number);
    if (partner != ValueNumbers::NoNumber) {
      keptSlot = nextKeptSlot_++;
      std::uint32_t& partnerSlot = values_.SlotOf(partner);
      partnerSlot = nextKeptSlot_++;
      const bool sine = operation.index == 'S';
      writer_.SineAndCosine(left, sine ? keptSlot : partnerSlot, sine ? partnerSlot : keptSlot);
      writer_.Fetch(keptSlot, target);
    } else if (operation.kind == OperationKind::Negate) {
      writer_.Negate(left, target);
    } else if (operation.kind == OperationKind::Function) {
      writer_.Function(static_cast<TokenKind>(operation.index), left, target);
    } else if (operation.kind == OperationKind::CallHost) {
      writer_.Host(recorded_.HostCall(operation.index), recorded_.HostUser(operation.index), left, target);
    } else {
      writer_.Infix(operation.op, left, right, target);
    }
    if (values_.Repeats(number) && keptSlot == ValueNumbers::NoSlot) {
      keptSlot = nextKeptSlot_++;
      writer_.Keep(keptSlot);
    }
    stack_[target] = {Kind::Slot, target, nullptr};
  }

  Entry RightOf(const Operation& operation) const noexcept {
    if (operation.right == RightOperand::Stack) return stack_[depth_];
    if (operation.right == RightOperand::Constant) return {Kind::Constant, operation.index, nullptr};
    return {Kind::Variable, 0, recorded_.VariableBytes(operation.index)};
  }

  const RecordedProgram& recorded_;
  ValueNumbers& values_;
  NativeWriter& writer_;
  Entry stack_[operation::MostNumbers];
  std::size_t depth_ = 0;
  std::uint32_t nextKeptSlot_;
};

}  // namespace

NativeCode CompileNative(const RecordedProgram& recorded, CodeSpace& space) noexcept {
  constexpr NativeCode TooLong{nullptr, nullptr, CodeDenial::TooLong};
  if (recorded.count > ValueNumbers::MostOperations || recorded.constantCount > recorded.count + 2) return TooLong;
  if (!recorded.shape.runnable) return TooLong;
  assert(recorded.shape.deepest <= operation::MostNumbers);
  ValueNumbers values;
  values.Number(recorded);
  const std::size_t slots = recorded.shape.deepest + values.KeptCount();
  CodeWrite place;
  const CodeDenial why = space.Open(
      Pool::Constants + 8 * recorded.constantCount + MostFixedBytes + MostBytesPerOperation * recorded.count, place);
  if (why != CodeDenial::None) return {nullptr, nullptr, why};

  Assembler code(place.writable);
  // The slots (the stack's, then the kept values'), then the output's
  // address; the stack stays 16-byte aligned for calls.
  const std::size_t words = slots + 1;
  code.SetFrame(static_cast<std::uint32_t>(words * 8 + (words % 2 == 0 ? 8 : 0)));
  if (!recorded.shape.calls && slots <= 12) code.UseRegisters();
  const NativeWriter::Exits exits = WritePoolAndExits(code, recorded);
  const std::size_t entry = code.Size();
  code.Enter();
  NativeWriter writer(code, exits, recorded.constants);
  OperationWriter(recorded, values, writer).Write();

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
NativeCode CompileNative(const RecordedProgram&, CodeSpace&) noexcept { return {nullptr, nullptr, CodeDenial::Platform}; }
CodeDenial NativeDenial(std::size_t) noexcept { return CodeDenial::Platform; }
}  // namespace exprcalc

#endif
