// The tokenizer: expression text in, tokens out. It never reports an error:
// whatever it cannot read ends the token sequence early, and the end marker
// closes any sequence that has at least one token. Names that are not built
// in are replaced by the current value of the numeric variable of that name.
#pragma once

#include <cstddef>
#include <string_view>

#include "expr/Token.h"
#include "variables/VariableTable.h"

namespace exprcalc {

// Reads the tokens of one text in order, one per Next(); after the last one
// (the end marker, or nothing at all) Next() gives kind 0 for ever. The text
// and the table must outlive the reader; the table is only read.
class TokenReader {
 public:
  TokenReader(std::string_view text, const VariableTable& table) noexcept : text_(text), table_(table) {}
  TokenReader(const TokenReader&) = delete;
  TokenReader& operator=(const TokenReader&) = delete;

  Token Next() noexcept;
  // True when memory for a number's digits ran out; Next() then gives kind 0.
  bool OutOfMemory() const noexcept { return outOfMemory_; }

 private:
  enum class Scan { Token, Skip, Stop };
  Scan ReadName(Token& token) noexcept;
  Scan ReadNumber(Token& token) noexcept;
  double ConvertFraction(std::size_t begin, std::size_t end, bool grouped) noexcept;
  Token Emit(Token token) noexcept;
  unsigned char At(std::size_t position) const noexcept {
    return position < text_.size() ? static_cast<unsigned char>(text_[position]) : 0;
  }

  std::string_view text_;
  const VariableTable& table_;
  std::size_t position_ = 0;
  std::size_t tokenCount_ = 0;
  TokenKind lastKind_ = kind::None;
  bool finished_ = false;
  bool outOfMemory_ = false;
};

// Writes the tokens of text into tokens[0..capacity) and returns how many it
// wrote; the sequence needs at most text.size() + 1 entries.
std::size_t Tokenize(std::string_view text, const VariableTable& table, Token* tokens, std::size_t capacity) noexcept;

}  // namespace exprcalc
