#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "protocol/clock.h"

// How well the link carries the board's presence probe, one "RRR" frame at a time: the
// measurement of the link test window and of trvctl ping.
namespace trv {

class Exchange;

struct ProbeResult {
    bool answered = false;  // the exact acknowledgement came within the second
    bool garbled = false;   // something else came too, or instead
    Millis roundTrip{0};    // from handing the frame over to reading the acknowledgement
};

// Drops what is waiting, sends "RRR" once and waits up to 1 s for "31" STX ACK ETX; wrong
// bytes do not end the wait.
ProbeResult probeOnce(Exchange& exchange);
// How one probe ended, in words: "réponse en 15 ms", "réponse brouillée", "réponse perdue".
QString probeOutcome(const ProbeResult& probe);

class LinkTally {
public:
    void add(const ProbeResult& probe);

    int sent() const { return m_sent; }
    int answered() const { return m_answered; }
    int lost() const { return m_sent - m_answered; }
    int garbled() const { return m_garbled; }
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

private:
    int m_sent = 0;
    int m_answered = 0;
    int m_garbled = 0;
    std::vector<Millis> m_times;  // kept sorted
};

// The probe sent count times, one after the other. onProbe, after each, may stop the run
// by answering false.
LinkTally measureLink(Exchange& exchange, int count,
                      const std::function<bool(const LinkTally&)>& onProbe = {});

}  // namespace trv
