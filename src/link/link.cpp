#include "link/link.h"

namespace trv {

Link::Link(std::unique_ptr<SerialPort> port) : m_tap(std::move(port)) {}

void Link::release() {
    m_tap.close();
    m_portOpen = false;
}

}  // namespace trv
