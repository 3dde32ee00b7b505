// The seeded random loop: drives a fuzz target where libFuzzer is not available. It mutates
// the seed inputs (and its own recent mutants) with a generator started from a printed
// seed, so a run can be replayed, times every input, and keeps any input that crashes the
// target or takes too long. It also replays given files, for inputs libFuzzer found.
#include <fcntl.h>
#include <signal.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz_target.h"

#ifndef TRV_FUZZ_NAME
#define TRV_FUZZ_NAME "target"
#endif

namespace {

using Input = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// The input under test, for the crash handlers: they may only make system calls.
const std::uint8_t* g_current = nullptr;
std::size_t g_currentSize = 0;
char g_crashPath[4096] = "crash-" TRV_FUZZ_NAME ".bin";

// The bare file calls of each system, for the crash handlers.
#ifdef _WIN32
int createCrashFile(const char* path) {
    return ::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}
long long writeSome(int fd, const void* bytes, std::size_t size) {
    return ::_write(fd, bytes, unsigned(std::min<std::size_t>(size, 1u << 30)));
}
void closeFile(int fd) { ::_close(fd); }
#else
int createCrashFile(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}
long long writeSome(int fd, const void* bytes, std::size_t size) {
    return ::write(fd, bytes, size);
}
void closeFile(int fd) { ::close(fd); }
#endif

void saveCurrentInput() {
    const int fd = createCrashFile(g_crashPath);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < g_currentSize) {
        const long long n = writeSome(fd, g_current + done, g_currentSize - done);
        if (n <= 0) break;
        done += std::size_t(n);
    }
    closeFile(fd);
    static const char note[] = "\n" TRV_FUZZ_NAME ": crashing input saved\n";
    [[maybe_unused]] const long long n = writeSome(2, note, sizeof note - 1);
}

extern "C" void onCrashSignal(int signalNumber) {
    saveCurrentInput();
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

}  // namespace

#ifndef _WIN32
// The sanitizers end the program without a signal; they call this first when present.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));
#endif

namespace {

void watchForCrashes() {
    for (int s : {SIGSEGV, SIGABRT, SIGFPE, SIGILL}) ::signal(s, onCrashSignal);
#ifndef _WIN32
    ::signal(SIGBUS, onCrashSignal);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(saveCurrentInput);
#endif
}

bool readFile(const std::filesystem::path& path, Input* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

// Files given directly, and the regular files of given folders, in name order.
std::vector<std::filesystem::path> filesUnder(const std::vector<std::string>& places) {
    std::vector<std::filesystem::path> files;
    for (const std::string& place : places) {
        std::error_code error;
        if (std::filesystem::is_directory(place, error)) {
            std::vector<std::filesystem::path> found;
            for (const auto& entry : std::filesystem::directory_iterator(place, error))
                if (entry.is_regular_file()) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.emplace_back(place);
        }
    }
    return files;
}

class Mutator {
public:
    Mutator(std::uint64_t seed, std::size_t maxLength) : m_random(seed), m_maxLength(maxLength) {}

    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::size_t(m_random() % n); }

    Input mutate(const Input& from, const std::vector<Input>& pool) {
        Input out = from;
        const std::size_t steps = 1 + below(8);
        for (std::size_t step = 0; step < steps; ++step) apply(out, pool);
        if (out.size() > m_maxLength) out.resize(m_maxLength);
        return out;
    }

private:
    std::uint8_t interesting() {
        // Bytes the readers give a meaning to, and the edges of a byte.
        static constexpr std::array<std::uint8_t, 22> kBytes = {
            0x00, 0x02, 0x03, 0x06, 0x15, '0', '1', '3', '9',  'A',  'F',
            'a',  'f',  'G',  '\r', '\n', ':', '_', ' ', 0x7F, 0x80, 0xFF};
        return kBytes[below(kBytes.size())];
    }

    void apply(Input& out, const std::vector<Input>& pool) {
        const std::size_t at = below(out.size() + 1);
        switch (below(9)) {
            case 0:  // flip a bit
                if (!out.empty()) out[below(out.size())] ^= std::uint8_t(1u << below(8));
                break;
            case 1:  // a byte the reader cares about
                if (!out.empty()) out[below(out.size())] = interesting();
                break;
            case 2:  // any byte
                if (!out.empty()) out[below(out.size())] = std::uint8_t(m_random());
                break;
            case 3: {  // a few bytes more
                const std::size_t n = 1 + below(16);
                for (std::size_t i = 0; i < n; ++i)
                    out.insert(out.begin() + std::ptrdiff_t(std::min(at, out.size())),
                               below(2) ? interesting() : std::uint8_t(m_random()));
                break;
            }
            case 4: {  // a stretch less
                if (out.empty()) break;
                const std::size_t from = below(out.size());
                const std::size_t n = 1 + below(std::min<std::size_t>(out.size() - from, 64));
                out.erase(out.begin() + std::ptrdiff_t(from),
                          out.begin() + std::ptrdiff_t(from + n));
                break;
            }
            case 5: {  // a stretch repeated elsewhere
                if (out.empty()) break;
                const std::size_t from = below(out.size());
                const std::size_t n = 1 + below(std::min<std::size_t>(out.size() - from, 64));
                const Input chunk(out.begin() + std::ptrdiff_t(from),
                                  out.begin() + std::ptrdiff_t(from + n));
                out.insert(out.begin() + std::ptrdiff_t(std::min(at, out.size())), chunk.begin(),
                           chunk.end());
                break;
            }
            case 6:  // cut short
                out.resize(below(out.size() + 1));
                break;
            case 7: {  // the head of one input, the tail of another
                if (pool.empty()) break;
                const Input& other = pool[below(pool.size())];
                const std::size_t from = below(other.size() + 1);
                out.resize(std::min(at, out.size()));
                out.insert(out.end(), other.begin() + std::ptrdiff_t(from), other.end());
                break;
            }
            default: {  // noise of any length
                out.resize(below(m_maxLength / 4 + 1));
                for (std::uint8_t& byte : out) byte = std::uint8_t(m_random());
                break;
            }
        }
    }

    std::mt19937_64 m_random;
    std::size_t m_maxLength;
};

struct Options {
    double seconds = 10;
    std::uint64_t runs = 0;  // 0: until the time is up
    std::uint64_t seed = 0;
    bool seedGiven = false;
    std::size_t maxLength = 4096;
    double slowMs = kTrvFuzzSlowMs;
    std::vector<std::string> corpus;
    std::vector<std::string> replay;
    std::string artifacts = ".";
};

int usage() {
    std::fprintf(
        stderr,
        "usage: fuzz-" TRV_FUZZ_NAME
        "-loop [--seconds S] [--runs N] [--seed N] [--max-len BYTES]\n"
        "       [--slow-ms MS] [--corpus DIR]... [--artifacts DIR] [--replay FILE|DIR]...\n");
    return 2;
}

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--seconds" && (v = value())) {
            options->seconds = std::atof(v);
        } else if (arg == "--runs" && (v = value())) {
            options->runs = std::strtoull(v, nullptr, 10);
        } else if (arg == "--seed" && (v = value())) {
            options->seed = std::strtoull(v, nullptr, 10);
            options->seedGiven = true;
        } else if (arg == "--max-len" && (v = value())) {
            options->maxLength = std::max<std::size_t>(1, std::strtoull(v, nullptr, 10));
        } else if (arg == "--slow-ms" && (v = value())) {
            options->slowMs = std::atof(v);
        } else if (arg == "--corpus" && (v = value())) {
            options->corpus.emplace_back(v);
        } else if (arg == "--artifacts" && (v = value())) {
            options->artifacts = v;
        } else if (arg == "--replay" && (v = value())) {
            options->replay.emplace_back(v);
        } else {
            return false;
        }
    }
    return true;
}

