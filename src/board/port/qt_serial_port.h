#pragma once

#include <QSerialPort>

#include "port/serial_port.h"

namespace trv {

// SerialPort over QSerialPort, used without an event loop: every transfer is pulled
// through the blocking wait calls, which is the only way bytes move then.
class QtSerialPort final : public SerialPort {
public:
    QtSerialPort();
    ~QtSerialPort() override;

    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override;
    int portNumber() const override { return m_number; }
    OpenFailure openFailure() const override { return m_failure; }
    bool lost() override;
    int baudRate() const override;
    bool write(const QByteArray& bytes) override;
    bool drain(int msecs) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int msecs) override;
    QByteArray readAll() override;
    void discardInput() override;
    void setDtr(bool on) override;

private:
    void clearBenignError();
    bool lineHungUp() const;
    QSerialPort m_port;
    int m_number = 0;
    bool m_lost = false;
    OpenFailure m_failure;
};

}  // namespace trv
