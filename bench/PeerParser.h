// The peer: a general-purpose expression parser used one-shot (a new text
// each time means SetExpr and Eval per evaluation), with the corpus
// variables and the few functions the library has and it lacks.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace exprcalc::bench {

class PeerParser {
 public:
  PeerParser();
  ~PeerParser();
  PeerParser(const PeerParser&) = delete;
  PeerParser& operator=(const PeerParser&) = delete;

  // Parses text and evaluates it; nothing when the peer refuses the text.
  std::optional<double> Evaluate(const std::string& text);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace exprcalc::bench
