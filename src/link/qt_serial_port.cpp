#include "link/qt_serial_port.h"

#include <QDeadlineTimer>

#include "link/port_map.h"

#ifdef Q_OS_UNIX
#include <termios.h>
#endif

namespace trv {

QtSerialPort::QtSerialPort() = default;
QtSerialPort::~QtSerialPort() { close(); }

bool QtSerialPort::open(int portNumber) {
    close();
    const QString device = portDevice(portNumber);
    if (device.isEmpty()) return false;
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_port.clearError();
        return false;
    }
    const bool configured =
        m_port.setBaudRate(QSerialPort::Baud9600) && m_port.setDataBits(QSerialPort::Data8) &&
        m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_port.close();
        m_port.clearError();
        return false;
    }
    return true;
}

void QtSerialPort::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
}

bool QtSerialPort::isOpen() const { return m_port.isOpen(); }

int QtSerialPort::baudRate() const { return m_port.isOpen() ? int(m_port.baudRate()) : 9600; }

bool QtSerialPort::write(const QByteArray& bytes) {
    if (!m_port.isOpen()) return false;
    return m_port.write(bytes) == bytes.size();
}

bool QtSerialPort::drain(int msecs) {
    if (!m_port.isOpen()) return false;
    // Written bytes stay in Qt's buffer until a wait pushes them out, in as many rounds as
    // the system accepts; one flush() may leave part of a long run behind.
    QDeadlineTimer deadline(msecs);
    while (m_port.bytesToWrite() > 0) {
        if (deadline.hasExpired()) return false;
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime()))) {
            clearBenignError();
            if (m_port.bytesToWrite() > 0 && deadline.hasExpired()) return false;
        }
    }
#ifdef Q_OS_UNIX
    ::tcdrain(int(m_port.handle()));
#endif
    return true;
}

qint64 QtSerialPort::bytesWaiting() {
    if (!m_port.isOpen()) return 0;
    // bytesAvailable() only grows when a wait pulls the system's bytes in.
    m_port.waitForReadyRead(0);
    clearBenignError();
    return m_port.bytesAvailable();
}

bool QtSerialPort::waitForInput(int msecs) {
    if (!m_port.isOpen()) return false;
    const bool arrived = m_port.waitForReadyRead(msecs);
    clearBenignError();
    return arrived;
}

QByteArray QtSerialPort::readAll() {
    if (!m_port.isOpen()) return {};
    return m_port.readAll();
}

void QtSerialPort::discardInput() {
    if (!m_port.isOpen()) return;
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
    clearBenignError();
}

void QtSerialPort::setDtr(bool on) {
    if (!m_port.isOpen()) return;
    // A pseudo-terminal has no modem lines; the port stays usable all the same.
    m_port.setDataTerminalReady(on);
    clearBenignError();
}

void QtSerialPort::clearBenignError() {
    const auto e = m_port.error();
    if (e == QSerialPort::TimeoutError || e == QSerialPort::UnsupportedOperationError)
        m_port.clearError();
}

}  // namespace trv
