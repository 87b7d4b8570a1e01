#include "platform/clock.h"

#include <chrono>
#include <cstdint>

namespace platform {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Deadline Deadline::In(int64_t ms) { return Deadline(NowMs() + (ms > 0 ? ms : 0)); }

Deadline Deadline::Never() { return Deadline(-1); }

bool Deadline::Passed() const { return Limited() && NowMs() >= at_; }

int Deadline::LeftMs() const {
  if (!Limited()) return -1;
  const int64_t left = at_ - NowMs();
  if (left <= 0) return 0;
  return left > INT32_MAX ? INT32_MAX : static_cast<int>(left);
}

}  // namespace platform
