#include "protocol/exchange.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>

#include "link/link.h"
#include "protocol/frames.h"

namespace trv {
namespace {
// Longest single block on the port, so the windows keep painting during a wait.
constexpr Millis kSlice{40};

Clock*& clockOverride() {
    static Clock* c = nullptr;
    return c;
}
Clock& activeClock() {
    static SteadyClock steady;
    return clockOverride() ? *clockOverride() : steady;
}
std::function<void()>& pumpOverride() {
    static std::function<void()> p;
    return p;
}
}  // namespace

void Exchange::setClockForTesting(Clock* clock) { clockOverride() = clock; }
void Exchange::setPumpForTesting(std::function<void()> pump) { pumpOverride() = std::move(pump); }

static QString operationName(const QWidget* window, const QString& caption) {
    QString title = window ? window->windowTitle().trimmed() : QString();
    if (title.endsWith(u'.')) title.chop(1);
    const QString what = caption.trimmed();
    if (title.isEmpty()) return what.isEmpty() ? QStringLiteral("Échange") : what;
    return what.isEmpty() ? title : title + QStringLiteral(" : ") + what;
}

Exchange::Exchange(Link& link, QWidget* window, const QString& caption)
    : m_link(link), m_port(link.port()), m_clock(activeClock()), m_window(window) {
    m_link.beginExchange();
    if (m_link.tap().observer()) m_link.tap().beginOperation(operationName(window, caption));
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

Exchange::~Exchange() {
    if (m_link.tap().observer()) {
        if (!m_outcome.isEmpty())
            m_link.tap().endOperation(m_outcome, m_failed);
        else if (m_timedOut)
            m_link.tap().endOperation(QStringLiteral("échec : la carte n'a pas répondu à temps"),
                                      true);
        else
            m_link.tap().endOperation(QStringLiteral("terminée"), false);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
    m_link.endExchange();
}

void Exchange::pump() {
    if (pumpOverride()) {
        pumpOverride()();
        return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

Micros Exchange::lineTime(qint64 bytes) const {
    // Ten bits a byte: start, eight data bits, stop. Kept in microseconds so that a run of
    // short frames does not add up rounding.
    const qint64 bitsPerSecond = std::max(1, m_port.baudRate());
    return Micros(bytes * 10 * 1'000'000 / bitsPerSecond);
}

void Exchange::send(const QByteArray& bytes) {
    const Micros now = m_clock.now();
    m_lineClearAt = std::max(m_lineClearAt, now) + lineTime(bytes.size());
    m_port.write(bytes);
}

void Exchange::sendFrame(QByteArrayView command) { send(frames::frame(command)); }

void Exchange::sendBurst(QByteArrayView command, int count) { send(frames::burst(command, count)); }

void Exchange::waitUntil(Millis when) {
    for (Millis now = m_clock.now(); now < when; now = m_clock.now()) {
        m_clock.sleep(std::min(kSlice, when - now));
        pump();
    }
}

void Exchange::settle() {
    // Frames queued in Qt's buffer only move while the port is waited on.
    m_port.drain(int(kSettle.count()));
    waitUntil(m_clock.now() + kSettle);
}

void Exchange::discardInput() { m_port.discardInput(); }

Millis Exchange::beginReplyWait() {
    // Long enough for the longest run at the slowest rate used.
    m_port.drain(10000);
    waitUntil(std::chrono::ceil<Millis>(m_lineClearAt));
    return m_clock.now();
}

Exchange::Outcome Exchange::waitReply(const std::function<bool(qint64)>& test, Millis start) {
    for (;;) {
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
        pump();
    }
}

Exchange::Outcome Exchange::waitReply(const std::function<bool(qint64)>& test) {
    return waitReply(test, beginReplyWait());
}

QByteArray Exchange::readReply() { return m_port.readAll(); }

void Exchange::setOutcome(const QString& outcome, bool failed) {
    m_outcome = outcome;
    m_failed = failed;
}

}  // namespace trv
