// The link test: its tally and verdicts, and the window against the simulated board and
// its faults, in real time.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "protocol/frames.h"
#include "protocol/link_probe.h"
#include "simulated_board.h"
#include "tools/link_test.h"

using namespace trv;

Q_DECLARE_METATYPE(trv::sim::Faults)

class LinkTestTest : public test::SharedBoardTest {
    Q_OBJECT

private slots:
    void tallyInWords_data() {
        QTest::addColumn<QString>("probes");  // a<ms> answered, g<ms> answered after garbage,
                                              // l lost, x garbled and lost
        QTest::addColumn<QString>("answered");
        QTest::addColumn<QString>("roundTrip");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("all answered") << "a14 a15 a40"
                                      << "Réponses : 3 / 3"
                                      << "Aller-retour : min 14 ms, médiane 15 ms, max 40 ms"
                                      << "Liaison bonne";
        QTest::newRow("even count: mean of the middle two")
            << "a20 a14 a15 a40"
            << "Réponses : 4 / 4"
            << "Aller-retour : min 14 ms, médiane 17 ms, max 40 ms"
            << "Liaison bonne";
        QTest::newRow("three lost in twenty")
            << QString(QStringLiteral("a15 ").repeated(17) + QStringLiteral("l l l"))
            << "Réponses : 17 / 20"
            << "Aller-retour : min 15 ms, médiane 15 ms, max 15 ms"
            << "Liaison instable : 3 réponses perdues sur 20";
        QTest::newRow("one lost") << "a15 l"
                                  << "Réponses : 1 / 2"
                                  << "Aller-retour : min 15 ms, médiane 15 ms, max 15 ms"
                                  << "Liaison instable : 1 réponse perdue sur 2";
        QTest::newRow("silent") << "l l"
                                << "Réponses : 0 / 2"
                                << "Aller-retour : —"
                                << "Aucune réponse";
        QTest::newRow("only garbage back")
            << "x x"
            << "Réponses : 0 / 2"
            << "Aller-retour : —"
            << "Liaison instable : 2 réponses perdues sur 2, 2 brouillées";
        QTest::newRow("answered through garbage")
            << "g300 a15"
            << "Réponses : 2 / 2"
            << "Aller-retour : min 15 ms, médiane 157 ms, max 300 ms"
            << "Liaison instable : 0 réponse perdue sur 2, 1 brouillée";
    }
    void tallyInWords() {
        QFETCH(QString, probes);
        QFETCH(QString, answered);
        QFETCH(QString, roundTrip);
        QFETCH(QString, verdict);
        LinkTally tally;
        for (const QString& p : probes.split(u' ', Qt::SkipEmptyParts))
            tally.add({p[0] == u'a' || p[0] == u'g', p[0] == u'g' || p[0] == u'x',
                       Millis(p.mid(1).toInt())});
        QCOMPARE(tally.answeredText(), answered);
        QCOMPARE(tally.roundTripText(), roundTrip);
        QCOMPARE(tally.verdict(), verdict);
    }

    // A whole read is 133 answered frames and a whole write 160, each run waited for until
    // one second after its line time: at 9600 baud 2108 ms and 2333 ms from the hand-over.
    void transferForecast_data() {
        QTest::addColumn<QString>("probes");  // as tallyInWords's
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<bool>("readFits");
        QTest::addColumn<bool>("writeFits");
        QTest::addColumn<QString>("forecast");
        const QString slowRead = QStringLiteral(
            "Liaison trop lente pour une lecture complète : %1 ms par trame, il faut moins de "
            "16 ms.");
        // clang-format off
        QTest::newRow("fast link") << "a9 a10 a9" << 9600 << true << true << "Lecture et écriture complètes possibles : 9 ms par trame.";
        QTest::newRow("one late probe is not a slow link") << "a9 a400 a9" << 9600 << true << true << "Lecture et écriture complètes possibles : 9 ms par trame.";
        QTest::newRow("last that fits the write") << "a14" << 9600 << true << true << "Lecture et écriture complètes possibles : 14 ms par trame.";
        QTest::newRow("fits the read, not the write") << "a15 a15" << 9600 << true << false << "Liaison trop lente pour une écriture complète : 15 ms par trame, il faut moins de 15 ms.";
        QTest::newRow("first too slow for the read") << "a16" << 9600 << false << false << slowRead.arg(16);
        QTest::newRow("20 ms a frame") << QString(QStringLiteral("a20 ").repeated(20)) << 9600 << false << false << slowRead.arg(20);
        QTest::newRow("a faster line leaves less room") << "a11" << 19200 << true << false << "Liaison trop lente pour une écriture complète : 11 ms par trame, il faut moins de 11 ms.";
        QTest::newRow("fast, but answers lost") << "a9 l a9" << 9600 << true << true << "Assez rapide (9 ms par trame), mais une seule réponse perdue fait échouer une lecture complète.";
        QTest::newRow("no answer, no forecast") << "l l" << 9600 << false << false << "";
        // clang-format on
    }
    void transferForecast() {
        QFETCH(QString, probes);
        QFETCH(int, baudRate);
        QFETCH(bool, readFits);
        QFETCH(bool, writeFits);
        QFETCH(QString, forecast);
        LinkTally tally;
        for (const QString& p : probes.split(u' ', Qt::SkipEmptyParts))
            tally.add({p[0] == u'a', false, Millis(p.mid(1).toInt())});
        QCOMPARE(tally.transferVerdict(baudRate), forecast);
        if (!tally.median()) return;
        const TransferForecast f = forecastTransfers(*tally.median(), baudRate);
        QCOMPARE(f.readFits, readFits);
        QCOMPARE(f.writeFits, writeFits);
    }

