#include "port/traffic_tap.h"

namespace trv {

TrafficTap::TrafficTap(std::unique_ptr<SerialPort> port) : m_port(std::move(port)) {}

TrafficObserver::Time TrafficTap::now() {
    return std::chrono::duration_cast<TrafficObserver::Time>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void TrafficTap::beginOperation(const QString& name) {
    if (m_observer) m_observer->operationStarted(name, now());
}

void TrafficTap::endOperation(const QString& outcome, bool failed) {
    if (m_observer) m_observer->operationEnded(outcome, failed, now());
}

bool TrafficTap::open(int portNumber) {
    return openThrough([&] { return m_port->open(portNumber); });
}

bool TrafficTap::openThrough(const std::function<bool()>& opening) {
    const bool opened = opening();
    if (m_observer) m_observer->portReset(now());
    return opened;
}

void TrafficTap::close() {
    m_port->close();
    if (m_observer) m_observer->portReset(now());
}

bool TrafficTap::write(const QByteArray& bytes) {
    const bool written = m_port->write(bytes);
    if (m_observer && written) m_observer->bytesSent(bytes, now(), m_port->baudRate());
    return written;
}

QByteArray TrafficTap::readAll() {
    QByteArray bytes = m_port->readAll();
    if (m_observer) m_observer->bytesReceived(bytes, now(), false);
    return bytes;
}

void TrafficTap::discardInput() {
    if (!m_observer) {
        m_port->discardInput();
        return;
    }
    // What is dropped is shown too: the system's bytes are pulled in and read before the
    // port discards. The program loses exactly what it would have lost unwatched.
    m_port->bytesWaiting();
    const QByteArray bytes = m_port->readAll();
    m_port->discardInput();
    m_observer->bytesReceived(bytes, now(), true);
}

}  // namespace trv
