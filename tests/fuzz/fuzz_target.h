// One fuzz harness: a function over the bytes of one input that returns 0.
// The same source builds two ways:
//   - with TARN_FUZZ_MAIN, the harness is LLVMFuzzerTestOneInput of its own
//     libFuzzer program (tests/fuzz/CMakeLists.txt, TARN_FUZZ);
//   - otherwise it registers itself by name, and the unit suite replays
//     every file of corpus/<name>/ through it (replay_test.cpp), so that
//     the seeds and every input that once broke something stay checked in
//     the ordinary builds, the ASan one included.
//
// A harness checks what must hold for any input with FUZZ_CHECK. A broken
// check aborts under libFuzzer (a finding) and fails the replayed file in
// the unit suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarn::fuzz {

using HarnessFn = int (*)(const uint8_t* data, size_t size);

struct Harness {
  std::string name;  // the corpus folder's name
  HarnessFn run;
};

// Adds a harness to the replay list; returns true (for a static's value).
bool RegisterHarness(const char* name, HarnessFn run);
// Every registered harness, in name order.
std::vector<Harness> Harnesses();

// The corpus folders to replay: $TARN_FUZZ_CORPUS_DIR when set (a corpus a
// long run grew: tools/fuzz --keep leaves it in <work>/corpus), else the
// seeds of the tree. Replay builds only.
std::filesystem::path CorpusDir();

// What a broken check does: abort() under libFuzzer, an exception of type
// CheckFailed when replayed.
[[noreturn]] void CheckFailed(const char* what, const char* file, int line);

}  // namespace tarn::fuzz

#define FUZZ_CHECK(cond)                                                  \
  do {                                                                    \
    if (!(cond)) ::tarn::fuzz::CheckFailed(#cond, __FILE__, __LINE__);    \
  } while (0)

#ifdef TARN_FUZZ_MAIN
#define TARN_FUZZ_TARGET(name) \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define TARN_FUZZ_TARGET(name)                                                    \
  static int name##_Harness(const uint8_t* data, size_t size);                    \
  [[maybe_unused]] static const bool name##_registered =                          \
      ::tarn::fuzz::RegisterHarness(#name, name##_Harness);                       \
  static int name##_Harness(const uint8_t* data, size_t size)
#endif
