// The board library's operations against the simulated board on a pseudo-terminal, without
// any window: frames, outcomes and what the board holds afterwards, grouped by operation,
// with the reply-control rows.
#include <QTest>

#include "link/link.h"
#include "protocol/board_operations.h"
#include "protocol/exchange.h"
#include "protocol/frames.h"
#include "protocol/link_probe.h"
#include "settings/luminosity_codec.h"
#include "settings/parameter_map.h"
#include "simulated_board.h"
#include "test_support.h"

using namespace trv;
using board::Outcome;
using board::ReplyControl;
using sim::Eeprom;

Q_DECLARE_METATYPE(trv::board::Outcome)
Q_DECLARE_METATYPE(trv::board::ReplyControl)
Q_DECLARE_METATYPE(trv::board::PortState)
Q_DECLARE_METATYPE(trv::sim::Faults)

namespace {
const QByteArray kWake11 = test::wakeBurst();
const QByteArray kPpp = frames::frame("PPP");
QByteArray readFrames(bool closingRrr = false) {
    return test::wholeRead() + (closingRrr ? frames::frame("RRR") : QByteArray());
}

Eeprom patterned() {
    Eeprom e = sim::presetImage(sim::Preset::Signed);
    for (int a = 74; a < 128; ++a) e[std::size_t(a)] = quint8(a * 3);
    return e;
}

CellTexts texts(const Eeprom& e) {
    ImageBytes b;
    std::copy(e.begin(), e.end(), b.begin());
    return cellTexts(b);
}
}  // namespace

class BoardOperationsTest : public test::SharedBoardTest {
    Q_OBJECT

    Exchange exchange() { return Exchange(link->port(), link->clock()); }

private slots:
    void reads_data() {
        QTest::addColumn<int>("operation");  // 0 counter, 1 luminosity, 2 switches
        QTest::addColumn<ReplyControl>("reply");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("blank");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("closing");
        QTest::addColumn<bool>("garbage");  // data replies that are not bytes
        // clang-format off
        QTest::newRow("counter OUI") << 0 << ReplyControl::Oui << false << false << Outcome::Done << true << false;
        QTest::newRow("counter OUI silent") << 0 << ReplyControl::Oui << true << false << Outcome::BoardSilent << false << false;
        QTest::newRow("counter NON silent") << 0 << ReplyControl::Non << true << false << Outcome::BoardSilent << true << false;
        QTest::newRow("counter OUI blank") << 0 << ReplyControl::Oui << false << true << Outcome::SignatureMismatch << false << false;
        QTest::newRow("counter NON blank") << 0 << ReplyControl::Non << false << true << Outcome::Done << true << false;
        QTest::newRow("luminosity OUI blank") << 1 << ReplyControl::Oui << false << true << Outcome::Done << true << false;
        QTest::newRow("luminosity NON silent") << 1 << ReplyControl::Non << true << false << Outcome::BoardSilent << true << false;
        QTest::newRow("switches OUI") << 2 << ReplyControl::Oui << false << false << Outcome::Done << true << false;
        QTest::newRow("switches OUI silent") << 2 << ReplyControl::Oui << true << false << Outcome::BoardSilent << false << false;
        // Frames as on a board without the signature, but nothing decoded, the link blamed.
        QTest::newRow("counter OUI garbage") << 0 << ReplyControl::Oui << false << false << Outcome::NotBytes << false << true;
        QTest::newRow("counter NON garbage") << 0 << ReplyControl::Non << false << false << Outcome::NotBytes << true << true;
        QTest::newRow("luminosity garbage") << 1 << ReplyControl::Oui << false << false << Outcome::NotBytes << true << true;
        // clang-format on
    }
    void reads() {
        QFETCH(int, operation);
        QFETCH(ReplyControl, reply);
        QFETCH(bool, silent);
        QFETCH(bool, blank);
        QFETCH(Outcome, outcome);
        QFETCH(bool, closing);
        QFETCH(bool, garbage);
        const Eeprom image = blank ? sim::presetImage(sim::Preset::Blank) : patterned();
        board->setEeprom(image);
        board->setFaults({silent, 0, 0, garbage, false});
        board::Result r;
        {
            Exchange ex = exchange();
            r = operation == 0   ? board::readCounter(ex, reply)
                : operation == 1 ? board::readLuminosity(ex, reply)
                                 : board::readSwitches(ex, reply);
        }
        QCOMPARE(r.outcome, outcome);
        if (silent || garbage)
            for (const QString& c : r.cells) QCOMPARE(c, QLatin1String(silent ? "Er" : "G0"));
        else
            QVERIFY(r.cells == texts(image));
        QTest::qWait(100);  // a closing burst that should not come has time to arrive
        QCOMPARE(board->received(), kWake11 + kPpp + readFrames(operation == 2) +
                                        (closing ? test::closingBurst() : QByteArray()));
        QCOMPARE(board->eeprom(), image);
    }

