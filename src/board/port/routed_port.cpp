#include "port/routed_port.h"

#include "port/port_assignment.h"
#include "port/network_port.h"
#include "port/port_map.h"
#include "port/system_serial_port.h"

namespace trv {

std::unique_ptr<SerialPort> networkPort(const NetworkAddress& address) {
    return std::make_unique<NetworkPort>(address);
}

RoutedPort::RoutedPort() : RoutedPort(networkPort) {}

RoutedPort::RoutedPort(NetworkFactory network)
    : RoutedPort(
          std::move(network), [] { return std::make_unique<SystemSerialPort>(); },
          [](int n) { return readPortAddress(portsFolder(), n); }) {}

RoutedPort::RoutedPort(NetworkFactory network, LocalFactory local, AddressLookup lookup)
    : m_network(std::move(network)), m_local(std::move(local)), m_lookup(std::move(lookup)) {}

RoutedPort::~RoutedPort() = default;

void RoutedPort::refuse(const QString& device, const QString& why) {
    OpenFailure f;
    f.cause = OpenFailure::Cause::Other;
    f.device = device;
    f.systemText = why;
    m_refusal = f;
}

bool RoutedPort::open(int portNumber) {
    close();
    m_port.reset();
    m_address.reset();
    m_refusal.reset();
    m_number = portNumber;
    const StoredAddress stored = m_lookup ? m_lookup(portNumber) : StoredAddress{};
    if (stored.exists) {
        // A file that holds no address is a port that does not open: falling back to the
        // local COMn would send the frames to some other device.
        if (!stored.address) {
            refuse(QStringLiteral("COM%1").arg(portNumber), stored.error);
            return false;
        }
        return openOnNetwork(*stored.address, portNumber);
    }
    m_port = m_local();
    return m_port->open(portNumber);
}

bool RoutedPort::openAddress(const NetworkAddress& address) {
    close();
    m_port.reset();
    m_address.reset();
    m_refusal.reset();
    m_number = 0;
    return openOnNetwork(address, 0);
}

bool RoutedPort::openOnNetwork(const NetworkAddress& address, int portNumber) {
    m_address = address;
    if (m_network) m_port = m_network(address);
    if (!m_port) {
        refuse(address.text(), QStringLiteral("ce programme n'ouvre pas encore les ports réseau"));
        return false;
    }
    return m_port->open(portNumber);
}

void RoutedPort::close() {
    if (m_port) m_port->close();
}

bool RoutedPort::isOpen() const { return m_port && m_port->isOpen(); }

OpenFailure RoutedPort::openFailure() const {
    if (m_refusal) return *m_refusal;
    return m_port ? m_port->openFailure() : OpenFailure{};
}

bool RoutedPort::lost() { return m_port && m_port->lost(); }

QString RoutedPort::lostReason() const { return m_port ? m_port->lostReason() : QString(); }

int RoutedPort::baudRate() const { return m_port ? m_port->baudRate() : 9600; }

bool RoutedPort::write(const QByteArray& bytes) { return m_port && m_port->write(bytes); }

bool RoutedPort::drain(int msecs) { return m_port && m_port->drain(msecs); }

qint64 RoutedPort::bytesWaiting() { return m_port ? m_port->bytesWaiting() : 0; }

bool RoutedPort::waitForInput(int msecs) { return m_port && m_port->waitForInput(msecs); }

QByteArray RoutedPort::readAll() { return m_port ? m_port->readAll() : QByteArray(); }

void RoutedPort::discardInput() {
    if (m_port) m_port->discardInput();
}

void RoutedPort::setDtr(bool on) {
    if (m_port) m_port->setDtr(on);
}

}  // namespace trv
