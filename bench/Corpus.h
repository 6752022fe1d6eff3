// The benchmark corpus: realistic expressions of 5 to 120 bytes, each with
// the same expression written for the peer parser, and the variables they
// read. The allocation test evaluates the same rows.
#pragma once

#include <span>
#include <string_view>

namespace exprcalc::bench {

struct CorpusRow {
  std::string_view name;  // short label for the report
  std::string_view text;  // as ParseString reads it
  std::string_view peer;  // the same expression in the peer's syntax (same value)
};

struct CorpusVariable {
  std::string_view name;      // as the library stores it
  std::string_view peerName;  // as the peer parser knows it
  double value;
};

std::span<const CorpusRow> Corpus() noexcept;
std::span<const CorpusVariable> CorpusVariables() noexcept;

// Defines every corpus variable in the library's table.
void EnterCorpusVariables() noexcept;

}  // namespace exprcalc::bench