    void programming_data() {
        QTest::addColumn<bool>("luminosity");
        QTest::addColumn<ReplyControl>("reply");
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<bool>("blank");
        QTest::addColumn<bool>("requireSignature");
        QTest::addColumn<Outcome>("outcome");
        // clang-format off
        QTest::newRow("counter") << false << ReplyControl::Oui << sim::Faults{} << false << false << Outcome::Done;
        QTest::newRow("counter, blank board") << false << ReplyControl::Non << sim::Faults{} << true << false << Outcome::Done;
        QTest::newRow("counter, blank board refused") << false << ReplyControl::Oui << sim::Faults{} << true << true << Outcome::SignatureMismatch;
        QTest::newRow("counter, silent OUI") << false << ReplyControl::Oui << sim::Faults{true, 0, 0, false, false} << false << false << Outcome::BoardSilent;
        QTest::newRow("counter, garbage read") << false << ReplyControl::Oui << sim::Faults{false, 0, 0, true, false} << false << false << Outcome::NotBytes;
        QTest::newRow("luminosity") << true << ReplyControl::Oui << sim::Faults{} << false << false << Outcome::Done;
        QTest::newRow("luminosity, silent NON") << true << ReplyControl::Non << sim::Faults{true, 0, 0, false, false} << false << false << Outcome::BoardSilent;
        // clang-format on
    }
    void programming() {
        QFETCH(bool, luminosity);
        QFETCH(ReplyControl, reply);
        QFETCH(sim::Faults, faults);
        QFETCH(bool, blank);
        QFETCH(bool, requireSignature);
        QFETCH(Outcome, outcome);
        const Eeprom before = blank ? sim::presetImage(sim::Preset::Blank) : patterned();
        board->setEeprom(before);
        board->setFaults(faults);

        board::CounterSettings counterSettings;
        counterSettings.values[0] = counter::ValueText{QStringLiteral("12"), QStringLiteral("00")};
        counterSettings.values[1] = counter::ValueText{QStringLiteral("5"), QStringLiteral("50")};
        counterSettings.colours[1] = counter::ColourCode::Red;
        board::Result r;
        {
            Exchange ex = exchange();
            r = luminosity ? board::programLuminosity(ex, reply, {luminosity::kSensorOption, 3, {}})
                           : board::programCounter(ex, reply, counterSettings, requireSignature);
        }
        QCOMPARE(r.outcome, outcome);
        QTest::qWait(100);
        const QByteArray received = board->received();
        QVERIFY(received.startsWith(kWake11 + readFrames()));
        const bool wrote = outcome == Outcome::Done;
        if (!wrote) {
            QCOMPARE(board->eeprom(), before);
            const bool asleep = outcome != Outcome::BoardSilent || reply == ReplyControl::Non;
            QCOMPARE(received,
                     kWake11 + readFrames() + (asleep ? test::closingBurst() : QByteArray()));
            return;
        }
        QVERIFY(received.endsWith(frames::frame("OOO") +
                                  (luminosity ? frames::frame("LLL") : QByteArray()) +
                                  test::closingBurst()));
        const Eeprom after = board->eeprom();
        for (int i = 0; i < kImageSize; ++i)
            QCOMPARE(unsigned(after[std::size_t(i)]), cellValue(r.cells[std::size_t(i)]));
        QVERIFY(r.found == std::optional(texts(before)));
        // Only what the settings own changes; everything else goes back as read.
        for (int a = 0; a < kImageSize; ++a) {
            // The counter's colour bytes are always rewritten, from the board's own codes
            // where no colour is given.
            const bool owned = luminosity ? (a >= 60 && a <= 62)
                                          : (a <= 11 || (a >= 57 && a <= 59) ||
                                             a == counter::kFlagCell || (a >= 70 && a <= 73));
            if (!owned) QCOMPARE(after[std::size_t(a)], before[std::size_t(a)]);
        }
        if (luminosity) {
            QCOMPARE(after[60], quint8(0x21));
            QCOMPARE(after[61], quint8(5));
            QCOMPARE(after[62], before[62]);  // no threshold given: the board's byte stays
        } else {
            const CellTexts t = texts(after);
            QCOMPARE(counter::decodeField(t, 0)->integer, QStringLiteral("0000000012"));
            QCOMPARE(counter::readRangeColours(t)[1], counter::ColourCode::Red);
            QCOMPARE(counter::readFlags(t).polrel3, true);  // 12,00 above 5,50
            QVERIFY(r.countsDown);
            QVERIFY(counter::hasSignature(t));
        }
    }

