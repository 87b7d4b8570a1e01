#include "tests/fuzz/fuzz_target.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tarn::fuzz {

namespace {

// Filled during static initialisation, before main; read afterwards.
std::vector<Harness>& Registered() {
  static std::vector<Harness> harnesses;
  return harnesses;
}

}  // namespace

bool RegisterHarness(const char* name, HarnessFn run) {
  Registered().push_back(Harness{name, run});
  return true;
}

std::vector<Harness> Harnesses() {
  std::vector<Harness> all = Registered();
  std::sort(all.begin(), all.end(),
            [](const Harness& a, const Harness& b) { return a.name < b.name; });
  return all;
}

std::filesystem::path CorpusDir() {
  const char* dir = std::getenv("TARN_FUZZ_CORPUS_DIR");
  if (dir && *dir) return dir;
#ifdef TARN_FUZZ_CORPUS_DIR
  return TARN_FUZZ_CORPUS_DIR;
#else
  return {};
#endif
}

void CheckFailed(const char* what, const char* file, int line) {
  char text[512];
  std::snprintf(text, sizeof text, "%s:%d: check failed: %s", file, line, what);
#ifdef TARN_FUZZ_MAIN
  std::fprintf(stderr, "%s\n", text);
  std::abort();
#else
  throw std::logic_error(text);
#endif
}

}  // namespace tarn::fuzz
