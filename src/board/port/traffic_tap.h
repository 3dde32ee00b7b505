#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>

#include "port/serial_port.h"

// A window on the port's traffic: every run of bytes written, every run taken in (read or
// discarded) and the operations that frame them. Ports report nothing while no one watches,
// so the tap costs one test per call then.
namespace trv {

class TrafficObserver {
public:
    using Time = std::chrono::microseconds;  // steady clock, since its epoch

    virtual ~TrafficObserver() = default;
    virtual void operationStarted(const QString& name, Time at) = 0;
    virtual void operationEnded(const QString& outcome, bool failed, Time at) = 0;
    virtual void bytesSent(const QByteArray& bytes, Time at, int baudRate) = 0;
    // Every read and discard is reported, empty ones too: they are the moments the program
    // looked for replies. discarded: the program dropped these bytes unread.
    virtual void bytesReceived(const QByteArray& bytes, Time at, bool discarded) = 0;
    // The port was opened or closed: no reply to what went before can come any more.
    virtual void portReset(Time at) = 0;
};

// Wraps the program's port and reports its traffic to the observer, when there is one.
class TrafficTap final : public SerialPort {
public:
    explicit TrafficTap(std::unique_ptr<SerialPort> port);

    void setObserver(TrafficObserver* observer) { m_observer = observer; }
    TrafficObserver* observer() const { return m_observer; }

    // What the running operation is called (the button or command that started it) and
    // how it ended.
    void beginOperation(const QString& name);
    void endOperation(const QString& outcome, bool failed);

    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override { return m_port->isOpen(); }
    int portNumber() const override { return m_port->portNumber(); }
    OpenFailure openFailure() const override { return m_port->openFailure(); }
    bool lost() override { return m_port->lost(); }
    QString lostReason() const override { return m_port->lostReason(); }
    int baudRate() const override { return m_port->baudRate(); }
    bool write(const QByteArray& bytes) override;
    bool drain(int msecs) override { return m_port->drain(msecs); }
    qint64 bytesWaiting() override { return m_port->bytesWaiting(); }
    bool waitForInput(int msecs) override { return m_port->waitForInput(msecs); }
    QByteArray readAll() override;
    void discardInput() override;
    void setDtr(bool on) override { m_port->setDtr(on); }

private:
    static TrafficObserver::Time now();

    std::unique_ptr<SerialPort> m_port;
    TrafficObserver* m_observer = nullptr;
};

}  // namespace trv
