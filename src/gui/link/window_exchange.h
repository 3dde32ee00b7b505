#pragma once

#include <QString>

#include "protocol/exchange.h"
#include "protocol/history_observer.h"

class QWidget;

namespace trv {

class Link;
class Prompts;

// What a window does while it drives an exchange with the board: a busy cursor, painting
// between the slices of a wait (user input waits until the end), the link counted busy so
// that no window closes under the exchange, the operation named in the traffic trace, and
// every image kept in the link's history.
class WindowObserver final : public HistoryObserver {
public:
    // window: the name the window's images carry in the history ("compteur", ...).
    WindowObserver(Link& link, Prompts& prompts, QString operation, QString window);
    void exchangeStarted() override;
    void waiting() override;
    // The port-open flag drops: the board windows wait for the settings to be validated again.
    void portLost(int portNumber) override;
    void exchangeEnded(bool timedOut) override;

    // How the operation ended, for the traffic trace. Without it, an operation whose reply
    // wait ran out failed and any other is "terminée".
    void setOutcome(const QString& outcome, bool failed);

protected:
    // The technician hears of a history that cannot be written once a run, after the exchange.
    void historyFailed(const QString& error) override;

private:
    Link& m_link;
    Prompts& m_prompts;
    QString m_operation;
    QString m_outcome;
    bool m_failed = false;
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
