// A table of variables as a host holds it: the process table that the
// fourteen classic exports use, or one that exprcalc_table_create made. A
// made table is freed when its last holder lets go: the host (destroy) and
// every prepared expression made in it each hold it once, so a prepared
// expression never outlives the variables it reads.
#pragma once

#include <atomic>
#include <cstddef>

#include "exprcalc.h"
#include "variables/VariableTable.h"

struct exprcalc_table {
 public:
  // The process table: never counted, never freed.
  constexpr exprcalc_table() noexcept = default;
  exprcalc_table(const exprcalc_table&) = delete;
  exprcalc_table& operator=(const exprcalc_table&) = delete;
  ~exprcalc_table() = default;

  // A table of the host's own with one holder, or null when memory ran out.
  static exprcalc_table* Create() noexcept;
  // One holder more (a prepared expression). Atomic: threads may prepare in
  // one table at once, since preparing only reads it.
  void Hold() noexcept {
    if (made_) holders_.fetch_add(1, std::memory_order_relaxed);
  }
  // One holder less; the last one frees a made table.
  static void Drop(exprcalc_table* table) noexcept;
  // What a prepared expression holds: a made table, or null for the process
  // table, which nothing counts.
  exprcalc_table* Holder() noexcept { return made_ ? this : nullptr; }

  exprcalc::VariableTable& Variables() noexcept { return variables_; }
  const exprcalc::VariableTable& Variables() const noexcept { return variables_; }

 private:
  explicit exprcalc_table(bool made) noexcept : made_(made) {}

  exprcalc::VariableTable variables_;
  std::atomic<std::size_t> holders_{1};
  bool made_ = false;  // made by Create (and freed by Drop), or the process table
};

namespace exprcalc {
using Table = ::exprcalc_table;
}  // namespace exprcalc
