#pragma once
// Heap bytes in use in this process, counted at every allocation (glibc, without sanitizers).
// Available() is false where the counter cannot be installed; the figures then read 0.
#include <cstddef>

namespace heapcount {
bool Available();
void SetCounting(bool on); // off by default, so that timed code pays nothing
long long InUse();
long long Peak();
void ResetPeak(); // the peak starts again from what is in use now
} // namespace heapcount
