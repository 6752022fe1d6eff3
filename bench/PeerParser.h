// The peer: a general-purpose expression parser, used one-shot (a new text
// each time means SetExpr and Eval per evaluation) or prepared (SetExpr once,
// Eval many times while a bound variable changes), with the corpus variables
// and the few functions the library has and it lacks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace exprcalc::bench {

class PeerParser {
 public:
  PeerParser();
  ~PeerParser();
  PeerParser(const PeerParser&) = delete;
  PeerParser& operator=(const PeerParser&) = delete;

  // Parses text and evaluates it; nothing when the peer refuses the text.
  std::optional<double> Evaluate(const std::string& text);

  // Sets text once, to be evaluated again and again; false when refused.
  bool Prepare(const std::string& text);
  // Evaluates the text set by Prepare with the bound variables' values now.
  double EvaluatePrepared();
  // The storage bound to a corpus variable (the peer reads it at every
  // evaluation), or null for a name it does not know.
  double* Variable(std::string_view peerName);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace exprcalc::bench
