#pragma once

#include <QString>

#include "protocol/exchange.h"

class QWidget;

namespace trv {

class Link;

// What a window does while it drives an exchange with the board: a busy cursor, painting
// between the slices of a wait (user input waits until the end), the link counted busy so
// that no window closes under the exchange, and the operation named in the traffic trace.
class WindowObserver final : public ExchangeObserver {
public:
    WindowObserver(Link& link, QString operation)
        : m_link(link), m_operation(std::move(operation)) {}
    void exchangeStarted() override;
    void waiting() override;
    void exchangeEnded(bool timedOut) override;

    // How the operation ended, for the traffic trace. Without it, an operation whose reply
    // wait ran out failed and any other is "terminée".
    void setOutcome(const QString& outcome, bool failed);

private:
    Link& m_link;
    QString m_operation;
    QString m_outcome;
    bool m_failed = false;
};

namespace detail {
struct WindowObserverHolder {
    WindowObserver observer;
};
}  // namespace detail

// An exchange run from a window, on the link's port and clock, with the window observer.
// caption: the button or menu entry that started it; with the window's title it names the
// operation in the traffic trace.
class WindowExchange : private detail::WindowObserverHolder, public Exchange {
public:
    WindowExchange(Link& link, const QWidget* window, const QString& caption);
    void setOutcome(const QString& outcome, bool failed) { observer.setOutcome(outcome, failed); }
};

}  // namespace trv
