#pragma once

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <limits>

#include "port/traffic_tap.h"
#include "trace/decoder.h"

// The rows of a traffic trace: the operations, every run of frames sent and every reply
// received, with the replies paired to the frames they answer. Plain data, shown by the
// traffic monitor and written to a file by it and by trvctl --trace.
namespace trv::trace {

enum class RowKind : quint8 { Operation, Sent, Received };

namespace flag {
enum : quint8 {
    Unanswered = 1,  // sent: a frame of the run got no reply in time
    Garbage = 2,     // received: bytes or a reply that make no sense here
    Unexpected = 4,  // received: a reply to no frame
    Discarded = 8,   // received: dropped unread by the program
    Failed = 16,     // operation: ended in failure
    Running = 32,    // operation: not ended yet
};
}

struct Row {
    RowKind kind = RowKind::Sent;
    quint8 flags = 0;
    quint16 frames = 0;      // sent: frames in the run
    quint16 unanswered = 0;  // sent: frames of the run that got no reply in time
    qint64 at = 0;           // microseconds on the steady clock
    qint64 operationStart = 0;
    qint64 duration = 0;  // operation: microseconds, once ended
    QByteArray bytes;
    QString text;     // operation: its name; otherwise the frames or replies in words
    QString outcome;  // operation: how it ended
};

class TraceLog final : public TrafficObserver {
public:
    static constexpr qsizetype kDefaultLimit = 100'000;

    explicit TraceLog(qsizetype limit = kDefaultLimit);

    // Rows are numbered from firstId() to endId() - 1; the oldest go beyond the limit.
    quint64 firstId() const { return m_first; }
    quint64 endId() const { return m_first + quint64(m_rows.size()); }
    qsizetype size() const { return qsizetype(m_rows.size()); }
    const Row& row(quint64 id) const { return m_rows[std::size_t(id - m_first)]; }
    void clear();

    // The first row appended or changed since the last call (endId() when none).
    quint64 takeChangedFrom();
    // Called after every change, so that a view can schedule its refresh.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // Wall-clock time of a row, in milliseconds since the epoch.
    qint64 clockMs(const Row& r) const { return m_wallAnchorMs + (r.at - m_steadyAnchor) / 1000; }
    void setClockAnchor(Time steady, qint64 wallMs);

    void operationStarted(const QString& name, Time at) override;
    void operationEnded(const QString& outcome, bool failed, Time at) override;
    void bytesSent(const QByteArray& bytes, Time at, int baudRate) override;
    void bytesReceived(const QByteArray& bytes, Time at, bool discarded) override;
    void portReset(Time at) override;
    // Recording goes on after a gap in which nothing was seen: what was sent before cannot
    // be paired with what comes now.
    void resume();

private:
    struct Pending {
        quint64 row;
        QByteArray command;
        qint64 deadline;
    };
    Row* find(quint64 id);
    quint64 append(Row r);
    void touched(quint64 id);
    void markOverdue(qint64 at);
    void abandonStartedReply();
    void receiveReply(const ReplyDecoder::Unit& unit, Row& r);

    qsizetype m_limit;
    std::deque<Row> m_rows;
    quint64 m_first = 0;
    quint64 m_changedFrom = std::numeric_limits<quint64>::max();
    std::function<void()> m_onChange;

    FrameDecoder m_frames;
    ReplyDecoder m_replies;
    std::deque<Pending> m_pending;
    qint64 m_lineClear = 0;
    qint64 m_operationStart = -1;
    quint64 m_operationRow = std::numeric_limits<quint64>::max();
    quint64 m_startedReplyRow = std::numeric_limits<quint64>::max();
    qint64 m_steadyAnchor = 0;
    qint64 m_wallAnchorMs = 0;
};

}  // namespace trv::trace
