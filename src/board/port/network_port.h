#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <functional>
#include <memory>

#include "port/network_address.h"
#include "port/serial_port.h"
#include "port/telnet_codec.h"

class QTcpSocket;

namespace trv {

// SerialPort over a TCP connection to a serial device server. rfc2217:// sets the server's
// UART to 9600 8N1 through Telnet COM Port Control and carries the board bytes with 0xFF
// doubled; tcp:// carries them as they are and leaves the line to the server's settings.
// Used without an event loop, like the serial port: every transfer is pulled through the
// socket's blocking waits, so it works in any thread (the socket is made by open(), in the
// thread that calls it) and in the window's thread.
class NetworkPort final : public SerialPort {
public:
    // Connection and, for rfc2217, the server's answers to the line settings.
    static constexpr int kOpenLimitMs = 3000;

    explicit NetworkPort(NetworkAddress address);
    ~NetworkPort() override;

    const NetworkAddress& address() const { return m_address; }

    // n: the COM number that led to the address, 0 when it was given directly.
    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override;
    int portNumber() const override { return m_number; }
    OpenFailure openFailure() const override { return m_failure; }
    bool lost() override;
    QString lostReason() const override { return m_lostReason; }
    int baudRate() const override { return 9600; }
    bool write(const QByteArray& bytes) override;
    bool drain(int msecs) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int msecs) override;
    QByteArray readAll() override;
    void discardInput() override;
    void setDtr(bool on) override;

private:
    bool telnet() const { return m_address.kind == NetworkAddress::Kind::Rfc2217; }
    bool connectToServer(const QDeadlineTimer& deadline);
    bool connectionFailed();  // tells why the socket did not connect; false
    bool negotiate(const QDeadlineTimer& deadline);
    // Takes in what the socket holds, after waiting at most msecs for it; false when the
    // connection is gone or the server broke the protocol (the port is then lost).
    bool pull(int msecs);
    void decode(const QByteArray& bytes);
    void answer(const telnet::Event& event);
    bool send(const QByteArray& bytes);
    void fail(const QString& text);
    void loseConnection(const QString& reason);

    NetworkAddress m_address;
    std::unique_ptr<QTcpSocket> m_socket;
    telnet::Decoder m_decoder;
    QByteArray m_input;  // board bytes taken in, not yet read
    int m_number = 0;
    bool m_lost = false;
    QString m_lostReason;
    OpenFailure m_failure;
    // What the server agreed to and answered during the negotiation.
    bool m_comPortAgreed = false;
    bool m_comPortRefused = false;
    int m_settingsAnswered = 0;
    // A discard's purge: sent and not yet confirmed; confirmed once on this connection; never
    // confirmed in time, so no discard waits for it again.
    bool m_purgePending = false;
    bool m_purgeAnswered = false;
    bool m_purgeUnanswered = false;
    // Options the server asked about that were answered already, so that a server repeating
    // itself gets no answer loop.
    QList<std::pair<quint8, quint8>> m_answered;
};

}  // namespace trv
