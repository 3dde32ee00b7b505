#include "port/qt_serial_port.h"

#include <QDeadlineTimer>

#include "port/port_map.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <termios.h>
#endif

namespace trv {
namespace {
QString linkOf(int portNumber) {
#ifdef Q_OS_WIN
    Q_UNUSED(portNumber);
    return {};
#else
    return portLinkPath(portNumber);
#endif
}
}  // namespace

QtSerialPort::QtSerialPort() {
    // With an event loop running, Qt keeps retrying a dead device from its notifiers (a
    // whole core spent on failing writes); a port whose device went away closes. Queued, so
    // that Qt is out of its own notifier when the port closes.
    QObject::connect(
        &m_port, &QSerialPort::errorOccurred, &m_port,
        [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError ||
                e == QSerialPort::WriteError)
                lost();
        },
        Qt::QueuedConnection);
}
QtSerialPort::~QtSerialPort() { close(); }

bool QtSerialPort::open(int portNumber) {
    close();
    m_number = portNumber;
    m_lost = false;
    m_failure = {};
    const QString device = portDevice(portNumber);
    if (device.isEmpty()) {
        m_failure = classifyOpenFailure(
            observeOpenFailure(linkOf(portNumber), true, false, {}, defaultLockFolders()));
        return false;
    }
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto e = m_port.error();
        m_failure = classifyOpenFailure(observeOpenFailure(
            linkOf(portNumber), e == QSerialPort::DeviceNotFoundError,
            e == QSerialPort::PermissionError, m_port.errorString(), defaultLockFolders()));
        m_port.clearError();
        return false;
    }
    const bool configured =
        m_port.setBaudRate(QSerialPort::Baud9600) && m_port.setDataBits(QSerialPort::Data8) &&
        m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_failure = classifyOpenFailure(
            observeOpenFailure(linkOf(portNumber), false, false, m_port.errorString(), {}));
        m_port.close();
        m_port.clearError();
        return false;
    }
    return true;
}

bool QtSerialPort::lost() {
    if (m_lost) return true;
    if (!m_port.isOpen()) return false;
    if (m_port.error() != QSerialPort::ResourceError && !lineHungUp()) return false;
    m_lost = true;
    // Closing drops what Qt still holds to write, so nothing is retried on the dead device.
    m_port.close();
    m_port.clearError();
    return true;
}

bool QtSerialPort::lineHungUp() const {
#ifdef Q_OS_UNIX
    // A device that went away hangs up: poll reports it without being asked.
    pollfd p{int(m_port.handle()), 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false;
#endif
}

void QtSerialPort::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
}

bool QtSerialPort::isOpen() const { return m_port.isOpen(); }

int QtSerialPort::baudRate() const { return m_port.isOpen() ? int(m_port.baudRate()) : 9600; }

bool QtSerialPort::write(const QByteArray& bytes) {
    if (!m_port.isOpen()) return false;
    const bool queued = m_port.write(bytes) == bytes.size();
    return queued && !lost();
}

bool QtSerialPort::drain(int msecs) {
    if (!m_port.isOpen()) return false;
    // Written bytes stay in Qt's buffer until a wait pushes them out, in as many rounds as
    // the system accepts; one flush() may leave part of a long run behind.
    QDeadlineTimer deadline(msecs);
    while (m_port.bytesToWrite() > 0) {
        if (deadline.hasExpired()) return false;
        if (!m_port.waitForBytesWritten(int(deadline.remainingTime()))) {
            // A dead device fails every wait at once; never go round on it.
            if (lost()) return false;
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
    if (lost()) return 0;
    return m_port.bytesAvailable();
}

bool QtSerialPort::waitForInput(int msecs) {
    if (!m_port.isOpen()) return false;
    const bool arrived = m_port.waitForReadyRead(msecs);
    clearBenignError();
    return arrived && !lost();
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
