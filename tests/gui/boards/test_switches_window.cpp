// The microswitch window: its levers and descriptions on screen, and its read against the
// simulated board on a pseudo-terminal, in real time.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "boards/switches_window.h"
#include "link/link.h"
#include "protocol/frames.h"
#include "simulated_board.h"
#include "test_support.h"
#include "ui/colours.h"

using namespace trv;

namespace {
const QString kRead = QStringLiteral("Lecture effectuée avec succés.");
const QString kError = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");
const QString kUnknown = QStringLiteral("   --   ");

// The microswitch read ends its transaction with one "RRR" of its own.
QByteArray readFrames() { return test::readingFrames() + frames::frame("RRR"); }

sim::Eeprom image(quint8 sw1, quint8 sw2, quint8 variant) {
    sim::Eeprom e;
    for (int i = 0; i < 128; ++i) e[std::size_t(i)] = quint8(i);
    e[74] = sw1;
    e[75] = sw2;
    e[76] = variant;
    return e;
}

// Lever value and description colour of every switch, as "bank:switch=value/colour".
QStringList display(const SwitchesWindow& w) {
    QStringList s;
    for (int i = 0; i < 8; ++i) {
        for (auto [name, lever, box] :
             {std::tuple{"SW1", w.SW1[std::size_t(i)], w.Text3[std::size_t(i)]},
              std::tuple{"SW2", w.SW2[std::size_t(i)], w.Text2[std::size_t(i)]}}) {
            const auto bg = colour::background(box);
            s << QStringLiteral("%1:%2=%3/%4")
                     .arg(QLatin1String(name))
                     .arg(i + 1)
                     .arg(lever->value())
                     .arg(bg == colour::kGreen   ? "green"
                          : bg == colour::kWhite ? "white"
                                                 : "other");
        }
    }
    return s;
}

// The display the board's bytes call for.
QStringList expectedDisplay(quint8 sw1, quint8 sw2) {
    QStringList s;
    for (int i = 0; i < 8; ++i)
        for (auto [name, byte] : {std::pair{"SW1", sw1}, std::pair{"SW2", sw2}}) {
            const bool on = byte & (1 << i);
            s << QStringLiteral("%1:%2=%3/%4")
                     .arg(QLatin1String(name))
                     .arg(i + 1)
                     .arg(on ? 0 : 1)
                     .arg(on ? "green" : "white");
        }
    return s;
}

// Some switches turned ON by the user, the way a second read finds them.
void turnSomeOn(SwitchesWindow& w) {
    for (int i : {1, 4, 7}) QTest::mouseClick(w.Text3[std::size_t(i)], Qt::LeftButton);
    for (int i : {0, 6}) w.SW2[std::size_t(i)]->triggerAction(QAbstractSlider::SliderSingleStepSub);
}

}  // namespace

class SwTest : public test::SharedBoardTest {
    Q_OBJECT

private slots:
    // A description and its lever always agree, whichever of the two the user clicks.
    void clicksTurnASwitchOver_data() {
        QTest::addColumn<bool>("bank1");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("onDescription");
        QTest::newRow("Text3(0)") << true << 0 << true;
        QTest::newRow("Text2(7)") << false << 7 << true;
        QTest::newRow("SW1(5)") << true << 5 << false;
        QTest::newRow("SW2(2)") << false << 2 << false;
    }
    void clicksTurnASwitchOver() {
        QFETCH(bool, bank1);
        QFETCH(int, index);
        QFETCH(bool, onDescription);
        test::MessageRecorder recorder;
        SwitchesWindow w(*link, recorder, [this] { return test::replyControl(reply); });
        w.show();
        const QStringList allOff = expectedDisplay(0, 0);
        QCOMPARE(display(w), allOff);

        QLineEdit* box = (bank1 ? w.Text3 : w.Text2)[std::size_t(index)];
        QScrollBar* lever = (bank1 ? w.SW1 : w.SW2)[std::size_t(index)];
        const auto click = [&](bool toOn) {
            if (onDescription)
                QTest::mouseClick(box, Qt::LeftButton);
            else
                lever->triggerAction(toOn ? QAbstractSlider::SliderSingleStepSub
                                          : QAbstractSlider::SliderSingleStepAdd);
        };
        click(true);
        const quint8 bit = quint8(1 << index);
        QCOMPARE(display(w), expectedDisplay(bank1 ? bit : 0, bank1 ? 0 : bit));
        click(false);
        QCOMPARE(display(w), allOff);
        QTest::qWait(20);
        QCOMPARE(board->received(), QByteArray());  // on screen only
    }

