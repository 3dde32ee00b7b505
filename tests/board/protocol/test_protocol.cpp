// Frames, waits and whole-image transfers, byte for byte, on a scripted port and clock.
#include <QApplication>
#include <QTest>

#include "image/eeprom_image.h"
#include "link/link.h"
#include "link/window_exchange.h"
#include "protocol/board_operations.h"
#include "protocol/exchange.h"
#include "protocol/frames.h"
#include "protocol/image_transfer.h"
#include "protocol/link_probe.h"
#include "test_support.h"

using namespace trv;

namespace {
QByteArray ack() { return frames::kAck; }

using test::readReply;
using test::readTransaction;
}  // namespace

class ProtocolTest : public QObject {
    Q_OBJECT
    test::FakeClock clock;
    test::FakePort* port = nullptr;
    std::unique_ptr<Link> link;
    EepromImage image;

private slots:
    void init() {
        clock = {};
        auto p = std::make_unique<test::FakePort>(clock);
        port = p.get();
        link = std::make_unique<Link>(std::move(p));
        link->port().open(3);
        image.fill(QString(), CellState::Untouched);
    }
    void frameBytes() {
        QCOMPARE(frames::frame("SSS"), QByteArray::fromHex("5F33310253535303"));
        QCOMPARE(frames::frame("Y3C"), QByteArray::fromHex("5F33310259334303"));
        QCOMPARE(frames::burst("SSS", 5), QByteArray::fromHex("5F33310253535303").repeated(5));
        QCOMPARE(frames::burst("SSS", 11).size(), 88);
        QCOMPARE(frames::dataCommand(QStringLiteral("F")), QByteArray("Y0F"));
        QCOMPARE(frames::dataCommand(QStringLiteral("7f")), QByteArray("Y7F"));
    }

    void readThreshold_data() {
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<bool>("failed");
        QTest::newRow("whole reply") << -1 << false;
        QTest::newRow("788 characters") << 788 << false;
        QTest::newRow("787 characters") << 787 << true;
        QTest::newRow("silent") << 0 << true;
    }
    void readThreshold() {
        QFETCH(int, replyLength);
        QFETCH(bool, failed);
        // Noise from before the transfer must never reach the parser.
        port->answerAfter(40, QByteArray("garbage before the transaction"));
        port->answerAfter(readTransaction().size(),
                          readReply([](int i) { return (i * 7 + 3) & 0xFF; }, replyLength));
        const Millis start = clock.now();
        ReadOutcome result;
        {
            Exchange ex(link->port(), clock);
            result = LIT_24C01(ex, image);
        }
        QCOMPARE(result == ReadOutcome::TimedOut, failed);
        QCOMPARE(port->written, test::wholeRead());
        QVERIFY(!port->m_dtr);
        for (int i = 0; i < 128; ++i) {
            const QString expected =
                failed ? QStringLiteral("Er")
                       : QString::number((i * 7 + 3) & 0xFF, 16).toUpper().rightJustified(2, u'0');
            QCOMPARE(image.text(i), expected);
            QCOMPARE(image.state(i), failed ? CellState::Failed : CellState::Read);
        }
        // Settle, then the line time of the 1,064 bytes, then (on failure) more than 1 s.
        const Millis elapsed = clock.now() - start;
        QVERIFY(elapsed >= Millis(500 + 1109));
        if (failed) QVERIFY(elapsed > Millis(500 + 1109 + 1000));
        QCOMPARE(port->bytesWaiting(), 0);
    }

    void readCopiesCharactersAsTheyAre() {
        QByteArray reply = readReply([](int) { return 0; });
        reply[23] = 'g';
        reply[24] = 'Z';
        port->answerAfter(40 + readTransaction().size() + 8, reply);
        Exchange ex(link->port(), clock);
        QCOMPARE(LIT_24C01(ex, image, ReadVariant::ClosingRrr), ReadOutcome::Read);
        QCOMPARE(image.text(0), QStringLiteral("gZ"));
        QCOMPARE(image.text(1), QStringLiteral("00"));
        QVERIFY(port->written.endsWith(frames::frame("X6X") + frames::frame("RRR")));
    }

