// Many live prepared expressions at once, each evaluated until it would have
// compiled: how many mappings code memory takes, whether the host can still
// create a thread, and whether every evaluation is exact. Measures and checks;
// not part of the timing program.
//   exprcalc_many_handles [HANDLES [RUNS]]   (default 300000 handles, 1100 runs:
//   past the 1,024th, which compiles)
// Prints one line per fact; exit status 1 when an evaluation was not exact or
// pthread_create failed.
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "exprcalc.h"

namespace {

// A text of about 400 bytes, different for every i, short enough in
// operations to compile.
std::string Text(std::size_t i) {
  std::string text = "(@A+" + std::to_string(i) + ")";
  for (int k = 0; text.size() < 390; ++k) {
    text += k % 3 == 0 ? "*(@B-" : k % 3 == 1 ? "+SIN(@A*" : "-(@B/";
    text += std::to_string((i + static_cast<std::size_t>(k) * 7919) % 100003) + ".125)";
  }
  return text;
}

struct Maps {
  std::size_t all = 0;
  std::size_t code = 0;
};

Maps CountMaps() {
  Maps maps;
  std::ifstream file("/proc/self/maps");
  for (std::string line; std::getline(file, line);) {
    ++maps.all;
    maps.code += line.find("exprcalc-code") != std::string::npos ? 1 : 0;
  }
  return maps;
}

void* Nothing(void*) { return nullptr; }

}  // namespace

int main(int argc, char** argv) {
  const std::size_t handles = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1100;
  EnterVarDouble("@A", 0.625);
  EnterVarDouble("@B", -3.5);
  std::vector<exprcalc_expr*> live(handles, nullptr);
  std::size_t inexact = 0;
  std::size_t forms[3] = {0, 0, 0};
  std::size_t budget = 0;
  for (std::size_t i = 0; i < handles; ++i) {
    const std::string text = Text(i);
    if (exprcalc_prepare(text.c_str(), &live[i]) != EXPRCALC_OK) {
      std::printf("prepare failed at %zu\n", i);
      return 1;
    }
    double parsed = 0.0;
    const int expected = ParseString(text.c_str(), &parsed);
    for (int run = 0; run < runs; ++run) {
      double value = 1.0;
      const int code = exprcalc_evaluate(live[i], &value);
      if (code != expected || std::memcmp(&value, &parsed, sizeof value) != 0) ++inexact;
    }
    int why = 0;
    ++forms[exprcalc_code_form(live[i], &why)];
    budget += why == EXPRCALC_CODE_BUDGET ? 1 : 0;
  }
  const Maps maps = CountMaps();
  pthread_t thread;
  const int created = pthread_create(&thread, nullptr, Nothing, nullptr);
  if (created == 0) pthread_join(thread, nullptr);
  std::printf("handles %zu, text bytes %zu, evaluations per handle %d\n", handles, Text(0).size(), runs);
  std::printf("forms: machine code %zu, steps %zu (budget spent: %zu), text %zu\n",
              forms[EXPRCALC_FORM_MACHINE_CODE], forms[EXPRCALC_FORM_STEPS], budget, forms[EXPRCALC_FORM_TEXT]);
  std::printf("mappings: code memory %zu, all %zu\n", maps.code, maps.all);
  std::printf("pthread_create: %s\n", created == 0 ? "succeeded" : std::strerror(created));
  std::printf("inexact evaluations: %zu\n", inexact);
  for (exprcalc_expr* expr : live) exprcalc_release(expr);
  std::printf("after releasing every handle: code memory mappings %zu\n", CountMaps().code);
  return inexact == 0 && created == 0 ? 0 : 1;
}
