// The suite's monotonic clock, and the deadline every timed poll() wait of
// the platform layer and the engine is measured against.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of a steady clock from an arbitrary start: for elapsed times
// and deadlines, never for dates. Any thread may call it.
int64_t NowMs();

// A point in time a wait must not pass, or none. Cheap to copy.
class Deadline {
 public:
  // `ms` from now; 0 (or less) is due at once.
  static Deadline In(int64_t ms);
  // No limit: the wait ends only on its event.
  static Deadline Never();

  bool Limited() const { return at_ >= 0; }
  bool Passed() const;
  // What is left for poll(): -1 without a limit, else 0 .. INT32_MAX ms.
  int LeftMs() const;

 private:
  explicit Deadline(int64_t at) : at_(at) {}
  int64_t at_;  // NowMs() value; -1 for none
};

}  // namespace platform
