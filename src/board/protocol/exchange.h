#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <functional>

#include "image/eeprom_image.h"
#include "image/image_history.h"
#include "protocol/clock.h"
#include "protocol/wire.h"

namespace trv {

class SerialPort;

// What the one driving an exchange wants to hear about it. A window keeps painting between
// the slices of a wait, shows a busy cursor and refuses to close meanwhile; a command-line
// run needs none of it. Called on the exchange's own thread.
class ExchangeObserver {
public:
    virtual ~ExchangeObserver() = default;
    virtual void exchangeStarted() {}
    // Between two slices of a wait (at most kSlice apart).
    virtual void waiting() {}
    // The port went away under the exchange (an adapter pulled out); said once.
    virtual void portLost(int portNumber) { Q_UNUSED(portNumber); }
    // timedOut: a reply wait of the exchange ran out.
    virtual void exchangeEnded(bool timedOut) { Q_UNUSED(timedOut); }
    // A whole image the board sent, or took and acknowledged: the moment to keep a copy,
    // before the operation goes on. kind: what the image was to the operation.
    virtual void imageTransferred(const CellTexts& cells, history::Direction kind) {
        Q_UNUSED(cells);
        Q_UNUSED(kind);
    }
};

// One exchange with the board, from an operation's first frame to its last reply, on one
// port and one clock. Nothing is shared between exchanges, so several can run at once on
// several threads, each with its own port. A port that goes away under it ends the exchange
// at once: every later step returns without waiting and without touching the port.
class Exchange {
public:
    static constexpr Millis kSettle{500};
    static constexpr Millis kReplyLimit = wire::kReplyLimit;
    // Longest single block on the port, so an observer hears from a wait this often.
    static constexpr Millis kSlice{40};

    Exchange(SerialPort& port, Clock& clock, ExchangeObserver* observer = nullptr);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    SerialPort& port() { return m_port; }
    Clock& clock() { return m_clock; }

    // Hands a run of bytes to the port in one write.
    void send(const QByteArray& bytes);
    void sendFrame(QByteArrayView command);
    void sendBurst(QByteArrayView command, int count);

    Millis now() { return m_clock.now(); }
    // The whole-image transfers report each image that went through.
    void imageTransferred(const CellTexts& cells, history::Direction kind) {
        if (m_observer) m_observer->imageTransferred(cells, kind);
    }
    void settle();  // the 0.5 s settle wait
    void discardInput();

    // The reply wait starts once everything sent has left the line: drained from the
    // port and no earlier than its line time after it was handed over.
    Millis beginReplyWait();
    enum class Outcome { Ready, TimedOut, Lost };
    // Waits until test(count of waiting bytes) holds or more than 1 s has passed since
    // start; the time-out is tested first. A time-out drains what arrived. A lost port
    // ends the wait at once.
    Outcome waitReply(const std::function<bool(qint64)>& test, Millis start);
    Outcome waitReply(const std::function<bool(qint64)>& test);
    QByteArray readReply();

    // The port went away during this exchange; lostPortNumber() says which one.
    bool portLost() const { return m_lostPort != 0; }
    int lostPortNumber() const { return m_lostPort; }

    // A stop asked from outside (a command line's Ctrl+C), looked at before every frame and
    // between the slices of every wait. Once it is seen the exchange ends as a lost port
    // does: nothing more is sent and every wait returns at once, so an operation stops at a
    // frame boundary. Without one the exchange never stops.
    void stopWhen(const std::atomic<bool>* requested) { m_stopRequest = requested; }
    // The stop was seen: the operation ended short of its last frame.
    bool stopped() const { return m_stopped; }
    // True (and the exchange stopped) when a stop is asked and may be taken now.
    bool stopping();
    // A transaction that runs whole (the whole-image transfers, a programming): a stop asked
    // while it runs is taken at its end.
    class Unstoppable {
    public:
        explicit Unstoppable(Exchange& e) : m_exchange(e) { ++m_exchange.m_unstoppable; }
        ~Unstoppable() { --m_exchange.m_unstoppable; }
        Unstoppable(const Unstoppable&) = delete;
        Unstoppable& operator=(const Unstoppable&) = delete;

    private:
        Exchange& m_exchange;
    };

private:
    // Looks at the port now; the first loss is told to the observer.
    bool lineLost();
    // The line is lost or the exchange stopped: nothing more goes through it.
    bool halted() { return lineLost() || stopping(); }
    void waitUntil(Millis when);
    void waiting();

    SerialPort& m_port;
    Clock& m_clock;
    ExchangeObserver* m_observer;
    Micros m_lineClearAt{0};
    bool m_timedOut = false;
    int m_lostPort = 0;
    const std::atomic<bool>* m_stopRequest = nullptr;
    bool m_stopped = false;
    int m_unstoppable = 0;
};

// A port that went away during an operation, in the one wording of the windows and trvctl:
// "le port COM3 a été perdu (adaptateur débranché ?)".
QString portLostReason(int portNumber);
// What a window tells the technician: the reason, and what to do about it.
QString lostPortText(int portNumber);

}  // namespace trv
