#include "link/link.h"

namespace trv {

Link::Link(std::unique_ptr<SerialPort> port, Clock& clock)
    : m_tap(std::move(port)), m_clock(clock) {}

history::ImageHistory& Link::imageHistory() {
    if (!m_history) m_history.emplace();
    return *m_history;
}

void Link::release() {
    m_tap.close();
    m_portOpen = false;
}

}  // namespace trv
