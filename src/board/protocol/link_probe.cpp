#include "protocol/link_probe.h"

#include <algorithm>

#include "protocol/exchange.h"
#include "protocol/image_transfer.h"
#include "protocol/wire.h"

namespace trv {

ProbeResult probeOnce(Exchange& exchange, ProbeReading reading) {
    const bool gathered = reading == ProbeReading::Gathered;
    if (gathered) exchange.discardInput();
    const Millis handedOver = exchange.now();
    exchange.sendFrame("RRR");
    const Millis start = exchange.beginReplyWait();
    ProbeResult result;
    QByteArray got;
    bool sawBytes = false;
    const auto enough = [&](qint64 waiting) {
        sawBytes = sawBytes || waiting > 0;
        if (!gathered) return waiting == wire::kAckSize;
        return waiting > 0 && got.size() + waiting >= wire::kAckSize;
    };
    while (exchange.waitReply(enough, start) == Exchange::Outcome::Ready) {
        // Exact: a wrong answer is dropped whole.
        got = gathered ? got + exchange.readReply() : exchange.readReply();
        if (got.contains(wire::kAckReply)) {
            result.answered = true;
            result.garbled = got != wire::kAckReply;
            result.roundTrip = exchange.now() - handedOver;
            break;
        }
        // Wrong bytes: the same second goes on for the right ones.
    }
    if (!result.answered) result.garbled = sawBytes;
    result.lostPort = exchange.lostPortNumber();
    return result;
}

void LinkTally::add(const ProbeResult& probe) {
    ++m_sent;
    if (probe.lostPort) m_lostPort = probe.lostPort;
    if (probe.garbled) ++m_garbled;
    if (!probe.answered) return;
    ++m_answered;
    m_times.insert(std::upper_bound(m_times.begin(), m_times.end(), probe.roundTrip),
                   probe.roundTrip);
}

std::optional<Millis> LinkTally::fastest() const {
    if (m_times.empty()) return std::nullopt;
    return m_times.front();
}

std::optional<Millis> LinkTally::slowest() const {
    if (m_times.empty()) return std::nullopt;
    return m_times.back();
}

std::optional<Millis> LinkTally::median() const {
    if (m_times.empty()) return std::nullopt;
    const std::size_t n = m_times.size();
    // The mean of the two middle values for an even count, to the millisecond below.
    return n % 2 ? m_times[n / 2] : (m_times[n / 2 - 1] + m_times[n / 2]) / 2;
}

QString probeOutcome(const ProbeResult& probe) {
    if (probe.answered) return QStringLiteral("réponse en %1 ms").arg(probe.roundTrip.count());
    return probe.garbled ? QStringLiteral("réponse brouillée") : QStringLiteral("réponse perdue");
}

QString LinkTally::verdict() const {
    if (m_sent == 0) return {};
    if (m_answered == m_sent && m_garbled == 0) return QStringLiteral("Liaison bonne");
    if (m_answered == 0 && m_garbled == 0) return QStringLiteral("Aucune réponse");
    // French counts zero and one in the singular.
    const auto plural = [](int n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n > 1 ? many : one));
    };
    QString text = QStringLiteral("Liaison instable : %1 sur %2")
                       .arg(plural(lost(), "réponse perdue", "réponses perdues"))
                       .arg(m_sent);
    if (m_garbled > 0) text += QStringLiteral(", ") + plural(m_garbled, "brouillée", "brouillées");
    return text;
}

QString LinkTally::answeredText() const {
    return QStringLiteral("Réponses : %1 / %2").arg(m_answered).arg(m_sent);
}

QString LinkTally::roundTripText() const {
    if (m_times.empty()) return QStringLiteral("Aller-retour : —");
    return QStringLiteral("Aller-retour : min %1 ms, médiane %2 ms, max %3 ms")
        .arg(fastest()->count())
        .arg(median()->count())
        .arg(slowest()->count());
}

QString LinkTally::garbledText() const {
    return QStringLiteral("Réponses brouillées : %1").arg(m_garbled);
}

namespace {
// What a run of frames may take from its hand-over to its last answer, microseconds.
qint64 runBudget(int frames, int baudRate) {
    const auto limit = std::chrono::duration_cast<Micros>(wire::kReplyLimit);
    return (wire::lineTime(frames * wire::kFrameSize, baudRate) + limit).count();
}
bool runFits(int frames, Millis roundTrip, int baudRate) {
    return frames * roundTrip.count() * 1000 <= runBudget(frames, baudRate);
}
// The first whole millisecond at which the run no longer fits.
int runLimitMs(int frames, int baudRate) {
    return int(runBudget(frames, baudRate) / (qint64(frames) * 1000)) + 1;
}
}  // namespace

TransferForecast forecastTransfers(Millis roundTrip, int baudRate) {
    return {roundTrip, runFits(kReadFrames, roundTrip, baudRate),
            runFits(kWriteFrames, roundTrip, baudRate), runLimitMs(kReadFrames, baudRate),
            runLimitMs(kWriteFrames, baudRate)};
}

QString forecastText(const TransferForecast& f) {
    const auto tooSlow = [&](const char* transfer, int limit) {
        return QStringLiteral(
                   "Liaison trop lente pour une %1 complète : %2 ms par trame, il faut "
                   "moins de %3 ms.")
            .arg(QString::fromUtf8(transfer))
            .arg(f.roundTrip.count())
            .arg(limit);
    };
    if (!f.readFits) return tooSlow("lecture", f.readLimitMs);
    if (!f.writeFits) return tooSlow("écriture", f.writeLimitMs);
    return QStringLiteral("Lecture et écriture complètes possibles : %1 ms par trame.")
        .arg(f.roundTrip.count());
}

QString LinkTally::transferVerdict(int baudRate) const {
    if (m_times.empty()) return {};
    const TransferForecast f = forecastTransfers(*median(), baudRate);
    // A whole read needs every one of its answers: fast enough is not enough on a lossy link.
    if (f.readFits && f.writeFits && (lost() > 0 || m_garbled > 0))
        return QStringLiteral(
                   "Assez rapide (%1 ms par trame), mais une seule réponse perdue fait échouer "
                   "une lecture complète.")
            .arg(f.roundTrip.count());
    return forecastText(f);
}

LinkTally measureLink(Exchange& exchange, int count,
                      const std::function<bool(const LinkTally&)>& onProbe) {
    LinkTally tally;
    for (int i = 0; i < count; ++i) {
        const ProbeResult probe = probeOnce(exchange);
        tally.add(probe);
        if ((onProbe && !onProbe(tally)) || probe.lostPort) break;
    }
    return tally;
}

}  // namespace trv
