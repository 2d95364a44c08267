// CPU time for the timed programs: the machines we measure on are shared,
// and wall-clock time there mostly measures the neighbours.
#ifndef WAYFETCH_BENCH_CPU_TIME_H
#define WAYFETCH_BENCH_CPU_TIME_H

#include <time.h>

#include <algorithm>

namespace wayfetch::bench {

// Seconds of CPU time of `clock` (CLOCK_PROCESS_CPUTIME_ID or CLOCK_THREAD_CPUTIME_ID).
inline double cpu_seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The least CPU time of `rounds` runs of `run`.
template <typename Run>
double best_seconds(int rounds, clockid_t clock, Run run) {
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const double start = cpu_seconds(clock);
    run();
    best = std::min(best, cpu_seconds(clock) - start);
  }
  return best;
}

}  // namespace wayfetch::bench

#endif
