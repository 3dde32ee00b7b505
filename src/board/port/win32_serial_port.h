#pragma once

#include <QByteArray>
#include <QString>

#include "port/serial_port.h"

// SerialPort on the Win32 communications API, for Windows, where the program has no Qt serial
// port module. Port n is "\\.\COMn". Reads never block: the receive queue is polled with
// ClearCommError in short sleeps (WaitCommEvent is not used: under Wine it never reports bytes
// arriving from a pseudo-terminal, and polling works the same on real ports).
namespace trv {

class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override;
    int portNumber() const override { return m_number; }
    OpenFailure openFailure() const override { return m_failure; }
    bool lost() override;
    int baudRate() const override { return 9600; }
    bool write(const QByteArray& bytes) override;
    bool drain(int msecs) override;
    qint64 bytesWaiting() override;
    bool waitForInput(int msecs) override;
    QByteArray readAll() override;
    void discardInput() override;
    void setDtr(bool on) override;

    // The native name of port n, as CreateFileW takes it.
    static QString deviceName(int portNumber);

private:
    // Moves what the driver holds into m_received; false when the device went away.
    bool pull();
    // Closes the handle for good when the last call failed because the device is gone.
    bool checkGone(unsigned long error);

    void* m_handle = nullptr;  // HANDLE, kept opaque so that callers need no windows.h
    int m_number = 0;
    bool m_lost = false;
    bool m_timerRaised = false;
    QByteArray m_received;
    OpenFailure m_failure;
};

}  // namespace trv
