#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

#include "link/link.h"
#include "sim/pty_board.h"
#include "test_support.h"

// The simulated board on a pseudo-terminal with the program's port open on it.
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

// A board started on COMn with the port open on it; null, with the reason logged, when it
// could not start.
std::unique_ptr<BoardOnPort> startedBoard(int port, bool pacing);

// A test program whose cases share one board on COM3 of a private data folder. Each case
// starts with a board that answers, has received nothing, and the reply control "OUI".
class SharedBoardTest : public QObject {
    Q_OBJECT
protected:
    sim::PtyBoard* board = nullptr;
    Link* link = nullptr;
    QString reply;

    // Lets the last frames of an operation land on the board, then forgets them.
    void forgetReceived();

    // The board a case runs on: the shared one, or for a paced case a board of its own on
    // COM4 at the real line speed. `board` is null when that one could not start.
    struct CaseBoard {
        std::unique_ptr<BoardOnPort> own;
        sim::PtyBoard* board = nullptr;
        Link* link = nullptr;
    };
    CaseBoard boardFor(bool pacing);

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

private:
    std::unique_ptr<TempDataHome> m_home;
    std::unique_ptr<BoardOnPort> m_bench;
};

}  // namespace trv::test
