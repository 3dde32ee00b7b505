// The luminosity window against the simulated board on a pseudo-terminal, in real time:
// what it programs, what it reads back, and what it leaves alone on the board.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <optional>

#include "boards/luminosity_window.h"
#include "link/link.h"
#include "protocol/frames.h"
#include "simulated_board.h"
#include "test_support.h"

using namespace trv;

namespace {
const QString kRead = QStringLiteral("Lecture effectuée avec succés.");
const QString kProgrammed = QStringLiteral("Programmation effectuée avec succés.");
const QString kError = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");

// A board image in which every byte differs from its neighbours, so a shifted or stray
// write shows.
sim::Eeprom patterned(quint8 mode, quint8 period, quint8 threshold) {
    sim::Eeprom e;
    for (int i = 0; i < 128; ++i) e[std::size_t(i)] = quint8(0x5A ^ (i * 37));
    e[60] = mode;
    e[61] = period;
    e[62] = threshold;
    return e;
}

// A read and a write as "Lit" and "Envoi" send them, each opened by its burst.
using test::wholeRead;
QByteArray closing() { return test::closingBurst(); }

QByteArray litFrames() { return test::readingFrames() + closing(); }

QByteArray envoiFrames(const sim::Eeprom& written) {
    return test::wakeBurst() + wholeRead() + test::wholeWrite(written) + frames::frame("OOO") +
           frames::frame("LLL") + closing();
}

std::optional<int> checkedOption(const LuminosityWindow& w) {
    std::optional<int> found;
    for (int i = 0; i < 7; ++i)
        if (w.Option1[std::size_t(i)]->isChecked()) {
            if (found) return -1;  // two at once would be a broken group
            found = i;
        }
    return found;
}

}  // namespace

class LumTest : public test::SharedBoardTest {
    Q_OBJECT

    std::unique_ptr<LuminosityWindow> window(Prompts& prompts) { return window(prompts, *link); }
    std::unique_ptr<LuminosityWindow> window(Prompts& prompts, Link& l) {
        auto w = std::make_unique<LuminosityWindow>(l, prompts,
                                                    [this] { return test::replyControl(reply); });
        w->show();
        return w;
    }

private slots:
    void colourSettingGatesTheSensorControls() {
        test::MessageRecorder prompts;
        auto w = window(prompts);
        w->dureLdr->setValue(30);
        w->applyColourSetting(false);
        QVERIFY(!w->Option1[0]->isEnabled());
        QVERIFY(!w->dureLdr->isEnabled());
        QVERIFY(!w->compLdr->isEnabled());
        // The fixed levels keep their own state, "20%" included.
        QVERIFY(w->Option1[1]->isEnabled() && w->Option1[5]->isEnabled());
        QVERIFY(!w->Option1[6]->isEnabled());
        QCOMPARE(w->dureLdr->value(), 30);
        w->applyColourSetting(true);
        QVERIFY(w->Option1[0]->isEnabled() && w->dureLdr->isEnabled() && w->compLdr->isEnabled());
        QVERIFY(!w->Option1[6]->isEnabled());
    }

