// libFuzzer's entry into a target: the target itself, timed, so that an input slower than
// the limit is a finding like a crash (libFuzzer's own clock counts whole seconds).
#include "fuzz_target.h"

namespace {
double g_slowestMs = 0;

struct Report {
    ~Report() { std::fprintf(stderr, "slowest input: %.3f ms\n", g_slowestMs); }
} g_report;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const double ms = trvFuzzTimed(data, size, kTrvFuzzSlowMs);
    g_slowestMs = std::max(g_slowestMs, ms);
    if (ms > kTrvFuzzSlowMs) {
        std::fprintf(stderr, "input of %zu bytes took %.3f ms\n", size, ms);
        std::abort();  // libFuzzer keeps the input as a crash artifact
    }
    return 0;
}
