#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX

#include <QByteArray>
#include <QString>
#include <memory>

#include "sim/board_model.h"

// A simulated board behind a pseudo-terminal, linked into the port map as port n, so that
// the tool (or a test) opens it like the real line. It answers on its own thread until
// stop(); every member function may be called from any thread.
namespace trv::sim {

// Faults a test or a technician can inject; they take effect from the next bytes received.
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
    int delayMs = 0;          // every answer leaves this late
};

struct PtyBoardOptions {
    int port = 3;
    // The EEPROM's file (128 raw bytes): loaded when it exists, created from the preset
    // otherwise, rewritten after every committed write. Empty: memory only.
    QString imagePath;
    Preset preset = Preset::Signed;
    bool pacing = true;  // replies leave no faster than 9600 baud, 10 bits per byte
    Faults faults;
};

class PtyBoard {
public:
    using Options = PtyBoardOptions;

    explicit PtyBoard(Options options = {});
    ~PtyBoard();  // stops, removes the link and leaves the image file complete
    PtyBoard(const PtyBoard&) = delete;
    PtyBoard& operator=(const PtyBoard&) = delete;

    // Opens the pseudo-terminal, loads or creates the image file, links the port and starts
    // answering. False with errorString() set when any of it fails.
    bool start();
    void stop();
    bool isRunning() const;
    QString errorString() const;

    QString devicePath() const;  // the pseudo-terminal's device, e.g. /dev/pts/4
    QString linkPath() const;    // the port map's link to it

    // Every byte received since start() or the last clearReceived().
    QByteArray received() const;
    void clearReceived();

    Eeprom eeprom() const;
    void setEeprom(const Eeprom& image);  // also rewrites the image file, if there is one

    Faults faults() const;
    void setFaults(const Faults& faults);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace trv::sim

#endif  // Q_OS_UNIX
