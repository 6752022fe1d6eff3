// The peer's set-up: the corpus variables bound to doubles it reads at
// evaluation time, deg/rad/fmod as functions, and _pi redefined as the
// nearest double to pi (its own constant has fewer digits).
#include "PeerParser.h"

#include <cmath>
#include <iterator>
#include <string>

#include <muParser.h>

#include "Corpus.h"

namespace exprcalc::bench {
namespace {

constexpr double Pi = 3.141592653589793;

double Degrees(double radians) { return (180.0 * radians) / Pi; }
double Radians(double degrees) { return (Pi * degrees) / 180.0; }
double Remainder(double a, double b) { return std::fmod(a, b); }

}  // namespace

struct PeerParser::State {
  mu::Parser parser;
  double values[16] = {};
};

PeerParser::PeerParser() : state_(std::make_unique<State>()) {
  mu::Parser& parser = state_->parser;
  parser.DefineConst("_pi", Pi);
  parser.DefineFun("deg", Degrees);
  parser.DefineFun("rad", Radians);
  parser.DefineFun("fmod", Remainder);
  std::size_t slot = 0;
  for (const CorpusVariable& variable : CorpusVariables()) {
    if (slot == std::size(state_->values)) break;
    state_->values[slot] = variable.value;
    parser.DefineVar(std::string(variable.peerName), &state_->values[slot]);
    ++slot;
  }
}

PeerParser::~PeerParser() = default;

std::optional<double> PeerParser::Evaluate(const std::string& text) {
  try {
    state_->parser.SetExpr(text);
    return state_->parser.Eval();
  } catch (const mu::Parser::exception_type&) {
    return std::nullopt;
  }
}

bool PeerParser::Prepare(const std::string& text) {
  try {
    state_->parser.SetExpr(text);
    state_->parser.Eval();  // the first Eval builds the bytecode
    return true;
  } catch (const mu::Parser::exception_type&) {
    return false;
  }
}

double PeerParser::EvaluatePrepared() { return state_->parser.Eval(); }

double* PeerParser::Variable(std::string_view peerName) {
  std::size_t slot = 0;
  for (const CorpusVariable& variable : CorpusVariables()) {
    if (slot == std::size(state_->values)) break;
    if (variable.peerName == peerName) return &state_->values[slot];
    ++slot;
  }
  return nullptr;
}

}  // namespace exprcalc::bench
