// The traffic monitor against the simulated board, through the program's real port.
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "boards/board_window.h"
#include "link/link.h"
#include "link/window_exchange.h"
#include "port/routed_port.h"
#include "protocol/frames.h"
#include "simulated_board.h"
#include "tools/traffic_monitor.h"
#include "trace/format.h"

using namespace trv;
using trace::RowKind;

class TrafficMonitorTest : public test::SharedBoardTest {
    Q_OBJECT

    struct Seen {
        QList<const trace::Row*> operations, sent, received;
        QByteArray sentBytes;
    };
    static Seen rowsOf(TrafficMonitor& m) {
        m.refresh();
        Seen s;
        for (int i = 0; i < m.model().rowCount(); ++i) {
            const trace::Row& r = m.model().rowAt(i);
            (r.kind == RowKind::Operation ? s.operations
             : r.kind == RowKind::Sent    ? s.sent
                                          : s.received)
                << &r;
            if (r.kind == RowKind::Sent) s.sentBytes += r.bytes;
        }
        return s;
    }
    // What the windows below show and ask, for the whole program.
    test::MessageRecorder prompts;

    std::unique_ptr<BoardWindow> boardWindow() {
        return std::make_unique<BoardWindow>(
            *link, prompts, [] { return board::ReplyControl::Oui; },
            GridControls::Placement{3360, true, true}, ReadVariant::Plain, nullptr);
    }

private slots:
    void gridReadShowsEveryFrameTheBoardReceived() {
        const auto w = boardWindow();
        TrafficMonitor monitor(*link, prompts);
        w->grid().butRd->click();

        const Seen s = rowsOf(monitor);
        QCOMPARE(s.operations.size(), 1);
        QCOMPARE(trace::meaningText(*s.operations[0]).section(u'—', -1),
                 QStringLiteral(" terminée"));
        QVERIFY(s.operations[0]->text.startsWith(QStringLiteral("Lire")));
        // The burst that opens the transfer, then the 133 frames of the read, one row each.
        QCOMPARE(s.sent.size(), 1 + 133);
        QCOMPARE(s.sentBytes, board->received());
        QCOMPARE(s.sent[1]->text, QStringLiteral("SSS réveil"));
        QCOMPARE(s.sent[3]->text, QStringLiteral("Y00 adresse 0x00"));
        QCOMPARE(s.sent[133]->text, QStringLiteral("X6X fin de lecture"));

        // Five dropped wake-up replies, four acknowledgements, then the 128 bytes in order.
        QStringList expected;
        for (int i = 0; i < 5; ++i) expected << QStringLiteral("acquittement (SSS) — écarté");
        for (const char* c : {"SSS", "ZA0", "Y00", "ZA1"})
            expected << QStringLiteral("acquittement (%1)").arg(QLatin1String(c));
        for (quint8 b : board->eeprom())
            expected << QStringLiteral("octet 0x%1 lu").arg(QLatin1String(test::hexByte(b)));
        QStringList got;
        for (const trace::Row* r : s.received) got << trace::meaningText(*r);
        QCOMPARE(got.mid(0, expected.size()), expected);
        for (int i = 0; i < monitor.model().rowCount(); ++i)
            QVERIFY2(!trace::standsOut(monitor.model().rowAt(i)),
                     qPrintable(trace::meaningText(monitor.model().rowAt(i))));
    }

    void silentBoardLeavesTheFramesUnanswered() {
        const auto w = boardWindow();
        TrafficMonitor monitor(*link, prompts);
        board->setFaults({true, 0, 0, false, false});
        w->grid().butRd->click();

        const Seen s = rowsOf(monitor);
        QVERIFY(s.operations[0]->flags & trace::flag::Failed);
        QCOMPARE(s.sent.size(), 134);
        for (const trace::Row* r : s.sent) {
            QVERIFY(r->flags & trace::flag::Unanswered);
            QCOMPARE(r->unanswered, r->frames);
        }
        QVERIFY(s.received.isEmpty());
    }

    // A port lost mid-operation is named in the operation's outcome: with its address when
    // the COM number leads to a server, as before otherwise.
    void lostPortNamedWithItsAddress_data() {
        QTest::addColumn<QString>("address");  // COM7's association; empty: a local device
        QTest::addColumn<QString>("outcome");
        QTest::newRow("local device") << ""
                                      << "échec : le port COM7 a été perdu";
        QTest::newRow("server") << "rfc2217://127.0.0.1:4001"
                                << "échec : le port COM7 (rfc2217://127.0.0.1:4001) a été perdu";
    }
    void lostPortNamedWithItsAddress() {
        QFETCH(QString, address);
        QFETCH(QString, outcome);
        test::FakeClock clock;
        test::FakePort* fake = nullptr;
        const auto make = [&]() -> std::unique_ptr<SerialPort> {
            auto port = std::make_unique<test::FakePort>(clock);
            fake = port.get();
            return port;
        };
        Link lost(
            std::make_unique<RoutedPort>([&](const NetworkAddress&) { return make(); }, make,
                                         [&](int) {
                                             StoredAddress stored;
                                             if (!address.isEmpty())
                                                 stored = {true, parseNetworkAddress(address), {}};
                                             return stored;
                                         }),
            clock);
        QVERIFY(lost.port().open(7));
        lost.setPortNumber(7);
        lost.setPortOpen(true);
        fake->loseAfterBytes = 0;
        TrafficMonitor monitor(lost, prompts);
        {
            WindowObserver observer(lost, prompts, QStringLiteral("Lire"),
                                    QStringLiteral("grille"));
            Exchange exchange(lost.port(), clock, &observer);
            exchange.send(frames::frame("SSS"));
            exchange.waitReply([](qint64) { return false; }, exchange.beginReplyWait());
            QVERIFY(exchange.portLost());
        }
        const Seen s = rowsOf(monitor);
        QCOMPARE(s.operations.size(), 1);
        QCOMPARE(s.operations[0]->outcome, outcome);
        QVERIFY(!lost.portOpen());
    }

    void pauseClearAndSave() {
        const auto w = boardWindow();
        TrafficMonitor monitor(*link, prompts);
        monitor.pauseButton()->click();
        QCOMPARE(monitor.pauseButton()->text(), QStringLiteral("Reprendre"));
        w->grid().butRd->click();
        QCOMPARE(rowsOf(monitor).sent.size(), 0);

        monitor.pauseButton()->click();
        board->clearReceived();
        w->grid().butRd->click();
        QCOMPARE(rowsOf(monitor).sentBytes, board->received());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trafic.txt"));
        prompts.saveAsking = [path](QWidget*, const QString&, const QString&, const QString&) {
            return path;
        };
        monitor.saveButton()->click();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), trace::traceText(monitor.log()));

        monitor.clearButton()->click();
        QCOMPARE(monitor.model().rowCount(), 0);
        // Closed, the monitor leaves the port reporting to no one.
        {
            TrafficMonitor other(*link, prompts);
            QCOMPARE(link->tap().observer(), &other.log());
        }
        QCOMPARE(link->tap().observer(), nullptr);
    }
};

QTEST_MAIN(TrafficMonitorTest)
#include "test_traffic_monitor.moc"
