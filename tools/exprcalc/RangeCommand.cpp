// The variable is created when it is missing and removed afterwards, or
// keeps its own value afterwards: a run leaves the table as it found it.
#include "RangeCommand.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "Findings.h"
#include "NumberFormat.h"
#include "PlotData.h"
#include "RangeGrid.h"
#include "RangeTable.h"
#include "SvgPlot.h"
#include "TerminalPlot.h"
#include "exprcalc.h"

namespace calculator {
namespace {

constexpr int Succeeded = 0;
constexpr int Failed = 1;
constexpr std::size_t FirstLabelWidthGuess = 6;
constexpr const char* StandardOutputName = "-";

// The range variable for the length of a run.
class RangeVariable {
 public:
  ~RangeVariable() {
    if (index_ < 0) return;
    if (created_) {
      RemoveVariable(name_.c_str());
    } else {
      exprcalc_set_double(index_, saved_);
    }
  }

  // Finds or creates the variable holding value; reports and returns false
  // when it is a text, cannot be made, or is not what expressions read by
  // that name.
  bool Take(const std::string& name, double value, const LineOrigin& origin, LineRunner& runner,
            std::ostream& errors) {
    name_ = name;
    int type = EXPRCALC_TYPE_NONE;
    const int found = GetIndexByKey(name.c_str(), &type);
    if (type == EXPRCALC_TYPE_TEXT) {
      return Refuse(origin, "NAME holds a text; the range needs a number variable", errors);
    }
    if (found >= 0) {
      VarDouble(found, &saved_);
      index_ = found;
      exprcalc_set_double(index_, value);
    } else {
      const int entered = EnterVarDouble(name.c_str(), value);
      if (entered < 0) return Refuse(origin, exprcalc_message(EXPRCALC_OUT_OF_MEMORY), errors);
      created_ = true;
      index_ = GetIndexByKey(name.c_str(), &type);
    }
    if (!runner.CheckReading(name, origin)) return false;
    double read = 0;
    if (ParseString(name.c_str(), &read) != EXPRCALC_OK || std::memcmp(&read, &value, sizeof read) != 0) {
      return Refuse(origin, "NAME is not a variable: expressions read it as a calculation", errors);
    }
    return true;
  }

  int Index() const { return index_; }

 private:
  bool Refuse(const LineOrigin& origin, const std::string& message, std::ostream& errors) {
    errors << FormatReport(origin, name_, Report{Report::Kind::Error, 0, message, {}}) << std::flush;
    return false;
  }

  std::string name_;
  int index_ = -1;
  bool created_ = false;
  double saved_ = 0;
};

class PreparedExpressions {
 public:
  ~PreparedExpressions() {
    for (const exprcalc_expr* expression : handles_) exprcalc_release(const_cast<exprcalc_expr*>(expression));
  }
  bool Prepare(const std::string& text) {
    exprcalc_expr* handle = nullptr;
    if (exprcalc_prepare(text.c_str(), &handle) != EXPRCALC_OK) return false;
    handles_.push_back(handle);
    return true;
  }
  const std::vector<const exprcalc_expr*>& Handles() const { return handles_; }

