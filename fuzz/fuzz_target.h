#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

// A fuzz target is one function over one input. libFuzzer calls it through the entry of
// libfuzzer_entry.cpp, the seeded loop directly; both time it.
int trvFuzzOne(const std::uint8_t* data, std::size_t size);

// Runs one input and returns the processor time it took, in milliseconds: on a shared
// machine the wall clock also counts the time the run waited for a processor. The processor
// time still has spikes of its own (the sanitizers' bookkeeping, page faults), so any run
// above a tenth of the limit is taken again: an input's time is its best of four runs.
inline double trvFuzzTimed(const std::uint8_t* data, std::size_t size, double slowMs) {
    auto once = [&] {
        timespec start{};
        timespec end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        trvFuzzOne(data, size);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        return double(end.tv_sec - start.tv_sec) * 1e3 + double(end.tv_nsec - start.tv_nsec) / 1e6;
    };
    double ms = once();
    for (int again = 0; again < 3 && ms > slowMs / 10; ++again) ms = std::min(ms, once());
    return ms;
}

inline constexpr double kTrvFuzzSlowMs = 10;

// A property of a reader that no input may break: breaking it is a crash, like any other.
#define TRV_FUZZ_CHECK(condition)                                                              \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
