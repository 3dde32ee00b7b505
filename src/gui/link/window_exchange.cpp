#include "link/window_exchange.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include "link/link.h"
#include "ui/prompts.h"

namespace trv {
namespace {
QString operationName(const QWidget* window, const QString& caption) {
    QString title = window ? window->windowTitle().trimmed() : QString();
    if (title.endsWith(u'.')) title.chop(1);
    const QString what = caption.trimmed();
    if (title.isEmpty()) return what.isEmpty() ? QStringLiteral("Échange") : what;
    return what.isEmpty() ? title : title + QStringLiteral(" : ") + what;
}
}  // namespace

QString historyWindowName(const QWidget* window) {
    const QString name = window ? window->objectName() : QString();
    if (name == QLatin1String("dump_24c01")) return QStringLiteral("compteur");
    if (name == QLatin1String("LUM")) return QStringLiteral("luminosité");
    if (name == QLatin1String("SW")) return QStringLiteral("microswitches");
    return name.isEmpty() ? QStringLiteral("grille") : name;
}

WindowObserver::WindowObserver(Link& link, Prompts& prompts, QString operation, QString window)
    : HistoryObserver([&link]() -> history::ImageHistory& { return link.imageHistory(); },
                      link.portNumber(), std::move(window)),
      m_link(link),
      m_prompts(prompts),
      m_operation(std::move(operation)) {
    nameAddress(link.port().networkAddress());
}

void WindowObserver::historyFailed(const QString& error) {
    if (m_link.firstHistoryFailure())
        m_historyWarning = error + QStringLiteral(
                                       "\nLes lectures et les programmations continuent sans "
                                       "historique ; cet avertissement ne sera pas répété.");
}

void WindowObserver::exchangeStarted() {
    m_link.beginExchange();
    if (m_link.tap().observer()) m_link.tap().beginOperation(m_operation);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void WindowObserver::waiting() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowObserver::portLost(int portNumber) {
    m_lostPort = portNumber;
    m_link.setPortOpen(false);
}

void WindowObserver::setOutcome(const QString& outcome, bool failed) {
    m_outcome = outcome;
    m_failed = failed;
}

void WindowObserver::exchangeEnded(bool timedOut) {
    if (m_link.tap().observer()) {
        if (!m_outcome.isEmpty())
            m_link.tap().endOperation(m_outcome, m_failed);
        else if (m_lostPort != 0)
            m_link.tap().endOperation(
                QStringLiteral("échec : le port %1 a été perdu")
                    .arg(portName(m_lostPort, m_link.port().networkAddress())),
                true);
        else if (timedOut)
            m_link.tap().endOperation(QStringLiteral("échec : la carte n'a pas répondu à temps"),
                                      true);
        else
            m_link.tap().endOperation(QStringLiteral("terminée"), false);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
    m_link.endExchange();
    if (!m_historyWarning.isEmpty())
        m_prompts.warning(nullptr, std::exchange(m_historyWarning, {}));
}

WindowExchange::WindowExchange(Link& link, Prompts& prompts, const QWidget* window,
                               const QString& caption)
    : WindowObserverHolder{WindowObserver(link, prompts, operationName(window, caption),
                                          historyWindowName(window))},
      Exchange(link.port(), link.clock(), &observer) {}

}  // namespace trv
