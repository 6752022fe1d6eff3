// Tables of the host's own: made in the library's heap, freed by their last holder.
#include "module/Table.h"

#include <new>

#include "base/Memory.h"

exprcalc_table* exprcalc_table::Create() noexcept {
  void* block = exprcalc::Allocate(sizeof(exprcalc_table));
  if (block == nullptr) return nullptr;
  return new (block) exprcalc_table(true);
}

void exprcalc_table::Drop(exprcalc_table* table) noexcept {
  if (table == nullptr || !table->made_) return;
  // Release: what this holder did to the table happens before the free;
  // acquire: the freeing holder sees what every other one did.
  if (table->holders_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  table->~exprcalc_table();
  exprcalc::Release(table);
}
