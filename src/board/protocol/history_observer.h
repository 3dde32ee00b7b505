#pragma once

#include <QMutex>
#include <QStringList>
#include <functional>

#include "image/image_history.h"
#include "protocol/exchange.h"

namespace trv {

// The history policy of every exchange, the windows' and trvctl's: each whole image the board
// sent, or took and acknowledged, is kept as it goes through, before the operation goes on.
// A reply holding characters that are no byte is no image and is not kept. A history that
// cannot be written never stops the operation.
class HistoryObserver : public ExchangeObserver {
public:
    // Where the images go, asked for at the first one (so a history is only made when used).
    using Source = std::function<history::ImageHistory&()>;
    // window: the name the images carry ("compteur", "trvctl"). lock: held while recording,
    // when exchanges on several threads share one history.
    HistoryObserver(Source history, int portNumber, QString window, QMutex* lock = nullptr)
        : m_history(std::move(history)),
          m_portNumber(portNumber),
          m_window(std::move(window)),
          m_lock(lock) {}

    // The server the port reaches, named in the records beside the COM number.
    void nameAddress(std::optional<NetworkAddress> address) { m_address = std::move(address); }

    void imageTransferred(const CellTexts& cells, history::Direction kind) override;
    // Why images could not be kept, in order.
    const QStringList& failures() const { return m_failures; }
    // Every whole image that went through, in order: whether the board took it (or sent
    // it), and the record it is kept in (empty when it could not be kept).
    struct Transfer {
        bool written = false;
        QString path;
    };
    const QList<Transfer>& transfers() const { return m_transfers; }

protected:
    // An image could not be kept; the operation goes on.
    virtual void historyFailed(const QString& error) { Q_UNUSED(error); }

private:
    Source m_history;
    int m_portNumber;
    std::optional<NetworkAddress> m_address;
    QString m_window;
    QMutex* m_lock;
    QStringList m_failures;
    QList<Transfer> m_transfers;
};

}  // namespace trv
