#include "protocol/history_observer.h"

#include <optional>

namespace trv {

void HistoryObserver::imageTransferred(const CellTexts& cells, history::Direction kind) {
    const std::optional<ImageBytes> bytes = imageBytes(cells);
    if (!bytes) return;
    std::optional<QMutexLocker<QMutex>> locked;
    if (m_lock) locked.emplace(m_lock);
    const history::ImageHistory::Recorded recorded = m_history().record(
        *bytes, m_portNumber, m_window, kind, QDateTime::currentDateTime(), m_address);
    locked.reset();
    m_transfers.append({kind == history::Direction::Written, recorded.path});
    const QString& error = recorded.error;
    if (error.isEmpty()) return;
    m_failures << error;
    historyFailed(error);
}

}  // namespace trv
