#include "simulated_board.h"

#include <QTest>

#include "port/qt_serial_port.h"

namespace trv::test {

BoardOnPort::BoardOnPort(const sim::PtyBoard::Options& options)
    : board(options), link(std::make_unique<QtSerialPort>()), m_port(options.port) {}

sim::PtyBoard::Options BoardOnPort::options(int port, bool pacing, sim::Preset preset) {
    sim::PtyBoard::Options o;
    o.port = port;
    o.pacing = pacing;
    o.preset = preset;
    return o;
}

bool BoardOnPort::start() {
    if (!board.start()) return false;
    link.setPortOpen(link.port().open(m_port));
    link.setPortNumber(m_port);
    return link.portOpen();
}

QString BoardOnPort::errorString() const {
    return board.errorString().isEmpty() ? QStringLiteral("COM%1 did not open").arg(m_port)
                                         : board.errorString();
}

std::unique_ptr<BoardOnPort> startedBoard(int port, bool pacing) {
    auto bench = std::make_unique<BoardOnPort>(BoardOnPort::options(port, pacing));
    if (bench->start()) return bench;
    qWarning("%s", qPrintable(bench->errorString()));
    return nullptr;
}

void SharedBoardTest::initTestCase() {
    m_home = std::make_unique<TempDataHome>();
    m_bench = startedBoard(3, false);
    QVERIFY(m_bench);
    board = &m_bench->board;
    link = &m_bench->link;
}

void SharedBoardTest::cleanupTestCase() {
    m_bench.reset();
    m_home.reset();
}

SharedBoardTest::CaseBoard SharedBoardTest::boardFor(bool pacing) {
    if (!pacing) return {nullptr, board, link};
    CaseBoard own{startedBoard(4, true)};
    if (own.own) {
        own.board = &own.own->board;
        own.link = &own.own->link;
    }
    return own;
}

void SharedBoardTest::init() {
    reply = QStringLiteral("OUI");
    board->setFaults({});
    // The frames a case sent last may still be on their way to the board; they must not be
    // counted as the next case's.
    forgetReceived();
    link->setPortOpen(true);
}

void SharedBoardTest::forgetReceived() {
    QByteArray seen;
    do {
        seen = board->received();
        QTest::qWait(100);
    } while (seen != board->received());
    board->clearReceived();
}

}  // namespace trv::test