struct Tally {
    std::uint64_t inputs = 0;
    std::uint64_t slow = 0;
    double slowestMs = 0;
};

// Runs one input, timed; a slow one is kept beside the crash file.
void runOne(const Input& input, const Options& options, Tally* tally) {
    g_current = input.data();
    g_currentSize = input.size();
    const double ms = trvFuzzTimed(input.data(), input.size(), options.slowMs);
    ++tally->inputs;
    tally->slowestMs = std::max(tally->slowestMs, ms);
    if (ms > options.slowMs) {
        ++tally->slow;
        const std::string path =
            options.artifacts + "/slow-" TRV_FUZZ_NAME "-" + std::to_string(tally->slow) + ".bin";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
        std::fprintf(stderr, TRV_FUZZ_NAME ": input of %zu bytes took %.3f ms, kept as %s\n",
                     input.size(), ms, path.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, &options)) return usage();
    if (!options.seedGiven)
        options.seed = std::uint64_t(Clock::now().time_since_epoch().count()) % 1'000'000'007ULL;
    std::snprintf(g_crashPath, sizeof g_crashPath, "%s/crash-" TRV_FUZZ_NAME "-%llu.bin",
                  options.artifacts.c_str(), static_cast<unsigned long long>(options.seed));
    watchForCrashes();

    Tally tally;
    const Clock::time_point start = Clock::now();
    if (!options.replay.empty()) {
        for (const auto& path : filesUnder(options.replay)) {
            Input input;
            if (!readFile(path, &input)) {
                std::fprintf(stderr, TRV_FUZZ_NAME ": cannot read %s\n", path.string().c_str());
                return 2;
            }
            runOne(input, options, &tally);
        }
    } else {
        std::vector<Input> seeds;
        for (const auto& path : filesUnder(options.corpus)) {
            Input input;
            if (readFile(path, &input)) seeds.push_back(std::move(input));
        }
        if (seeds.empty()) seeds.emplace_back();
        for (const Input& seed : seeds) runOne(seed, options, &tally);

        // Recent mutants join the seeds, so that mutations pile up over several rounds.
        std::vector<Input> pool = seeds;
        constexpr std::size_t kPoolSize = 256;
        Mutator mutator(options.seed, options.maxLength);
        const auto deadline = start + std::chrono::duration<double>(options.seconds);
        for (std::uint64_t round = 0;; ++round) {
            if (options.runs ? tally.inputs >= options.runs
                             : (round % 64 == 0 && Clock::now() >= deadline))
                break;
            const Input& parent = mutator.below(4) == 0 ? seeds[mutator.below(seeds.size())]
                                                        : pool[mutator.below(pool.size())];
            Input input = mutator.mutate(parent, pool);
            runOne(input, options, &tally);
            if (pool.size() < kPoolSize)
                pool.push_back(std::move(input));
            else
                pool[mutator.below(kPoolSize)] = std::move(input);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(TRV_FUZZ_NAME
                ": %llu inputs in %.1f s (seed %llu): 0 crashes, %llu over %.0f ms, "
                "slowest %.3f ms\n",
                static_cast<unsigned long long>(tally.inputs), seconds,
                static_cast<unsigned long long>(options.seed),
                static_cast<unsigned long long>(tally.slow), options.slowMs, tally.slowestMs);
    return tally.slow == 0 ? 0 : 1;
}
