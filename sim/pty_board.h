#pragma once

#include <QtGlobal>

#ifdef Q_OS_UNIX

#include <QByteArray>
#include <QString>
#include <memory>

#include "sim/board_model.h"
#include "sim/faults.h"

// A simulated board behind a pseudo-terminal, linked into the port map as port n, so that
// the tool (or a test) opens it like the real line. It answers on its own thread until
// stop(); every member function may be called from any thread.
namespace trv::sim {

struct PtyBoardOptions {
    int port = 3;
    // The EEPROM's file (128 raw bytes): loaded when it exists, created from the preset
    // otherwise, rewritten after every committed write. Empty: memory only.
    QString imagePath;
    Preset preset = Preset::Signed;
    // A file that every byte received is appended to as it comes (emptied at start), for a
    // test running in another process to check the frames. Empty: none.
    QString receivedPath;
    bool pacing = true;  // replies leave no faster than 9600 baud, 10 bits per byte
    // An existing link comN is replaced for the run and put back on stop, instead of
    // refusing to start.
    bool force = false;
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
    // False while the port has vanished (fault vanish); a returned port has a new device.
    bool isPresent() const;
    QString linkPath() const;  // the port map's link to it
    // Where the link that --force replaced pointed (put back on stop); empty when none was.
    QString replacedLinkTarget() const;
    // Where the comN link found at start led when it was a pseudo-terminal that no longer
    // exists (a killed simulator's), which start() replaced without --force; empty otherwise.
    QString leftoverLinkTarget() const;

    // Every byte received since start() or the last clearReceived().
    QByteArray received() const;
    void clearReceived();

    Eeprom eeprom() const;
    void setEeprom(const Eeprom& image);  // also rewrites the image file, if there is one

    Faults faults() const;
    void setFaults(const Faults& faults);
    // Replies paced at the line rate or not, from the next byte sent.
    void setPacing(bool on);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace trv::sim

#endif  // Q_OS_UNIX