    void verification_data() {
        QTest::addColumn<int>("changed");  // -1: none
        QTest::addColumn<bool>("silent");
        QTest::newRow("matches") << -1 << false;
        QTest::newRow("cell 90 differs") << 90 << false;
        QTest::newRow("silent") << -1 << true;
    }
    void verification() {
        QFETCH(int, changed);
        QFETCH(bool, silent);
        const Eeprom image = patterned();
        board->setEeprom(image);
        board->setFaults({silent, 0, 0, false, false});
        CellTexts sent = texts(image);
        sent[5] = QStringLiteral("0");  // the board holds 00: a one-digit cell is the same byte
        if (changed >= 0) sent[std::size_t(changed)] = QStringLiteral("AA");
        Exchange ex = exchange();
        const board::Verification v = board::verifyImage(ex, sent);
        using O = board::Verification::Outcome;
        QCOMPARE(v.outcome, silent ? O::BoardSilent : changed >= 0 ? O::Differs : O::Matches);
        QCOMPARE(v.firstDifference, changed >= 0 ? std::optional(changed) : std::nullopt);
    }

    void detectionAndPing_data() {
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<board::PortState>("state");
        QTest::addColumn<int>("answered");
        QTest::newRow("board") << sim::Faults{} << board::PortState::Board << 3;
        QTest::newRow("wrong answer first")
            << sim::Faults{false, 0, 0, false, true} << board::PortState::Board << 3;
        QTest::newRow("silent") << sim::Faults{true, 0, 0, false, false} << board::PortState::Free
                                << 0;
    }
    void detectionAndPing() {
        QFETCH(sim::Faults, faults);
        QFETCH(board::PortState, state);
        QFETCH(int, answered);
        board->setFaults(faults);
        Exchange ex = exchange();
        QCOMPARE(board::detectPort(ex, 3), state);
        QCOMPARE(board::detectPort(ex, 9), board::PortState::Absent);
        QVERIFY(ex.port().open(3));
        // trvctl ping's measurement: the same probe, one at a time.
        const LinkTally t = measureLink(ex, 3);
        QCOMPARE(t.sent(), 3);
        QCOMPARE(t.answered(), answered);
        if (answered) QVERIFY(*t.slowest() < Millis(1000));
    }
};

QTEST_MAIN(BoardOperationsTest)
#include "test_board_operations.moc"