    // The banks and the colour variant as the board reports them. Every read first shows
    // every lever OFF and the variant unknown, whatever the user had set. The last row runs
    // at the real line rate.
    void readShowsTheBoard_data() {
        QTest::addColumn<int>("sw1");
        QTest::addColumn<int>("sw2");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("pacing");
        QTest::newRow("05 80 T") << 0x05 << 0x80 << 0x54 << QStringLiteral("TRV trois couleurs.")
                                 << false;
        QTest::newRow("00 FF M") << 0x00 << 0xFF << 0x4D << QStringLiteral("TRV une couleur.   ")
                                 << false;
        QTest::newRow("FF 00 t, paced") << 0xFF << 0x00 << 0x74 << kUnknown << true;
    }
    void readShowsTheBoard() {
        QFETCH(int, sw1);
        QFETCH(int, sw2);
        QFETCH(int, variant);
        QFETCH(QString, label);
        QFETCH(bool, pacing);
        test::MessageRecorder recorder;
        const auto [paced, b, l] = boardFor(pacing);
        QVERIFY(b);
        const sim::Eeprom board74 = image(quint8(sw1), quint8(sw2), quint8(variant));
        b->setEeprom(board74);

        SwitchesWindow w(*l, recorder, [this] { return test::replyControl(reply); });
        w.show();
        w.label30->setText(QStringLiteral("TRV trois couleurs."));
        turnSomeOn(w);
        // What the window shows while the board is being asked: a timer runs while the window
        // keeps painting between the slices of a wait.
        QStringList duringRead;
        QString labelDuringRead;
        QTimer::singleShot(0, &w, [&] {
            duringRead = display(w);
            labelDuringRead = w.label30->text();
        });
        w.litSw->click();

        QCOMPARE(duringRead, expectedDisplay(0, 0));
        QCOMPARE(labelDuringRead, kUnknown);
        QCOMPARE(display(w), expectedDisplay(quint8(sw1), quint8(sw2)));
        QCOMPARE(w.label30->text(), label);
        QCOMPARE(recorder.texts(), QStringList{kRead});
        QTRY_COMPARE(b->received(), readFrames() + test::closingBurst());
        QCOMPARE(b->eeprom(), board74);
    }

    void failedReadResetsTheDisplay_data() {
        QTest::addColumn<QString>("replyControl");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("closingBurst");
        QTest::newRow("OUI") << QStringLiteral("OUI") << QStringList{kError} << false;
        QTest::newRow("NON") << QStringLiteral("NON") << QStringList{} << true;
    }
    void failedReadResetsTheDisplay() {
        QFETCH(QString, replyControl);
        QFETCH(QStringList, messages);
        QFETCH(bool, closingBurst);
        test::MessageRecorder recorder;
        board->setFaults({true, 0, 0, false, false});
        reply = replyControl;

        SwitchesWindow w(*link, recorder, [this] { return test::replyControl(reply); });
        w.show();
        w.label30->setText(QStringLiteral("TRV une couleur.   "));
        turnSomeOn(w);
        w.litSw->click();

        QCOMPARE(display(w), expectedDisplay(0, 0));
        QCOMPARE(w.label30->text(), kUnknown);
        QCOMPARE(w.image().text(76), QStringLiteral("Er"));
        QCOMPARE(recorder.texts(), messages);
        QTest::qWait(100);
        QCOMPARE(board->received(),
                 readFrames() + (closingBurst ? test::closingBurst() : QByteArray()));
    }
};

QTEST_MAIN(SwTest)
#include "test_switches_window.moc"