 private:
  std::vector<const exprcalc_expr*> handles_;
};

struct RangeValues {
  double from;
  double to;
  double step;
};

std::string OptionName(const RangeOptions& range) {
  return range.kind == RangeOptions::Kind::Table ? "--table" : "--plot";
}

LineOrigin ArgumentOrigin(const RangeOptions& range, const std::string& argument) {
  return LineOrigin{OptionName(range) + " " + argument};
}

std::optional<RangeValues> EvaluateRange(const RangeOptions& range, LineRunner& runner) {
  const auto from = runner.Evaluate(range.from, ArgumentOrigin(range, "FROM"));
  const auto to = runner.Evaluate(range.to, ArgumentOrigin(range, "TO"));
  std::optional<double> step = 0.0;
  if (range.kind == RangeOptions::Kind::Table) step = runner.Evaluate(range.step, ArgumentOrigin(range, "STEP"));
  if (!from || !to || !step) return std::nullopt;
  return RangeValues{*from, *to, *step};
}

std::optional<RangeGrid> GridOrReport(const std::variant<RangeGrid, RangeRefusal>& made, const RangeOptions& range,
                                      std::ostream& errors) {
  if (const auto* grid = std::get_if<RangeGrid>(&made)) return *grid;
  const RangeRefusal& refusal = std::get<RangeRefusal>(made);
  const char* argument = refusal.argument == RangeRefusal::Argument::From ? "FROM"
                         : refusal.argument == RangeRefusal::Argument::To ? "TO"
                                                                          : "STEP";
  const std::string& text = refusal.argument == RangeRefusal::Argument::From ? range.from
                            : refusal.argument == RangeRefusal::Argument::To ? range.to
                                                                             : range.step;
  errors << FormatReport(ArgumentOrigin(range, argument), text, Report{Report::Kind::Error, 0, refusal.message, {}})
         << std::flush;
  return std::nullopt;
}

// The library refuses to evaluate over NAME: only when something else has
// changed the table since NAME was taken.
int NotANumberVariable(const RangeOptions& range, std::ostream& errors) {
  errors << "exprcalc: " << range.name << " is no longer a number variable\n" << std::flush;
  return Failed;
}

std::string ExpressionName(std::size_t i) { return "EXPR " + std::to_string(i + 1); }

int RunPlot(const Options& options, const RangeValues& values, const RangeVariable& variable,
            const PreparedExpressions& prepared, std::ostream& output, std::ostream& errors) {
  const RangeOptions& range = *options.range;
  const bool picture = !options.plotFile.empty();
  const TerminalLook look = picture ? TerminalLook{} : LookOfStandardOutput();
  std::size_t labelWidth = FirstLabelWidthGuess;
  std::optional<PlotData> data;
  // The labels' width is known once the values are: a second sampling fits
  // the columns left beside them.
  for (int pass = 0; pass < 2; ++pass) {
    const std::size_t samples = picture ? SvgSamples() : TerminalSamples(look, labelWidth);
    const auto grid = GridOrReport(SampleGrid(values.from, values.to, samples), range, errors);
    if (!grid) return Failed;
    data = SamplePlot(*grid, range.name, variable.Index(), options.expressions, prepared.Handles());
    if (!data) return NotANumberVariable(range, errors);
    if (picture) break;
    const std::size_t needed = ValueLabelWidth(look, *data);
    if (needed == labelWidth) break;
    labelWidth = needed;
  }
  if (!picture) {
    output << DrawTerminalPlot(*data, look);
    return Succeeded;
  }
  std::string title;
  for (const std::string& expression : options.expressions) title += (title.empty() ? "" : ", ") + expression;
  title += " for " + range.name + " from " + range.from + " to " + range.to;
  if (options.plotFile == StandardOutputName) {
    output << DrawSvgPlot(*data, title);  // a failed write is reported as every output's is
    return Succeeded;
  }
  std::ofstream file(options.plotFile, std::ios::binary | std::ios::trunc);
  if (file) file << DrawSvgPlot(*data, title);
  if (file) file.close();
  if (!file) {
    errors << "exprcalc: cannot write '" << options.plotFile << "': " << std::strerror(errno) << '\n' << std::flush;
    return Failed;
  }
  return Succeeded;
}

}  // namespace

int RunRange(const Options& options, std::ostream& output, std::ostream& errors) {
  const RangeOptions& range = *options.range;
  const ValueStyle style = options.dms ? ValueStyle::DegreesMinutesSeconds : ValueStyle::Decimal;
  LineRunner runner(style, output, errors);
  const auto values = EvaluateRange(range, runner);
  if (!values) return Failed;
  RangeVariable variable;
  if (!variable.Take(range.name, values->from, ArgumentOrigin(range, "NAME"), runner, errors)) return Failed;
  bool readable = true;
  for (std::size_t i = 0; i < options.expressions.size(); ++i) {
    if (!runner.CheckReading(options.expressions[i], ArgumentOrigin(range, ExpressionName(i)))) readable = false;
  }
  if (!readable) return Failed;
  PreparedExpressions prepared;
  for (const std::string& text : options.expressions) {
    if (!prepared.Prepare(text)) {
      errors << "exprcalc: " << exprcalc_message(EXPRCALC_OUT_OF_MEMORY) << '\n' << std::flush;
      return Failed;
    }
  }
  if (range.kind == RangeOptions::Kind::Plot) return RunPlot(options, *values, variable, prepared, output, errors);

  const auto grid = GridOrReport(StepGrid(values->from, values->to, values->step,
                                                       options.mostRows.value_or(DefaultMostRows)), range, errors);
  if (!grid) return Failed;
  const TableColumns columns{range.name, variable.Index(), options.expressions, prepared.Handles()};
  const TableOutcome outcome = WriteTable(*grid, columns, options.csv ? TableFormat::Csv : TableFormat::Tabs,
                                          style == ValueStyle::DegreesMinutesSeconds ? FormatDms : FormatNumber,
                                          output);
  if (outcome == TableOutcome::NotANumberVariable) return NotANumberVariable(range, errors);
  return outcome == TableOutcome::AllValues ? Succeeded : Failed;
}

}  // namespace calculator
