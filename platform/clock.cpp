#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace {

uint64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// Taken when the library is loaded, so tick counts start near 0 and their wrap
// is as far away as it can be.
const uint64_t processStart = MonotonicNanoseconds();

}  // namespace

uint32_t TickCount() {
  return static_cast<uint32_t>((MonotonicNanoseconds() - processStart) / 1000000u);
}

uint64_t PerformanceCount() {
  return MonotonicNanoseconds();
}

uint64_t PerformanceFrequency() {
  return 1000000000u;
}

void SleepMilliseconds(uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}
