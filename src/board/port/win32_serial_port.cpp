#include "port/win32_serial_port.h"

#include <windows.h>

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <utility>

namespace trv {
namespace {

// Poll slice while waiting for bytes: short against a frame's 8.3 ms on the line at 9600 baud,
// long enough to leave the processor alone.
constexpr int kPollMs = 2;

QString systemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString s = n ? QString::fromWCharArray(text, int(n)).trimmed()
                  : QStringLiteral("erreur %1").arg(error);
    if (text) LocalFree(text);
    return s;
}

// The errors with which a port whose device went away (a USB adapter pulled out) answers.
bool meansGone(DWORD error) {
    switch (error) {
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_OPERATION_ABORTED:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_DEVICE_NOT_CONNECTED:
            return true;
        default:
            return false;
    }
}

// Why COMn did not open or could not be set up, in the causes every port reports.
OpenFailure openFailureOf(int portNumber, DWORD error) {
    OpenFacts facts;
    facts.linkExists = true;  // on Windows the port is its native name
    facts.target = facts.device = QStringLiteral("COM%1").arg(portNumber);
    facts.deviceNotFound = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    // Windows opens a port for one program at a time and answers any other with this.
    facts.permissionError = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    facts.systemText = systemText(error);
    return classifyOpenFailure(facts);
}

}  // namespace

QString Win32SerialPort::deviceName(int portNumber) {
    return QStringLiteral("\\\\.\\COM%1").arg(portNumber);
}

Win32SerialPort::~Win32SerialPort() { close(); }

bool Win32SerialPort::open(int portNumber) {
    close();
    m_number = portNumber;
    m_lost = false;
    m_failure = {};
    m_received.clear();
    const QString name = deviceName(portNumber);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()),
                           GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_failure = openFailureOf(portNumber, GetLastError());
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS timeouts{};
    // Reads return at once with what is there; writes block until the run is handed over.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    const bool configured = GetCommState(h, &dcb) && [&] {
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        return SetCommState(h, &dcb) != 0;
    }() && SetCommTimeouts(h, &timeouts);
    if (!configured) {
        m_failure = openFailureOf(portNumber, GetLastError());
        CloseHandle(h);
        return false;
    }
    SetupComm(h, 4096, 4096);
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    // Sleep() rounds up to the system's 15.6 ms tick unless asked for 1 ms; a reply that
    // waits a whole tick per poll would stretch every exchange.
    m_timerRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
    m_handle = h;
    return true;
}

void Win32SerialPort::close() {
    if (m_handle) {
        CloseHandle(static_cast<HANDLE>(m_handle));
        m_handle = nullptr;
    }
    if (m_timerRaised) {
        timeEndPeriod(1);
        m_timerRaised = false;
    }
}

bool Win32SerialPort::isOpen() const { return m_handle != nullptr; }

bool Win32SerialPort::checkGone(unsigned long error) {
    if (!meansGone(error)) return false;
    m_lost = true;
    close();
    return true;
}

bool Win32SerialPort::lost() {
    if (m_lost) return true;
    if (!m_handle) return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(static_cast<HANDLE>(m_handle), &errors, &status)) return false;
    return checkGone(GetLastError());
}

bool Win32SerialPort::write(const QByteArray& bytes) {
    if (!m_handle) return false;
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(static_cast<HANDLE>(m_handle), bytes.constData() + sent,
                       DWORD(bytes.size() - sent), &n, nullptr)) {
            checkGone(GetLastError());
            return false;
        }
        sent += n;
    }
    return true;
}

bool Win32SerialPort::drain(int msecs) {
    if (!m_handle) return false;
    QDeadlineTimer deadline(msecs);
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(static_cast<HANDLE>(m_handle), &errors, &status)) {
            checkGone(GetLastError());
            return false;
        }
        if (status.cbOutQue == 0) return true;
        if (deadline.hasExpired()) return false;
        QThread::msleep(kPollMs);
    }
}

bool Win32SerialPort::pull() {
    if (!m_handle) return false;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(static_cast<HANDLE>(m_handle), &errors, &status)) {
        checkGone(GetLastError());
        return false;
    }
    if (status.cbInQue == 0) return true;
    QByteArray chunk(qsizetype(status.cbInQue), Qt::Uninitialized);
    DWORD n = 0;
    if (!ReadFile(static_cast<HANDLE>(m_handle), chunk.data(), DWORD(chunk.size()), &n, nullptr)) {
        checkGone(GetLastError());
        return false;
    }
    m_received.append(chunk.constData(), qsizetype(n));
    return true;
}

qint64 Win32SerialPort::bytesWaiting() {
    pull();
    return m_received.size();
}

bool Win32SerialPort::waitForInput(int msecs) {
    const qsizetype before = m_received.size();
    QDeadlineTimer deadline(std::max(msecs, 0));
    for (;;) {
        if (!pull()) return false;
        if (m_received.size() > before) return true;
        if (deadline.hasExpired()) return false;
        QThread::msleep(std::min<qint64>(kPollMs, deadline.remainingTime()));
    }
}

QByteArray Win32SerialPort::readAll() {
    pull();
    return std::exchange(m_received, {});
}

void Win32SerialPort::discardInput() {
    if (!m_handle) return;
    PurgeComm(static_cast<HANDLE>(m_handle), PURGE_RXCLEAR | PURGE_RXABORT);
    m_received.clear();
}

void Win32SerialPort::setDtr(bool on) {
    if (!m_handle) return;
    // A pseudo-terminal behind Wine has no modem lines (ERROR_NOT_SUPPORTED); the port stays
    // usable all the same, as a real one without DTR wiring does.
    EscapeCommFunction(static_cast<HANDLE>(m_handle), on ? SETDTR : CLRDTR);
}

}  // namespace trv
