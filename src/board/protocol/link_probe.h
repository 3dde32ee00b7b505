#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "protocol/clock.h"

// The board's presence probe, one "RRR" frame answered by "31" STX ACK ETX: detection's, and
// the link measurement of the link test window and of trvctl ping, one probe at a time.
namespace trv {

class Exchange;

struct ProbeResult {
    bool answered = false;  // the exact acknowledgement came within the second
    bool garbled = false;   // something else came too, or instead
    Millis roundTrip{0};    // from handing the frame over to reading the acknowledgement
    int lostPort = 0;       // the port went away during the probe (its COM number)
};

// How the answer is taken while the second runs; wrong bytes never end the wait.
enum class ProbeReading {
    // Detection: bytes are read only when exactly one acknowledgement's worth is waiting,
    // and judged alone; more at once is no board.
    Exact,
    // The measurement: what is waiting is dropped first, so that a late answer to an earlier
    // probe cannot pass for this one's, then bytes are gathered until the acknowledgement
    // stands among them.
    Gathered,
};

// Sends "RRR" once and waits up to 1 s for "31" STX ACK ETX.
ProbeResult probeOnce(Exchange& exchange, ProbeReading reading = ProbeReading::Gathered);
// How one probe ended, in words: "réponse en 15 ms", "réponse brouillée", "réponse perdue".
QString probeOutcome(const ProbeResult& probe);

// Whether the whole-image transfers fit on a link. A transfer hands its whole run of frames to
// the port at once and waits for all their answers until the reply limit has passed after the
// run's line time. The probe measures one frame's round trip; taken as what every frame of the
// run costs, one after the other (a board or adapter that takes a frame only once it has
// answered the one before), a run of n frames fits when n round trips end within its line
// time plus the reply limit.
struct TransferForecast {
    Millis roundTrip{0};
    bool readFits = false;
    bool writeFits = false;
    // The whole milliseconds a frame's round trip must stay under for each to fit.
    int readLimitMs = 0;
    int writeLimitMs = 0;
};
TransferForecast forecastTransfers(Millis roundTrip, int baudRate);
// "Liaison trop lente pour une lecture complète : 20 ms par trame, il faut moins de 16 ms.",
// the same for the write, or "Lecture et écriture complètes possibles : 9 ms par trame."
QString forecastText(const TransferForecast& forecast);

class LinkTally {
public:
    void add(const ProbeResult& probe);

    int sent() const { return m_sent; }
    int answered() const { return m_answered; }
    int lost() const { return m_sent - m_answered; }
    int garbled() const { return m_garbled; }
    int lostPort() const { return m_lostPort; }
    // Round trips of the answered probes.
    std::optional<Millis> fastest() const;
    std::optional<Millis> median() const;
    std::optional<Millis> slowest() const;

    // "Liaison bonne", "Liaison instable : 3 réponses perdues sur 20", "Aucune réponse".
    QString verdict() const;
    // "Réponses : 17 / 20", "Aller-retour : min 14 ms, médiane 15 ms, max 40 ms",
    // "Réponses brouillées : 1"
    QString answeredText() const;
    QString roundTripText() const;
    QString garbledText() const;
    // The forecast from the median round trip; empty before the first answer. A link fast
    // enough that lost or garbled answers is said to be so.
    QString transferVerdict(int baudRate) const;

private:
    int m_sent = 0;
    int m_answered = 0;
    int m_garbled = 0;
    int m_lostPort = 0;
    std::vector<Millis> m_times;  // kept sorted
};

// The probe sent count times, one after the other. onProbe, after each, may stop the run
// by answering false; a lost port stops it too (lostPort() says which).
LinkTally measureLink(Exchange& exchange, int count,
                      const std::function<bool(const LinkTally&)>& onProbe = {});

}  // namespace trv
