// The lines typed at the interactive session, kept across sessions in a file:
// $EXPRCALC_HISTORY when it is set (no file at all when it is set to the empty
// text), else $XDG_STATE_HOME/exprcalc/history, else
// ~/.local/state/exprcalc/history. The file keeps the last MostHistoryLines.
// A history that is a link, not a regular file, another user's, or readable
// by others is not kept, with a warning; /dev/null keeps none in silence.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace calculator {

inline constexpr std::size_t MostHistoryLines = 1000;

// Where the history is kept, or nothing when it is not kept.
std::optional<std::filesystem::path> HistoryFile();

class History {
 public:
  // file: nothing keeps no history. problems: where a file that cannot be
  // used or written is reported, once (no more lines are kept after that).
  History(std::optional<std::filesystem::path> file, std::ostream& problems);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // The lines of earlier sessions, oldest first, at most MostHistoryLines.
  const std::vector<std::string>& Earlier() const { return earlier_; }

  // Appends a line to the file at once, so that a session that is killed
  // keeps what was typed.
  void Add(const std::string& line);

 private:
  void Trim();
  void Refuse(const std::string& reason);

  std::optional<std::filesystem::path> file_;
  std::ostream& problems_;
  std::vector<std::string> earlier_;
  std::size_t lines_ = 0;  // in the file
};

}  // namespace calculator
