#include "protocol/clock.h"

#include <thread>

namespace trv {

Millis SteadyClock::now() {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleep(Millis d) {
    if (d.count() > 0) std::this_thread::sleep_for(d);
}

Clock& steadyClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace trv
