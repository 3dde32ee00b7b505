#pragma once

#include <QByteArray>
#include <QString>

#include "link/link.h"
#include "sim/pty_board.h"

// The simulated board on a pseudo-terminal with the program's port open on it, and the
// frames the program is expected to send it.
namespace trv::test {

// The board on COMn of the current data folder and a link whose port is open and flagged
// open on it, as after a successful port opening.
class BoardOnPort {
public:
    explicit BoardOnPort(const sim::PtyBoard::Options& options);
    static sim::PtyBoard::Options options(int port, bool pacing,
                                          sim::Preset preset = sim::Preset::Signed);
    bool start();
    QString errorString() const;

    sim::PtyBoard board;
    Link link;

private:
    int m_port;
};

// The frames of one whole-image read and write, without the burst of five "SSS" that opens
// each transfer.
QByteArray readTransaction();
QByteArray writeTransaction(const sim::Eeprom& image);
QByteArray transferOpening();
QByteArray closingBurst();

}  // namespace trv::test
