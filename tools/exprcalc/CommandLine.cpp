// Reads the options in any position up to "--"; everything else is an
// expression. An argument such as -5+2, -(1) or -SIN(1) that is no option is
// an expression, so that negative values need no "--".
#include "CommandLine.h"

#include <charconv>

#include "RangeGrid.h"
#include "exprcalc.h"

namespace calculator {
namespace {

constexpr std::string_view FileOption = "--file";
constexpr std::string_view StandardInputName = "-";

constexpr std::string_view OutputOption = "--output";
constexpr std::string_view RowsOption = "--rows";
constexpr std::string_view PictureSuffix = ".svg";

bool TakesFileName(std::string_view argument) { return argument == "-f" || argument == FileOption; }
bool TakesOutputName(std::string_view argument) { return argument == "-o" || argument == OutputOption; }

// The arguments that --table and --plot take, whatever they begin with (a
// FROM of -1 is not an option).
std::optional<std::string> TakeRange(const std::vector<std::string_view>& arguments, std::size_t& i, Options& options) {
  const bool table = arguments[i] == "--table";
  const std::size_t taken = table ? 4 : 3;
  if (options.range) return "options --table and --plot run once: give one of them";
  if (arguments.size() - i - 1 < taken) {
    return "option " + std::string(arguments[i]) + (table ? " needs NAME FROM TO STEP" : " needs NAME FROM TO");
  }
  RangeOptions range;
  range.kind = table ? RangeOptions::Kind::Table : RangeOptions::Kind::Plot;
  range.name = arguments[++i];
  range.from = arguments[++i];
  range.to = arguments[++i];
  if (table) range.step = arguments[++i];
  options.range = range;
  return std::nullopt;
}

// The picture is SVG whatever its name says: a name that promises another
// format is refused rather than filled with SVG. Case does not matter (.SVG).
bool NamesAPicture(std::string_view name) {
  if (name == StandardInputName) return true;
  if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  if (name.size() <= PictureSuffix.size()) return false;
  const std::string_view suffix = name.substr(name.size() - PictureSuffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = suffix[i] >= 'A' && suffix[i] <= 'Z' ? static_cast<char>(suffix[i] - 'A' + 'a') : suffix[i];
    if (c != PictureSuffix[i]) return false;
  }
  return true;
}

// "--rows N": a whole number of rows from 1 to the largest limit.
std::optional<std::uint64_t> RowLimit(std::string_view text) {
  std::uint64_t rows = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), rows);
  if (read.ec != std::errc() || read.ptr != text.data() + text.size() || rows == 0 || rows > LargestMostRows) {
    return std::nullopt;
  }
  return rows;
}

std::optional<std::string> RangeRuleBroken(const Options& options) {
  if (!options.plotFile.empty() && !NamesAPicture(options.plotFile)) {
    return "option -o writes an SVG picture: give a FILE ending in .svg, or - for standard output";
  }
  if (!options.range) {
    if (options.csv) return "option --csv goes with --table";
    if (!options.plotFile.empty()) return "option -o goes with --plot";
    if (options.mostRows) return "option --rows goes with --table";
    return std::nullopt;
  }
  const bool table = options.range->kind == RangeOptions::Kind::Table;
  if (options.expressions.empty()) return table ? "option --table needs an EXPR" : "option --plot needs an EXPR";
  if (!options.files.empty() || options.interactive) return "options --table and --plot take no -f and no -i";
  if (options.csv && !table) return "option --csv goes with --table";
  if (!options.plotFile.empty() && table) return "option -o goes with --plot";
  if (options.mostRows && !table) return "option --rows goes with --table";
  return std::nullopt;
}

}  // namespace

bool IsNegativeExpression(std::string_view argument) {
  if (argument.size() < 2 || argument[0] != '-' || argument[1] == '-') return false;
  // The library says whether it reads on after the sign: -x stops at the x.
  const std::string text(argument);
  exprcalc_diagnosis d{};
  exprcalc_explain(text.c_str(), &d);
  return d.read > 1;
}

CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments) {
  CommandLine result;
  Options& options = result.options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (optionsEnded || argument.empty() || argument[0] != '-') {
      options.expressions.emplace_back(argument);
    } else if (argument == StandardInputName) {
      options.files.emplace_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--dms") {
      options.dms = true;
    } else if (argument == "-i" || argument == "--interactive") {
      options.interactive = true;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "-V" || argument == "--version") {
      options.version = true;
    } else if (argument == "--table" || argument == "--plot") {
      if (auto error = TakeRange(arguments, i, options)) {
        result.usageError = std::move(error);
        return result;
      }
    } else if (argument == "--csv") {
      options.csv = true;
    } else if (argument == RowsOption || (argument.starts_with(RowsOption) && argument.size() > RowsOption.size() &&
                                          argument[RowsOption.size()] == '=')) {
      std::string_view count;
      if (argument == RowsOption) {
        if (i + 1 == arguments.size()) {
          result.usageError = "option --rows needs a number of rows";
          return result;
        }
        count = arguments[++i];
      } else {
        count = argument.substr(RowsOption.size() + 1);
      }
      options.mostRows = RowLimit(count);
      if (!options.mostRows) {
        result.usageError = "option --rows takes a whole number of rows from 1 to " + std::to_string(LargestMostRows) +
                            ", not '" + std::string(count) + "'";
        return result;
      }
    } else if (TakesOutputName(argument)) {
      if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
        result.usageError = "option " + std::string(argument) + " needs a file name";
        return result;
      }
      options.plotFile = arguments[++i];
    } else if (argument.starts_with(OutputOption) && argument.size() > OutputOption.size() + 1 &&
               argument[OutputOption.size()] == '=') {
      options.plotFile = argument.substr(OutputOption.size() + 1);
    } else if (TakesFileName(argument)) {
      if (i + 1 == arguments.size()) {
        result.usageError = "option " + std::string(argument) + " needs a file name";
        return result;
      }
      options.files.emplace_back(arguments[++i]);
    } else if (argument.starts_with(FileOption) && argument.size() > FileOption.size() &&
               argument[FileOption.size()] == '=') {
      options.files.emplace_back(argument.substr(FileOption.size() + 1));
    } else if (argument.starts_with("-f")) {
      options.files.emplace_back(argument.substr(2));
    } else if (IsNegativeExpression(argument)) {
      options.expressions.emplace_back(argument);
    } else {
      result.usageError = "unknown option '" + std::string(argument) + "'";
      return result;
    }
  }
  if (options.interactive && !(options.expressions.empty() && options.files.empty())) {
    result.usageError = "option -i reads standard input: it takes no EXPR and no -f";
  }
  if (!result.usageError) result.usageError = RangeRuleBroken(options);
  return result;
}

