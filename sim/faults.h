#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// Faults the simulated board can show, switched at start or while it runs. A fault set is
// also written as one line of words, the form the simulator's control file and its
// --faults option take: "cut=6 delay=950", "silent", "none".
namespace trv::sim {

struct Faults {
    bool silent = false;  // answer nothing
    // Answer a whole run of frames (ended by 20 ms without a byte) at once at its end,
    // short of its last `cut` bytes, or followed by `extra` ACK bytes (0x06).
    int cut = 0;
    int extra = 0;
    bool garbage = false;     // data replies carry "G0" instead of the byte's digits
    bool wrongProbe = false;  // a run of one "RRR" gets "31" STX NAK ETX, then 300 ms later
                              // the right acknowledgement
    int dropEvery = 0;        // every n-th frame gets no answer (a radio link losing replies)
    int delayMs = 0;          // every reply leaves this long after the frame that asked for it
    // The board takes this long over each frame, one frame after the other: an answer leaves
    // this long after its frame came in or after the previous answer left the line, whichever
    // is later, so a run's answers fall further behind with every frame.
    int frameDelayMs = 0;
    // A run's answer breaks off halfway; the rest follows this much later.
    int pauseMs = 0;
    // This many line-noise bytes land in the middle of a run's answer.
    int noise = 0;
    int unwritten = -1;  // this address keeps its byte through every write (-1: none)
    // The port disappears (the device goes away, the link dangles) once this many more
    // bytes have come in, and comes back as a new device behind the same link vanishMs later.
    int vanishAfter = 0;
    int vanishMs = 0;

    bool operator==(const Faults&) const = default;
};

// The line form of a fault set; "none" for no fault.
QString faultsText(const Faults& faults);

// Reads a line of words: silent, garbage, wrong-probe, cut=N, extra=N, drop=N, delay=MS,
// frame-delay=MS, pause=MS, noise=N, unwritten=ADDRESS, vanish=BYTES,MS, or none (also an empty
// line). The words replace the whole set. nullopt with a French reason in *error otherwise.
std::optional<Faults> parseFaults(QStringView line, QString* error);

}  // namespace trv::sim
