// Where the number variables of one evaluation read their numbers: their
// records, unless a source gives others (a row of a table of columns, for
// one). The reader knows nothing of where the numbers come from.
#pragma once

namespace exprcalc {

class NumberSource {
 public:
  // The number of the variable at index, whose record holds stored.
  virtual double Read(int index, double stored) const noexcept = 0;

 protected:
  NumberSource() = default;
  NumberSource(const NumberSource&) = default;
  NumberSource& operator=(const NumberSource&) = default;
  ~NumberSource() = default;
};

}  // namespace exprcalc
