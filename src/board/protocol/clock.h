#pragma once

#include <chrono>

// Monotonic time for the board exchanges, behind an interface so that tests can run the
// one-second time-outs on a clock of their own.
namespace trv {

using Millis = std::chrono::milliseconds;
using Micros = std::chrono::microseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis now() = 0;
    // Blocks the thread for about d (never spins).
    virtual void sleep(Millis d) = 0;
};

class SteadyClock final : public Clock {
public:
    Millis now() override;
    void sleep(Millis d) override;
};

// The program's monotonic clock. It keeps no state, so exchanges on several threads share it.
Clock& steadyClock();

}  // namespace trv
