// Each block fills the variable's column once and evaluates every expression
// over it with one call, then writes the block's lines.
#include "RangeTable.h"

#include <algorithm>
#include <string_view>

#include "ShownText.h"

namespace calculator {
namespace {

constexpr std::size_t BlockRows = 1024;

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

class LineWriter {
 public:
  LineWriter(TableFormat format, std::ostream& output) : format_(format), output_(output) {}

  void Cell(std::string_view text) {
    if (!first_) output_ << (format_ == TableFormat::Csv ? ',' : '\t');
    first_ = false;
    output_ << (format_ == TableFormat::Csv ? CsvField(text) : std::string(text));
  }
  void HeaderCell(std::string_view text) { Cell(format_ == TableFormat::Csv ? std::string(text) : Shown(text)); }
  void End() {
    output_ << (format_ == TableFormat::Csv ? "\r\n" : "\n");
    first_ = true;
  }

 private:
  TableFormat format_;
  std::ostream& output_;
  bool first_ = true;
};

}  // namespace

TableOutcome WriteTable(const RangeGrid& grid, const TableColumns& columns, TableFormat format, ValueWriter writeValue,
                std::ostream& output) {
  LineWriter line(format, output);
  line.HeaderCell(columns.name);
  for (const std::string& text : columns.texts) line.HeaderCell(text);
  line.End();

  const std::size_t count = columns.expressions.size();
  std::vector<double> names(BlockRows);
  std::vector<double> values(BlockRows * count);
  std::vector<int> codes(BlockRows * count);
  const double* nameColumn = names.data();
  bool allValues = true;
  for (std::uint64_t first = 0; first < grid.rows && output; first += BlockRows) {
    const std::size_t rows = static_cast<std::size_t>(std::min<std::uint64_t>(BlockRows, grid.rows - first));
    for (std::size_t r = 0; r < rows; ++r) names[r] = grid.At(first + r);
    for (std::size_t k = 0; k < count; ++k) {
      if (exprcalc_evaluate_columns(columns.expressions[k], rows, 1, &columns.nameIndex, &nameColumn,
                                    &values[k * BlockRows], &codes[k * BlockRows]) < 0) {
        return TableOutcome::NotANumberVariable;
      }
    }
    for (std::size_t r = 0; r < rows; ++r) {
      line.Cell(writeValue(names[r]));
      for (std::size_t k = 0; k < count; ++k) {
        const int code = codes[k * BlockRows + r];
        if (code != EXPRCALC_OK) allValues = false;
        line.Cell(code == EXPRCALC_OK ? writeValue(values[k * BlockRows + r]) : exprcalc_message(code));
      }
      line.End();
    }
  }
  return allValues ? TableOutcome::AllValues : TableOutcome::FailedRows;
}

}  // namespace calculator