    // Found by the soak: a reply shifted by line noise or by the tail of an earlier reply
    // filled the grid with bytes taken from the wrong places and reported success.
    void readRefusesRepliesOutOfPlace_data() {
        QTest::addColumn<QByteArray>("reply");
        const QByteArray good = readReply([](int i) { return i; });
        QTest::newRow("noise in the middle") << QByteArray(good).insert(400, "\x7F\x31\x02");
        QTest::newRow("six noise bytes") << QByteArray(good).insert(200, "A5A5A5");
        QTest::newRow("earlier acknowledgement first") << ack() + good;
        QTest::newRow("a data reply lost") << QByteArray(good).remove(300, 6) + ack().repeated(2);
        QTest::newRow("ETX lost") << QByteArray(good).remove(25, 1) + ack();
    }
    void readRefusesRepliesOutOfPlace() {
        QFETCH(QByteArray, reply);
        port->answerAfter(40 + readTransaction().size(), reply);
        Exchange ex(link->port(), clock);
        QCOMPARE(LIT_24C01(ex, image), ReadOutcome::TimedOut);
        for (int i = 0; i < 128; ++i) QCOMPARE(image.text(i), QStringLiteral("Er"));
        QCOMPARE(port->bytesWaiting(), 0);
    }

    void writeThreshold_data() {
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<bool>("failed");
        QTest::newRow("800") << 800 << false;
        QTest::newRow("799") << 799 << true;
        QTest::newRow("801") << 801 << true;
    }
    void writeThreshold() {
        QFETCH(int, replyLength);
        QFETCH(bool, failed);
        for (int i = 0; i < 128; ++i) image.setText(i, byteText(unsigned(i)));
        port->answerAfter(40 + 1280, QByteArray(replyLength, '\x06'));
        WriteOutcome outcome;
        {
            Exchange ex(link->port(), clock);
            outcome = ECRIT_24C01(ex, image);
        }
        QCOMPARE(outcome, failed ? WriteOutcome::TimedOut : WriteOutcome::Written);
        test::Image identity;
        for (int i = 0; i < 128; ++i) identity[std::size_t(i)] = quint8(i);
        QCOMPARE(port->written, test::wholeWrite(identity));
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(image.text(i), failed ? QStringLiteral("Er") : byteText(unsigned(i)));
            QCOMPARE(image.state(i), failed ? CellState::Failed : CellState::Written);
        }
    }

    void writeRefusesCellsThatAreNotBytes_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0 << QString();
        QTest::newRow("Er after a failed read") << 77 << QStringLiteral("Er");
        QTest::newRow("not hexadecimal") << 127 << QStringLiteral("ZZ");
    }
    void writeRefusesCellsThatAreNotBytes() {
        QFETCH(int, address);
        QFETCH(QString, text);
        for (int i = 0; i < 128; ++i) image.setText(i, QStringLiteral("AB"));
        image.setText(address, text);
        Exchange ex(link->port(), clock);
        QCOMPARE(ECRIT_24C01(ex, image), WriteOutcome::Refused);
        QVERIFY(port->written.isEmpty());
        QCOMPARE(firstNonByteCell(image.texts()), std::optional(address));
        QVERIFY(unsendableCellMessage(address).contains(QStringLiteral("case %1 ").arg(address)));
        QCOMPARE(image.text(address), text);
    }

    void replyWaitTestsTimeOutFirst() {
        // A count that is only reached when the second is over counts as a time-out.
        Exchange ex(link->port(), clock);
        const Millis start = clock.now();
        int calls = 0;
        const auto outcome = ex.waitReply(
            [&](qint64) { return ++calls && clock.now() - start > Millis(1000); }, start);
        QCOMPARE(outcome, Exchange::Outcome::TimedOut);
    }

    // The device goes away at some point of a read or a write: the transfer stops there, marks
    // the grid as failed, sends nothing more and drops the port-open flag, without waiting out
    // any time-out.
    void lostPortEndsTheTransfer_data() {
        QTest::addColumn<bool>("write");
        QTest::addColumn<qint64>("loseAfterBytes");
        QTest::addColumn<int>("loseAtMs");  // from the start, on the exchange's clock
        QTest::newRow("read, after the opening burst") << false << qint64(40) << -1;
        QTest::newRow("read, amid the transaction") << false << qint64(40 + 50 * 8) << -1;
        QTest::newRow("read, during the settle wait") << false << qint64(-1) << 200;
        QTest::newRow("read, during the reply wait") << false << qint64(-1) << 1900;
        QTest::newRow("write, amid the blocks") << true << qint64(40 + 70 * 8) << -1;
        QTest::newRow("write, during the reply wait") << true << qint64(-1) << 2100;
    }
    void lostPortEndsTheTransfer() {
        QFETCH(bool, write);
        QFETCH(qint64, loseAfterBytes);
        QFETCH(int, loseAtMs);
        auto owned = std::make_unique<test::FakePort>(clock);
        test::FakePort& fake = *owned;
        Link onClock(std::move(owned), clock);
        QVERIFY(onClock.port().open(3));
        onClock.setPortOpen(true);
        for (int i = 0; i < 128; ++i) image.setText(i, QStringLiteral("AB"));
        const Millis start = clock.now();
        fake.loseAfterBytes = loseAfterBytes;
        if (loseAtMs >= 0) fake.loseAt = start + Millis(loseAtMs);
        bool failedTransfer;
        qint64 writtenAtEnd;
        {
            test::MessageRecorder prompts;
            WindowExchange ex(onClock, prompts, nullptr, {});
            failedTransfer = write ? ECRIT_24C01(ex, image) == WriteOutcome::Lost
                                   : LIT_24C01(ex, image) == ReadOutcome::Lost;
            // What an operation does next goes nowhere.
            ex.sendBurst("RRR", 5);
            ex.settle();
            QVERIFY(ex.portLost());
            QCOMPARE(ex.lostPortNumber(), 3);
            writtenAtEnd = fake.written.size();
        }
        QVERIFY(failedTransfer);
        QVERIFY(!onClock.portOpen());
        QVERIFY(!onClock.port().isOpen());
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(image.text(i), QStringLiteral("Er"));
            QCOMPARE(image.state(i), CellState::Failed);
        }
        // Nothing written once the loss was seen; ended within one wait slice of the loss.
        if (loseAfterBytes >= 0) QCOMPARE(writtenAtEnd, loseAfterBytes);
        QVERIFY(fake.lostAt.count() >= 0);
        QVERIFY(clock.now() - fake.lostAt <= Exchange::kSlice);
        if (loseAtMs >= 0) QVERIFY(fake.lostAt - start <= Millis(loseAtMs) + Exchange::kSlice);
        QVERIFY(!fake.written.endsWith(frames::burst("RRR", 5)));
    }

    // A port lost at any step of an operation ends it as PortLost, whatever it had concluded
    // by then: a refused cell, a done programming, a read-back that matched.
    void lostPortOutranksEveryOutcome_data() {
        QTest::addColumn<int>("operation");  // 0 counter read, 1 counter, 2 luminosity
        QTest::addColumn<bool>("readBack");
        QTest::addColumn<bool>("garbageCell");  // the board's image holds "G0" at cell 100
        QTest::addColumn<qint64>("loseAfterBytes");
        QTest::addColumn<int>("verification");  // -1: none, else Verification::Outcome
        constexpr qint64 wake = 88, read = 40 + 1064, write = 40 + 1280, frame = 8;
        using V = board::Verification::Outcome;
        // clang-format off
        QTest::newRow("counter read, amid the read") << 0 << false << false << wake + frame + 400 << -1;
        QTest::newRow("counter read, closing burst") << 0 << false << false << wake + frame + read + 1 << -1;
        QTest::newRow("refused cell, closing burst") << 1 << false << true << wake + read + 1 << -1;
        QTest::newRow("counter, amid the write") << 1 << false << false << wake + read + 600 << -1;
        QTest::newRow("luminosity, after OOO") << 2 << false << false << wake + read + write + frame << -1;
        QTest::newRow("read-back, amid its read") << 1 << true << false << wake + read + write + 6 * frame + 500 << int(V::PortLost);
        QTest::newRow("read-back, closing burst after it") << 1 << true << false << wake + read + write + 6 * frame + read + 1 << int(V::Matches);
        // clang-format on
    }
    void lostPortOutranksEveryOutcome() {
        QFETCH(int, operation);
        QFETCH(bool, readBack);
        QFETCH(bool, garbageCell);
        QFETCH(qint64, loseAfterBytes);
        QFETCH(int, verification);
        const auto byteAt = [](int i) { return (i * 5 + 1) & 0xFF; };
        QByteArray reply = readReply(byteAt);
        if (garbageCell) reply.replace(20 + 6 * 100 + 3, 2, "G0");
        port->answerAfter(88 + (operation == 0 ? 8 : 0) + 40 + readTransaction().size(), reply);
        port->answerAfter(40 + 1280, ack().repeated(160));
        board::CounterSettings settings;
        // The image the board holds already: the read-back finds what was sent.
        const CellTexts cells = [&] {
            CellTexts t;
            for (int i = 0; i < kImageSize; ++i)
                t[std::size_t(i)] = QString::fromLatin1(test::hexByte(byteAt(i)));
            return t;
        }();
        settings.values[0] = counter::decodeField(cells, 0);
        settings.values[1] = counter::decodeField(cells, 1);
        port->loseAfterBytes = loseAfterBytes;
        board::Result r;
        {
            Exchange ex(link->port(), clock);
            r = operation == 0   ? board::readCounter(ex, board::ReplyControl::Non)
                : operation == 1 ? board::programCounter(ex, board::ReplyControl::Oui, settings)
                                 : board::programLuminosity(ex, board::ReplyControl::Oui, {});
            if (readBack) {
                QCOMPARE(r.outcome, board::Outcome::Done);
                // The counter's own cells come back as encoded: answer with what was sent.
                port->answerAfter(8 + 40 + 40 + readTransaction().size(), readReply([&](int i) {
                                      return int(cellValue(r.cells[std::size_t(i)]));
                                  }));
                r = board::readBack(ex, r, true);
            }
        }
        QCOMPARE(r.outcome, board::Outcome::PortLost);
        QCOMPARE(r.lostPort, 3);
        QCOMPARE(port->written.size() >= loseAfterBytes, true);
        QCOMPARE(r.verification ? int(r.verification->outcome) : -1, verification);
    }

    // The one presence probe, read two ways: detection takes exactly one acknowledgement's
    // worth at a time; the link measurement drops what was waiting, then gathers bytes.
    void probeReadings_data() {
        QTest::addColumn<QByteArray>("stale");  // waiting before the probe
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<bool>("gathered");
        QTest::addColumn<bool>("garbled");  // as the measurement counts it
        const QByteArray nak("31\x02\x15\x03", 5);
        QTest::newRow("acknowledgement") << QByteArray() << ack() << true << true << false;
        QTest::newRow("refusal and acknowledgement at once")
            << QByteArray() << nak + ack() << false << true << true;
        QTest::newRow("three noise bytes first")
            << QByteArray() << "\x7F\x7F\x7F" + ack() << false << true << true;
        QTest::newRow("refusal only") << QByteArray() << nak << false << false << true;
        QTest::newRow("silence") << QByteArray() << QByteArray() << false << false << false;
        QTest::newRow("stale acknowledgement, then silence")
            << ack() << QByteArray() << true << false << false;
    }
    void probeReadings() {
        QFETCH(QByteArray, stale);
        QFETCH(QByteArray, reply);
        QFETCH(bool, exact);
        QFETCH(bool, gathered);
        QFETCH(bool, garbled);
        for (const ProbeReading reading : {ProbeReading::Exact, ProbeReading::Gathered}) {
            init();
            port->answerAfter(0, stale);
            port->write({});  // the stale bytes arrive before the probe
            port->answerAfter(8, reply);
            Exchange ex(link->port(), clock);
            const Millis start = clock.now();
            const ProbeResult probe = probeOnce(ex, reading);
            QCOMPARE(port->written, frames::frame("RRR"));
            if (reading == ProbeReading::Exact) {
                QCOMPARE(probe.answered, exact);
            } else {
                QCOMPARE(probe.answered, gathered);
                QCOMPARE(probe.garbled, garbled);
            }
            // Without the acknowledgement the whole second is waited out, never more.
            if (!probe.answered) QVERIFY(clock.now() - start > Millis(1000));
            QVERIFY(clock.now() - start < Millis(1100));
            QCOMPARE(probe.lostPort, 0);
        }
    }

    // A port that vanishes under the detection probe ends as a port that does not open.
    void detectionCountsAVanishedPortAsAbsent() {
        port->openable = [](int n) { return n == 2 || n == 4; };
        port->answerAfter(8, ack());
        port->loseAfterBytes = 16;  // during the second probe
        Exchange ex(link->port(), clock);
        const Millis start = clock.now();
        QCOMPARE(board::detectPort(ex, 2), board::PortState::Board);
        QCOMPARE(board::detectPort(ex, 4), board::PortState::Absent);
        QCOMPARE(board::detectPort(ex, 5), board::PortState::Absent);
        QVERIFY(clock.now() - start < Millis(100));
    }

    void windowExchangeMarksTheLinkBusy() {
        QVERIFY(!link->busy());
        {
            test::MessageRecorder prompts;
            WindowExchange ex(*link, prompts, nullptr, {});
            QVERIFY(link->busy());
        }
        QVERIFY(!link->busy());
    }
};

QTEST_MAIN(ProtocolTest)
#include "test_protocol.moc"
