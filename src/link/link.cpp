#include "link/link.h"

namespace trv {

Link::Link(std::unique_ptr<SerialPort> port) : m_port(std::move(port)) {}

void Link::release() {
    m_port->close();
    m_portOpen = false;
}

}  // namespace trv