    void againstTheBoard_data() {
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("answered");
        QTest::addColumn<int>("garbled");
        // Lower bound of the longest round trip, ms: at least the frame's own line time.
        QTest::addColumn<int>("slowest");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("forecast");  // how the forecast begins
        sim::Faults good, silent, lossy, slow, wrong, slowFrames;
        silent.silent = true;
        lossy.dropEvery = 4;
        slow.delayMs = 300;
        wrong.wrongProbe = true;
        // Well past the read's limit at 9600 baud (16 ms), so rounding of the timing cannot land on it.
        slowFrames.frameDelayMs = 25;
        const QString fits = QStringLiteral("Lecture et écriture complètes possibles : ");
        const QString tooSlow = QStringLiteral("Liaison trop lente pour une lecture complète : ");
        QTest::newRow("good link") << good << 8 << 8 << 0 << 8 << "Liaison bonne" << fits;
        QTest::newRow("one reply in four lost")
            << lossy << 8 << 6 << 0 << 8 << "Liaison instable : 2 réponses perdues sur 8"
            << "Assez rapide (";
        QTest::newRow("silent board") << silent << 3 << 0 << 0 << 0 << "Aucune réponse"
                                      << "";
        QTest::newRow("slow but within the second")
            << slow << 3 << 3 << 0 << 300 << "Liaison bonne" << tooSlow;
        QTest::newRow("25 ms on every frame")
            << slowFrames << 5 << 5 << 0 << 25 << "Liaison bonne" << tooSlow;
        QTest::newRow("refusal before each acknowledgement")
            << wrong << 3 << 3 << 3 << 300
            << "Liaison instable : 0 réponse perdue sur 3, 3 brouillées" << tooSlow;
    }
    void againstTheBoard() {
        QFETCH(sim::Faults, faults);
        QFETCH(int, count);
        QFETCH(int, answered);
        QFETCH(int, garbled);
        QFETCH(int, slowest);
        QFETCH(QString, verdict);
        QFETCH(QString, forecast);
        board->setFaults(faults);
        test::MessageRecorder prompts;
        LinkTest w(*link, prompts);
        w.show();
        QCOMPARE(w.nombre->value(), LinkTest::kDefaultProbes);
        w.nombre->setValue(count);
        QSignalSpy finished(&w, &LinkTest::finished);
        w.butDemarrer->click();
        QVERIFY(link->busy());
        QVERIFY(finished.wait(count * 2000));
        QVERIFY(!link->busy());
        QCOMPARE(w.tally().sent(), count);
        QCOMPARE(w.tally().answered(), answered);
        QCOMPARE(w.tally().garbled(), garbled);
        if (answered > 0) {
            QVERIFY(w.tally().slowest()->count() >= slowest);
            QVERIFY(w.tally().slowest()->count() < 1000);
        }
        QCOMPARE(w.verdict->text(), verdict);
        QCOMPARE(w.prevision->text().isEmpty(), forecast.isEmpty());
        if (!forecast.isEmpty())
            QVERIFY2(w.prevision->text().startsWith(forecast), qPrintable(w.prevision->text()));
        // Both say all of it: a field test once saw "Liaison instable : 3 répon" cut short.
        for (const QLabel* l : {w.verdict, w.prevision})
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width(),
                     qPrintable(l->text()));
        QCOMPARE(w.reponses->text(), QStringLiteral("Réponses : %1 / %2").arg(answered).arg(count));
        QCOMPARE(w.progression->value(), count);
        QCOMPARE(board->received(), frames::frame("RRR").repeated(count));
    }

    void stopsWhenAsked() {
        test::MessageRecorder prompts;
        LinkTest w(*link, prompts);
        w.nombre->setValue(1000);
        QSignalSpy finished(&w, &LinkTest::finished);
        w.butDemarrer->click();
        QTimer::singleShot(200, w.butArreter, &QPushButton::click);
        QVERIFY(finished.wait(5000));
        QVERIFY(w.tally().sent() < 1000);
        QVERIFY(w.verdict->text().startsWith(QStringLiteral("Liaison bonne (arrêté après ")));
        QVERIFY(w.butDemarrer->isEnabled());
    }

    // Without a port: tests/gui/boards/test_without_port.cpp.
    void refusesWhileBusy() {
        test::MessageRecorder recorder;
        LinkTest w(*link, recorder);
        link->beginExchange();
        w.butDemarrer->click();
        link->endExchange();
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(!w.running());
        QCOMPARE(w.verdict->text(), QStringLiteral("Refusé : une autre opération est en cours."));
        QTest::qWait(100);
        QCOMPARE(board->received(), QByteArray());
    }
};

QTEST_MAIN(LinkTestTest)
#include "test_link_test.moc"