    // Every mode the user can pick, with periods and thresholds at and between their ends,
    // programmed and read back; the other 125 bytes of the board never move. The first row
    // runs against a board that answers at the real line rate.
    void programThenRead_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("periodByte");
        QTest::addColumn<bool>("pacing");
        QTest::newRow("Capteur, 1 s, night, paced") << 0 << 1 << 15 << 0x21 << 0x01 << true;
        QTest::newRow("100%, 5 s, 4") << 1 << 5 << 4 << 0x02 << 0x09 << false;
        QTest::newRow("80%, 128 s, day") << 2 << 128 << 0 << 0x04 << 0xFF << false;
        QTest::newRow("60%, 64 s, 7") << 3 << 64 << 7 << 0x08 << 0x7F << false;
        QTest::newRow("50%, 2 s, 1") << 4 << 2 << 1 << 0x10 << 0x03 << false;
        QTest::newRow("40%, 100 s, 9") << 5 << 100 << 9 << 0x20 << 0xC7 << false;
    }
    void programThenRead() {
        QFETCH(int, option);
        QFETCH(int, period);
        QFETCH(int, threshold);
        QFETCH(int, mode);
        QFETCH(int, periodByte);
        QFETCH(bool, pacing);
        test::MessageRecorder recorder;
        const auto [paced, b, l] = boardFor(pacing);
        QVERIFY(b);
        const sim::Eeprom before = patterned(0x40, 0x0A, 0x0C);
        b->setEeprom(before);

        auto w = window(recorder, *l);
        w->Option1[std::size_t(option)]->click();
        w->dureLdr->setValue(period);
        w->compLdr->setValue(threshold);
        w->butEcritLum->click();

        sim::Eeprom expected = before;
        expected[60] = quint8(mode);
        expected[61] = quint8(periodByte);
        expected[62] = quint8(threshold);
        QCOMPARE(b->eeprom(), expected);
        QTRY_COMPARE(b->received(), envoiFrames(expected));
        QCOMPARE(recorder.texts(), QStringList{kProgrammed});

        // A fresh window starts at "100%", 5 s and 4: the read has to bring every value.
        recorder.clear();
        b->clearReceived();
        auto r = window(recorder, *l);
        r->butLitLum->click();
        QCOMPARE(checkedOption(*r), std::optional<int>(option));
        QCOMPARE(r->dureLdr->value(), period);
        QCOMPARE(r->compLdr->value(), threshold);
        QCOMPARE(recorder.texts(), QStringList{kRead});
        QTRY_COMPARE(b->received(), litFrames());
        QCOMPARE(b->eeprom(), expected);
    }

    // Values only a read can put in the window, and what "Envoi" makes of them.
    void readThenProgram_data() {
        QTest::addColumn<int>("boardMode");
        QTest::addColumn<int>("boardThreshold");
        QTest::addColumn<std::optional<int>>("shownOption");
        QTest::addColumn<int>("shownThreshold");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("writtenMode");
        QTest::addColumn<int>("writtenThreshold");
        QTest::newRow("20% and 40% bits: 20% goes back as 40")
            << 0x60 << 0x03 << std::optional<int>(6) << 3 << false
            << QStringLiteral("Commutation JOUR/NUIT") << 0x40 << 0x03;
        // The kept byte is shown on the slider's decimal scale.
        QTest::newRow("no option, threshold 1F: both bytes stay")
            << 0x80 << 0x1F << std::optional<int>() << 15 << true
            << QStringLiteral("Seuil lu: 31 (conservé)") << 0x80 << 0x1F;
        QTest::newRow("threshold 20 is 32")
            << 0x02 << 0x20 << std::optional<int>(1) << 15 << true
            << QStringLiteral("Seuil lu: 32 (conservé)") << 0x02 << 0x20;
    }
    void readThenProgram() {
        QFETCH(int, boardMode);
        QFETCH(int, boardThreshold);
        QFETCH(std::optional<int>, shownOption);
        QFETCH(int, shownThreshold);
        QFETCH(bool, kept);
        QFETCH(QString, caption);
        QFETCH(int, writtenMode);
        QFETCH(int, writtenThreshold);
        test::MessageRecorder recorder;

        const sim::Eeprom before = patterned(quint8(boardMode), 0x0A, quint8(boardThreshold));
        board->setEeprom(before);

        auto lum = window(recorder);
        LuminosityWindow& w = *lum;
        w.butLitLum->click();
        QCOMPARE(checkedOption(w), shownOption);
        QCOMPARE(w.dureLdr->value(), 6);
        QCOMPARE(w.compLdr->value(), shownThreshold);
        QCOMPARE(w.keptThreshold().has_value(), kept);
        QCOMPARE(w.text4->text(), caption);

        w.butEcritLum->click();
        sim::Eeprom expected = before;
        expected[60] = quint8(writtenMode);
        expected[61] = 0x0B;  // an even byte read as 6 s goes back odd
        expected[62] = quint8(writtenThreshold);
        QCOMPARE(board->eeprom(), expected);
        QCOMPARE(recorder.texts(), QStringList({kRead, kProgrammed}));

        if (kept) {
            // Moving the slider is the user's choice: the board's byte gives way to it.
            w.compLdr->triggerAction(QAbstractSlider::SliderSingleStepSub);
            QVERIFY(!w.keptThreshold());
            QCOMPARE(w.text4->text(), QStringLiteral("Commutation JOUR/NUIT"));
            QCOMPARE(w.compLdr->value(), 14);
        }
    }

    // A board that does not answer: nothing is written, the controls stay blank, and the
    // reply control decides between the warning and the closing burst.
    void silentBoard_data() {
        QTest::addColumn<bool>("program");
        QTest::addColumn<QString>("replyControl");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("frames");
        QTest::newRow("Lit, OUI: warning, no RRR")
            << false << QStringLiteral("OUI") << QStringList{kError} << test::readingFrames();
        QTest::newRow("Envoi, NON: no write, closing burst")
            << true << QStringLiteral("NON") << QStringList{}
            << test::wakeBurst() + wholeRead() + closing();
    }
    void silentBoard() {
        QFETCH(bool, program);
        QFETCH(QString, replyControl);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, frames);
        test::MessageRecorder recorder;
        const sim::Eeprom before = patterned(0x21, 0x09, 0x04);
        board->setEeprom(before);
        board->setFaults({true, 0, 0, false, false});
        reply = replyControl;

        auto w = window(recorder);
        (program ? w->butEcritLum : w->butLitLum)->click();
        QCOMPARE(recorder.texts(), messages);
        QTest::qWait(100);  // a closing burst that should not come has time to show
        QCOMPARE(board->received(), frames);
        QCOMPARE(board->eeprom(), before);
        QCOMPARE(w->image().text(60), QStringLiteral("Er"));
        if (!program) {
            QCOMPARE(checkedOption(*w), std::optional<int>());
            QCOMPARE(w->dureLdr->value(), 1);
            QCOMPARE(w->compLdr->value(), 1);
        }
    }
};

QTEST_MAIN(LumTest)
#include "test_luminosity_window.moc"
