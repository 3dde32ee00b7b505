// Whole-image transfers and port detection through the program's real serial port against
// the simulated board on a pseudo-terminal, in real time.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "boards/board_window.h"
#include "link/link.h"
#include "port/qt_serial_port.h"
#include "protocol/frames.h"
#include "simulated_board.h"
#include "test_support.h"
#include "tools/detect.h"
#include "ui/colours.h"

using namespace trv;

class TransfersE2ETest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;

private slots:
    void init() { home = std::make_unique<test::TempDataHome>(); }
    void cleanup() { home.reset(); }

    void readThenWriteInRealTime() {
        const auto bench = test::startedBoard(3, true);
        QVERIFY(bench);
        sim::PtyBoard& board = bench->board;
        Link& link = bench->link;
        test::MessageRecorder prompts;
        BoardWindow w(
            link, prompts, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        w.show();

        const sim::Eeprom original = board.eeprom();
        w.grid().butRd->click();
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(
                w.image().text(i),
                QString::number(original[std::size_t(i)], 16).toUpper().rightJustified(2, u'0'));
            QCOMPARE(colour::background(w.grid().Text1[std::size_t(i)]),
                     std::optional(colour::kGreen));
        }

        // A one-character cell goes out with its leading zero; the board keeps what was sent.
        board.clearReceived();
        w.grid().Text1[128]->setText(QStringLiteral("5"));
        w.grid().butEdit->click();
        w.image().setText(100, QStringLiteral("C3"));
        w.grid().butWr->click();
        sim::Eeprom expected;
        expected.fill(0x05);
        expected[100] = 0xC3;
        QCOMPARE(board.received(), test::wholeWrite(expected));
        QCOMPARE(board.eeprom(), expected);
        QCOMPARE(w.image().text(0), QStringLiteral("5"));
        QCOMPARE(colour::background(w.grid().Text1[0]), std::optional(colour::kGreen));
    }

    void faultsGiveTheFailedGrid_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<int>("cut");
        QTest::addColumn<int>("extra");
        QTest::newRow("read short by one") << false << 6 << 0;
        QTest::newRow("write short by one") << true << 1 << 0;
        QTest::newRow("write one too many") << true << 0 << 1;
    }
    void faultsGiveTheFailedGrid() {
        QFETCH(bool, write);
        QFETCH(int, cut);
        QFETCH(int, extra);
        const auto bench = test::startedBoard(3, false);
        QVERIFY(bench);
        sim::PtyBoard& board = bench->board;
        Link& link = bench->link;
        test::MessageRecorder prompts;
        BoardWindow w(
            link, prompts, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        w.grid().butLin->click();
        board.setFaults({false, cut, extra, false, false});
        QElapsedTimer timer;
        timer.start();
        (write ? w.grid().butWr : w.grid().butRd)->click();
        QVERIFY(timer.elapsed() > 1500);
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(w.image().text(i), QStringLiteral("Er"));
            QCOMPARE(colour::background(w.grid().Text1[std::size_t(i)]),
                     std::optional(colour::kRed));
        }
    }

    void detectionFindsAbsentFreeAndBoardPorts() {
        sim::PtyBoard board(test::BoardOnPort::options(3, true));
        QVERIFY(board.start());
        sim::PtyBoard wrongFirst(test::BoardOnPort::options(7, true));
        QVERIFY(wrongFirst.start());
        wrongFirst.setFaults({false, 0, 0, false, true});
        test::LinkedPty silent(5);
        Link link(std::make_unique<QtSerialPort>());
        QVERIFY(link.port().open(3));
        link.setPortOpen(true);
        test::MessageRecorder prompts;
        Detect d(link, prompts);
        d.show();

        d.Command1->click();
        QVERIFY(!link.portOpen());
        for (int n = 1; n <= 14; ++n) {
            const bool boardThere = n == 3 || n == 7;
            const bool free = boardThere || n == 5;
            QCOMPARE(d.Label1[std::size_t(n)]->text(), QStringLiteral("COM %1:").arg(n));
            QCOMPARE(d.Label1[std::size_t(n + 14)]->text(),
                     free ? QStringLiteral("Libre.") : QStringLiteral("Absent."));
            QCOMPARE(d.Label1[std::size_t(n + 28)]->text(),
                     boardThere ? QStringLiteral(" TRV_CD.") : QStringLiteral("."));
            QCOMPARE(colour::background(d.Label1[std::size_t(n)]),
                     std::optional(boardThere ? colour::kGreen : colour::kWhite));
            QCOMPARE(colour::background(d.Label1[std::size_t(n + 14)]),
                     std::optional(free ? colour::kGreen : colour::kWhite));
            QCOMPARE(colour::background(d.Label1[std::size_t(n + 28)]),
                     std::optional(boardThere ? colour::kGreen : colour::kWhite));
        }
        QCOMPARE(board.received(), frames::frame("RRR"));
        QCOMPARE(silent.readAvailable(), frames::frame("RRR"));
    }
};

QTEST_MAIN(TransfersE2ETest)
#include "test_transfers_e2e.moc"
