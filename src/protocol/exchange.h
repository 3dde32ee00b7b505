#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "protocol/clock.h"

namespace trv {

class Link;
class SerialPort;

// One exchange with the board, from a handler's first frame to its last reply. While it
// lives the program shows a busy cursor, keeps painting between wait slices, holds user
// input back until the end, and the link counts as busy so no window closes under it.
class Exchange {
public:
    static constexpr Millis kSettle{500};
    static constexpr Millis kReplyLimit{1000};

    // caption: the button or menu entry that started the exchange; with the window's title
    // it names the operation in the traffic trace.
    Exchange(Link& link, QWidget* window, const QString& caption = {});
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    QWidget* window() const { return m_window; }
    SerialPort& port() { return m_port; }

    // Hands a run of bytes to the port in one write.
    void send(const QByteArray& bytes);
    void sendFrame(QByteArrayView command);
    void sendBurst(QByteArrayView command, int count);

    Millis now() { return m_clock.now(); }
    void settle();  // the 0.5 s settle wait
    void discardInput();

    // The reply wait starts once everything sent has left the line: drained from the
    // port and no earlier than its line time after it was handed over.
    Millis beginReplyWait();
    enum class Outcome { Ready, TimedOut };
    // Waits until test(count of waiting bytes) holds or more than 1 s has passed since
    // start; the time-out is tested first. A time-out drains what arrived.
    Outcome waitReply(const std::function<bool(qint64)>& test, Millis start);
    Outcome waitReply(const std::function<bool(qint64)>& test);
    QByteArray readReply();

    // How the operation ended, for the traffic trace. Without it, an operation whose reply
    // wait ran out failed and any other is "terminée".
    void setOutcome(const QString& outcome, bool failed);

    // Tests replace the clock and the painting between slices.
    static void setClockForTesting(Clock* clock);
    static void setPumpForTesting(std::function<void()> pump);

private:
    void waitUntil(Millis when);
    void pump();
    Micros lineTime(qint64 bytes) const;

    Link& m_link;
    SerialPort& m_port;
    Clock& m_clock;
    QPointer<QWidget> m_window;
    Micros m_lineClearAt{0};
    bool m_timedOut = false;
    QString m_outcome;
    bool m_failed = false;
};

}  // namespace trv
