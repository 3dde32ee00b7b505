#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "port/port_assignment.h"
#include "port/serial_port.h"

// The port the programs open: COM n leads to a local device or, through its address file, to
// a serial device server; this port looks at which when it opens and hands every other call
// to the port it opened. An address may also be opened directly (trvctl -p rfc2217://…).
namespace trv {

// The port that reaches an address: a NetworkPort (Telnet COM Port Control or raw TCP).
std::unique_ptr<SerialPort> networkPort(const NetworkAddress& address);

class RoutedPort final : public SerialPort {
public:
    // Makes the port that reaches an address; null when this program cannot reach one.
    using NetworkFactory = std::function<std::unique_ptr<SerialPort>(const NetworkAddress&)>;
    // Makes the system's port for local devices.
    using LocalFactory = std::function<std::unique_ptr<SerialPort>()>;
    // Where COM n's association is read.
    using AddressLookup = std::function<StoredAddress(int)>;

    // The programs' port: the system's port, and networkPort() for addresses.
    RoutedPort();
    explicit RoutedPort(NetworkFactory network);
    RoutedPort(NetworkFactory network, LocalFactory local, AddressLookup lookup);
    ~RoutedPort() override;

    bool open(int portNumber) override;
    // Opens the server at the address itself; portNumber() is then 0.
    bool openAddress(const NetworkAddress& address);
    void close() override;
    bool isOpen() const override;
    int portNumber() const override { return m_number; }
    OpenFailure openFailure() const override;
    bool lost() override;
    QString lostReason() const override;
    std::optional<NetworkAddress> networkAddress() const override { return m_address; }
    int baudRate() const override;
    bool write(const QByteArray& bytes) override;
    bool drain(int msecs) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int msecs) override;
    QByteArray readAll() override;
    void discardInput() override;
    void setDtr(bool on) override;

private:
    bool openOnNetwork(const NetworkAddress& address, int portNumber);
    void refuse(const QString& device, const QString& why);

    NetworkFactory m_network;
    LocalFactory m_local;
    AddressLookup m_lookup;
    std::unique_ptr<SerialPort> m_port;  // the port last opened, open or not
    std::optional<NetworkAddress> m_address;
    int m_number = 0;
    std::optional<OpenFailure> m_refusal;  // why no port could even be made
};

}  // namespace trv
