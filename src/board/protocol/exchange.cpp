#include "protocol/exchange.h"

#include <algorithm>

#include "port/serial_port.h"
#include "protocol/frames.h"

namespace trv {

Exchange::Exchange(SerialPort& port, Clock& clock, ExchangeObserver* observer)
    : m_port(port), m_clock(clock), m_observer(observer) {
    if (m_observer) m_observer->exchangeStarted();
}

Exchange::~Exchange() {
    if (m_observer) m_observer->exchangeEnded(m_timedOut);
}

void Exchange::waiting() {
    if (m_observer) m_observer->waiting();
}

bool Exchange::lineLost() {
    if (!m_port.lost()) return false;
    if (m_lostPort == 0) {
        m_lostPort = std::max(1, m_port.portNumber());
        if (m_observer) m_observer->portLost(m_lostPort);
    }
    return true;
}

bool Exchange::stopping() {
    if (!m_stopped && m_unstoppable == 0 && m_stopRequest && m_stopRequest->load())
        m_stopped = true;
    return m_stopped;
}

void Exchange::send(const QByteArray& bytes) {
    if (halted()) return;
    const Micros now = m_clock.now();
    m_lineClearAt = std::max(m_lineClearAt, now) + wire::lineTime(bytes.size(), m_port.baudRate());
    m_port.write(bytes);
    lineLost();
}

void Exchange::sendFrame(QByteArrayView command) { send(frames::frame(command)); }

void Exchange::sendBurst(QByteArrayView command, int count) { send(frames::burst(command, count)); }

void Exchange::waitUntil(Millis when) {
    for (Millis now = m_clock.now(); now < when && !halted(); now = m_clock.now()) {
        m_clock.sleep(std::min(kSlice, when - now));
        waiting();
    }
}

void Exchange::settle() {
    if (halted()) return;
    // Frames queued in Qt's buffer only move while the port is waited on.
    m_port.drain(int(kSettle.count()));
    waitUntil(m_clock.now() + kSettle);
}

void Exchange::discardInput() {
    if (!halted()) m_port.discardInput();
}

Millis Exchange::beginReplyWait() {
    // Long enough for the longest run at the slowest rate used. A stopped exchange leaves
    // what is still queued to be dropped when the port closes.
    if (!stopping()) m_port.drain(10000);
    waitUntil(std::chrono::ceil<Millis>(m_lineClearAt));
    return m_clock.now();
}

Exchange::Outcome Exchange::waitReply(const std::function<bool(qint64)>& test, Millis start) {
    for (;;) {
        if (halted()) return Outcome::Lost;
        const Millis elapsed = m_clock.now() - start;
        if (elapsed > kReplyLimit) {
            m_port.readAll();
            m_timedOut = true;
            return Outcome::TimedOut;
        }
        if (test(m_port.bytesWaiting())) return Outcome::Ready;
        const Millis remaining = kReplyLimit - elapsed + Millis(1);
        const int slice = int(std::min(kSlice, remaining).count());
        if (m_port.isOpen())
            m_port.waitForInput(slice);
        else
            m_clock.sleep(Millis(slice));
        waiting();
    }
}

Exchange::Outcome Exchange::waitReply(const std::function<bool(qint64)>& test) {
    return waitReply(test, beginReplyWait());
}

QByteArray Exchange::readReply() { return halted() ? QByteArray() : m_port.readAll(); }

QString portLostReason(int portNumber) {
    return QStringLiteral("le port COM%1 a été perdu (adaptateur débranché ?)").arg(portNumber);
}

QString lostPortText(int portNumber) {
    QString text = portLostReason(portNumber);
    text.front() = text.front().toUpper();
    return text + QStringLiteral(". Rebranchez-le puis validez à nouveau la configuration.");
}

}  // namespace trv
