#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "port/network_address.h"

// Debian's ser2net (4.3) on 127.0.0.1 in front of serial devices (the test's pseudo-terminals):
// each device gets one accepter per kind of network port, on free ports, from a generated
// configuration. Started in the foreground and stopped by its process id.
namespace trv::test {

class Ser2net {
public:
    // Where the program is, empty when it is not installed.
    static QString program();

    // lineSettings: the connector's own line settings ("9600n81"), which rfc2217 changes.
    explicit Ser2net(const QStringList& devices, const QString& lineSettings = "9600n81");
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Writes the configuration, starts the server and waits until every accepter listens.
    bool start();
    bool running() const;
    // Why it did not start.
    QString error() const { return m_error; }
    qint64 pid() const;
    NetworkAddress address(int device, NetworkAddress::Kind kind) const;
    // Killed outright, as a crashed or unplugged server: every connection drops at once.
    void kill();
    // Asked to end, as the system stops it.
    void stop();

private:
    bool startOnce();
    bool listening(quint16 port) const;
    QStringList m_devices;
    QString m_lineSettings;
    QList<quint16> m_ports;  // rfc2217 then tcp, device by device
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
};

// A port on 127.0.0.1 that nothing listens on, as free as the system says it is now.
quint16 freeLocalPort();

}  // namespace trv::test
