#pragma once

#include <QString>

#include "protocol/exchange.h"

class QWidget;

namespace trv {

class Link;
class Prompts;

// What a window does while it drives an exchange with the board: a busy cursor, painting
// between the slices of a wait (user input waits until the end), the link counted busy so
// that no window closes under the exchange, and the operation named in the traffic trace.
class WindowObserver final : public ExchangeObserver {
public:
    // window: the name the window's images carry in the history ("compteur", ...).
    WindowObserver(Link& link, Prompts& prompts, QString operation, QString window)
        : m_link(link),
          m_prompts(prompts),
          m_operation(std::move(operation)),
          m_window(std::move(window)) {}
    void exchangeStarted() override;
    void waiting() override;
    // The port-open flag drops: the board windows wait for the settings to be validated again.
    void portLost(int portNumber) override;
    void exchangeEnded(bool timedOut) override;
    // Keeps every image in the link's history. A history that cannot be written never stops
    // the operation: the technician hears of it once a run, after the exchange.
    void imageTransferred(const CellTexts& cells, bool written) override;

    // How the operation ended, for the traffic trace. Without it, an operation whose reply
    // wait ran out failed and any other is "terminée".
    void setOutcome(const QString& outcome, bool failed);

private:
    Link& m_link;
    Prompts& m_prompts;
    QString m_operation;
    QString m_outcome;
    bool m_failed = false;
    QString m_window;
    QString m_historyWarning;
    int m_lostPort = 0;
};

// The name a board window's images carry in the history: "compteur", "luminosité",
// "microswitches".
QString historyWindowName(const QWidget* window);

namespace detail {
struct WindowObserverHolder {
    WindowObserver observer;
};
}  // namespace detail

// An exchange run from a window, on the link's port and clock, with the window observer;
// the window's prompts tell of a history that cannot be written.
// caption: the button or menu entry that started it; with the window's title it names the
// operation in the traffic trace.
class WindowExchange : private detail::WindowObserverHolder, public Exchange {
public:
    WindowExchange(Link& link, Prompts& prompts, const QWidget* window, const QString& caption);
    void setOutcome(const QString& outcome, bool failed) { observer.setOutcome(outcome, failed); }
};

}  // namespace trv
