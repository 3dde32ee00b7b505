#include "trace/trace_log.h"

#include <QDateTime>
#include <algorithm>

#include "protocol/wire.h"

namespace trv::trace {
namespace {
constexpr quint64 kNone = std::numeric_limits<quint64>::max();

// Microseconds, as the rows count time.
qint64 lineTimeUs(qint64 bytes, int baudRate) { return wire::lineTime(bytes, baudRate).count(); }
constexpr qint64 kReplyLimitUs = std::chrono::microseconds(wire::kReplyLimit).count();

QString pairedText(const ReplyDecoder::Unit& unit, const QByteArray& command, quint8* flags) {
    const QString cmd = controlText(command);
    const bool wantsData = expectedReply(command) == ReplyKind::Data;
    switch (unit.kind) {
        case ReplyDecoder::Kind::Ack:
            if (wantsData) {
                *flags |= flag::Garbage;
                return QStringLiteral("acquittement au lieu d'un octet (%1)").arg(cmd);
            }
            return QStringLiteral("acquittement (%1)").arg(cmd);
        case ReplyDecoder::Kind::Data:
            if (!isHexDigits(unit.digits)) *flags |= flag::Garbage;
            if (!wantsData) {
                *flags |= flag::Garbage;
                return QStringLiteral("%1 au lieu d'un acquittement (%2)")
                    .arg(dataText(unit.digits), cmd);
            }
            return dataText(unit.digits);
        default:
            *flags |= flag::Garbage;
            return QStringLiteral("refus NAK (%1)").arg(cmd);
    }
}

QString unpairedText(const ReplyDecoder::Unit& unit) {
    switch (unit.kind) {
        case ReplyDecoder::Kind::Ack:
            return QStringLiteral("acquittement inattendu");
        case ReplyDecoder::Kind::Data:
            return dataText(unit.digits) + QStringLiteral(", inattendu");
        default:
            return QStringLiteral("refus NAK inattendu");
    }
}
}  // namespace

TraceLog::TraceLog(qsizetype limit) : m_limit(std::max<qsizetype>(1, limit)) {
    setClockAnchor(
        std::chrono::duration_cast<Time>(std::chrono::steady_clock::now().time_since_epoch()),
        QDateTime::currentMSecsSinceEpoch());
}

void TraceLog::setClockAnchor(Time steady, qint64 wallMs) {
    m_steadyAnchor = steady.count();
    m_wallAnchorMs = wallMs;
}

void TraceLog::clear() {
    // Frames still waiting for their replies stay paired with them; only the rows go.
    m_first = endId();
    m_rows.clear();
    m_changedFrom = std::min(m_changedFrom, m_first);
    if (m_onChange) m_onChange();
}

quint64 TraceLog::takeChangedFrom() {
    const quint64 from = std::min(std::max(m_changedFrom, m_first), endId());
    m_changedFrom = kNone;
    return from;
}

Row* TraceLog::find(quint64 id) {
    if (id < m_first || id >= endId()) return nullptr;
    return &m_rows[std::size_t(id - m_first)];
}

void TraceLog::touched(quint64 id) {
    m_changedFrom = std::min(m_changedFrom, id);
    if (m_onChange) m_onChange();
}

quint64 TraceLog::append(Row r) {
    if (m_operationStart < 0) m_operationStart = r.at;
    r.operationStart = m_operationStart;
    m_rows.push_back(std::move(r));
    while (qsizetype(m_rows.size()) > m_limit) {
        m_rows.pop_front();
        ++m_first;
    }
    const quint64 id = endId() - 1;
    touched(id);
    return id;
}

void TraceLog::operationStarted(const QString& name, Time at) {
    m_operationStart = at.count();
    Row r;
    r.kind = RowKind::Operation;
    r.flags = flag::Running;
    r.at = at.count();
    r.text = name;
    m_operationRow = append(std::move(r));
}

void TraceLog::operationEnded(const QString& outcome, bool failed, Time at) {
    if (Row* r = find(m_operationRow)) {
        r->flags = quint8((r->flags & ~flag::Running) | (failed ? flag::Failed : 0));
        r->outcome = outcome;
        r->duration = at.count() - r->at;
        touched(m_operationRow);
    }
    m_operationRow = kNone;
}

void TraceLog::bytesSent(const QByteArray& bytes, Time at, int baudRate) {
    const FrameDecoder::Run run = m_frames.decode(bytes);
    Row r;
    r.kind = RowKind::Sent;
    r.at = at.count();
    r.bytes = bytes;
    r.text = run.text;
    r.frames = quint16(std::min<qsizetype>(run.frames.size(), 0xFFFF));
    if (run.foreign) r.flags |= flag::Garbage;
    const quint64 id = append(std::move(r));

    // Each frame's reply may take up to a second once the frame has left the line.
    const qint64 start = std::max<qint64>(m_lineClear, at.count());
    for (qsizetype k = 0; k < run.frames.size(); ++k)
        m_pending.push_back(
            {id, run.frames[k],
             start + lineTimeUs((k + 1) * wire::kFrameSize, baudRate) + kReplyLimitUs});
    m_lineClear = start + lineTimeUs(bytes.size(), baudRate);
}

void TraceLog::bytesReceived(const QByteArray& bytes, Time at, bool discarded) {
    for (const ReplyDecoder::Unit& unit : m_replies.decode(bytes)) {
        if (unit.kind == ReplyDecoder::Kind::Abandoned) {
            abandonStartedReply();
            continue;
        }
        Row r;
        r.kind = RowKind::Received;
        r.at = at.count();
        r.bytes = unit.bytes;
        if (discarded) r.flags |= flag::Discarded;
        receiveReply(unit, r);
        const quint64 id = append(std::move(r));
        if (unit.kind == ReplyDecoder::Kind::Incomplete) m_startedReplyRow = id;
    }
    // Discarded input takes with it whatever part of a reply was still to come.
    if (discarded && m_replies.reset()) abandonStartedReply();
    markOverdue(at.count());
}

void TraceLog::receiveReply(const ReplyDecoder::Unit& unit, Row& r) {
    switch (unit.kind) {
        case ReplyDecoder::Kind::Garbage:
            r.flags |= flag::Garbage;
            r.text = QStringLiteral("octets parasites (%1)").arg(unit.bytes.size());
            return;
        case ReplyDecoder::Kind::Incomplete:
            r.text = unit.continued ? QStringLiteral("suite de réponse, incomplète")
                                    : QStringLiteral("début de réponse");
            return;
        default:
            break;
    }
    if (m_pending.empty()) {
        r.flags |= flag::Unexpected;
        r.text = unpairedText(unit);
    } else {
        const Pending p = m_pending.front();
        m_pending.pop_front();
        r.text = pairedText(unit, p.command, &r.flags);
    }
    if (unit.continued) r.text = QStringLiteral("fin de réponse : ") + r.text;
}

void TraceLog::abandonStartedReply() {
    if (Row* r = find(m_startedReplyRow)) {
        r->flags |= flag::Garbage;
        r->text = QStringLiteral("réponse incomplète");
        touched(m_startedReplyRow);
    }
    m_startedReplyRow = kNone;
}

void TraceLog::markOverdue(qint64 at) {
    while (!m_pending.empty() && m_pending.front().deadline <= at) {
        const quint64 id = m_pending.front().row;
        m_pending.pop_front();
        if (Row* r = find(id)) {
            r->flags |= flag::Unanswered;
            ++r->unanswered;
            touched(id);
        }
    }
}

void TraceLog::portReset(Time at) {
    // Frames whose second had run out are unanswered; the others will never be answered
    // on this port either, but nothing says the board was silent.
    markOverdue(at.count());
    m_pending.clear();
    if (m_replies.reset()) abandonStartedReply();
    m_frames.reset();
    m_lineClear = 0;
}

void TraceLog::resume() {
    m_pending.clear();
    m_replies.reset();
    m_startedReplyRow = kNone;
    m_frames.reset();
    m_lineClear = 0;
    m_operationRow = kNone;
}

}  // namespace trv::trace