std::string_view HelpText() {
  return R"(Usage: exprcalc [OPTION]... [--] [EXPR]...
  or:  exprcalc --table NAME FROM TO STEP [--csv] [--rows N] EXPR...
  or:  exprcalc --plot NAME FROM TO [-o FILE.svg] EXPR...
Evaluate arithmetic expressions and assignment statements.

Each EXPR is evaluated in order and its value printed on a line of its own.
An argument whose first non-blank character is "@" and that holds "=" is a
statement (@RATE = 0.5*@BASE) and prints nothing when it succeeds. Without
EXPR and -f, lines are read from standard input; when that is a terminal an
interactive session starts (type :help there; Ctrl-C cancels a line, Ctrl-D
or :quit ends the session). The lines typed there are kept across sessions in
$XDG_STATE_HOME/exprcalc/history (~/.local/state/exprcalc/history), the last
1,000 of them, or in $EXPRCALC_HISTORY; none when that is set but empty.

Options:
  -f, --file FILE    read lines from FILE ("-" is standard input); may be
                     repeated; files are read before any EXPR
  -                  the same as -f -
      --dms          print values as degrees:minutes:seconds
  -i, --interactive  run the interactive session even when standard input
                     is not a terminal (with no EXPR and no -f)
      --table NAME FROM TO STEP
                     print a table of each EXPR for the number variable NAME
                     = FROM, FROM+STEP, ... up to TO (TO itself when it lies
                     on the grid): a header line, then a line per row with
                     tab-separated values; a cell whose evaluation fails
                     holds its error in words and the status is 1
      --csv          the table as comma-separated values (RFC 4180)
      --rows N       let the table have up to N rows (10000000 unless given);
                     a range with more is refused before any row is written
      --plot NAME FROM TO
                     plot each EXPR for NAME from FROM to TO in the
                     terminal's size (80x24 off a terminal): braille dots in
                     a UTF-8 locale, else characters; colours on a terminal
                     unless NO_COLOR is set; the legend says which points
                     were not drawn and why
  -o, --output FILE  with --plot, write the plot to FILE as an SVG picture;
                     FILE ends in .svg, or is - for standard output
  -h, --help         print this help and exit
  -V, --version      print the version and exit
      --             end of options: every later argument is an EXPR

FROM, TO and STEP are expressions, reported on as any other (2*PAI, 0-1).
A table with FROM equal to TO has one row, whatever STEP.
NAME is created for the run when it is missing and left as it was after it.

An argument that begins with a single "-" and is no option above is an EXPR
when expressions read on after the "-": exprcalc -5+2 prints -3, and -PAI,
-(1) and -SIN(1) are EXPRs too; -x is an unknown option.

Lines and arguments that are blank or whose first non-blank character is "#"
are skipped; lines may end in LF or CRLF, and a UTF-8 byte-order mark before
the first line is ignored.

Values print in plain decimal notation with the fewest digits that read back
to the same double (0.1+0.2 prints 0.30000000000000004); from 2^53 on, where
integers are no longer read back exactly, with a decimal point (2^60 prints
1152921504606847000.0). Not-a-number and infinities print as nan, inf and
-inf, which no expression can write.

With --dms a value prints as D:MM:SS with whole minutes and seconds (1.51
prints 1:30:36), a leading "-" for a negative value. When the value is not a
whole number of seconds, the remaining fraction of a second is carried as a
decimal fraction of the degrees field (1.5101 prints 1.0001:30:36), since the
notation has no fraction of a second; the text reads back to the same value,
or to within the last digit of a double. From 2^53 degrees on, values print
as without --dms.

A line that is not read to its end (an unknown name, "1.5e3", an unclosed
"(" whose contents are dropped), a failed evaluation and a statement that is
not carried out are errors: standard error shows where the line came from
with the column (1-based, in bytes), the reason, the line with a caret under
the column and, where one helps, a hint. Session commands (:vars) given as
EXPR or on a pipe without -i are errors too. Warnings (digits that commas do
not group by three, a text variable read as 0, a name stored that no
expression can read) leave the line a success.

Exit status: 0 when every line succeeded (an interactive session: when it
ended normally, whatever errors it showed), 1 when any line failed, an input
could not be read to its end or the output could not be written, 2 for a
usage error (unknown option, a file that cannot be opened).
)";
}

}  // namespace calculator
