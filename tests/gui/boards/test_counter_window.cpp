// The counter parameters window: its controls, the range colours, and reading and programming
// a board end to end through a pseudo-terminal and the simulator.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "boards/counter_window.h"
#include "link/link.h"
#include "port/qt_serial_port.h"
#include "protocol/frames.h"
#include "protocol/image_transfer.h"
#include "settings/image_diff.h"
#include "simulated_board.h"
#include "test_support.h"
#include "ui/colours.h"

using namespace trv;
using sim::Eeprom;

Q_DECLARE_METATYPE(trv::sim::Faults)

namespace {
constexpr int kPort = 3;
const QString kError = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");
const QString kBlank = QStringLiteral("EEPROM vièrge ou corrompue. Programmer les paramètres.");
const QString kReadDone = QStringLiteral("Lecture effectuée avec succés.");
const QString kProgramDone = QStringLiteral("Programmation effectuée avec succés.");
const QString kNotBytes = QStringLiteral(
    "La carte a répondu des caractères qui ne sont pas des octets : liaison perturbée ?");

const QByteArray kClosing = test::closingBurst();

using test::readingFrames;
QByteArray programmingPrefix() { return test::wakeBurst() + test::wholeRead(); }

using test::readReply;

// A signed image whose register holds 0000001234,56 and whose bytes no window owns carry a
// pattern, so that anything programming touches by mistake shows.
Eeprom boardImage() {
    Eeprom e = sim::presetImage(sim::Preset::Signed);
    const quint8 reg[] = {0x56, 0x34, 0x12, 0x00, 0x00, 0x00};
    for (int i = 0; i < 6; ++i) e[std::size_t(64 + i)] = reg[i];
    for (int a = 77; a < 128; ++a) e[std::size_t(a)] = quint8(255 - a);
    return e;
}

bool preservedByProgramming(int address) {
    return (address >= 24 && address <= 29) || (address >= 60 && address <= 62) ||
           (address >= 64 && address <= 69) || address >= 74;
}

void typeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

std::optional<colour::Packed> bg(const QWidget* w) { return colour::background(w); }
}  // namespace

class Dump24c01Test : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;

    // A board on port 3 and an open link to it.
    struct Bench : test::BoardOnPort {
        CounterWindow w;
        Bench(Prompts& prompts, const sim::PtyBoard::Options& options, const QString& reply)
            : BoardOnPort(options),
              w(link, prompts, [reply] { return test::replyControl(reply); }) {}
    };
    static sim::PtyBoard::Options options(bool pacing, sim::Preset preset = sim::Preset::Signed) {
        return test::BoardOnPort::options(kPort, pacing, preset);
    }

private slots:
    void initTestCase() { home = std::make_unique<test::TempDataHome>(); }
    void cleanupTestCase() { home.reset(); }

    // Every row, found by its label: label, integer, comma and decimals on one line, left to
    // right; the label names the setting as a comparison does; only the fields that programming
    // writes can be edited, and only the read-only rows are greyed whole.
    void rows() {
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder prompts;
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        QStringList names;  // the counter's records, in the window's order
        for (const diff::SettingValue& v : diff::settingValues(ImageBytes{}))
            if (names.size() < counter::kFieldCount - 1) names << v.setting + u':';
        QList<int> fields;
        for (int row = 0; row < CounterWindow::kRows; ++row) {
            QLineEdit* l = w.findChild<QLineEdit*>(QStringLiteral("intitu(%1)").arg(row));
            QVERIFY(l);
            int field = -1;
            for (int f = 0; f < counter::kFieldCount; ++f)
                if (w.valeur[std::size_t(f)]->y() == l->y()) field = f;
            QVERIFY2(field >= 0 && !fields.contains(field), qPrintable(l->text()));
            fields << field;
            const auto f = std::size_t(field);
            QLineEdit* v = w.findChild<QLineEdit*>(QStringLiteral("valeur(%1)").arg(field));
            QLineEdit* d = w.findChild<QLineEdit*>(QStringLiteral("vdeci(%1)").arg(field));
            QLineEdit* c = w.findChild<QLineEdit*>(QStringLiteral("virgu(%1)").arg(field));
            QVERIFY(v == w.valeur[f] && d == w.vdeci[f] && c == w.virgu[f] && l == w.intitu[row]);
            if (counter::recordBase(field)) QCOMPARE(l->text(), names.takeFirst());
            QCOMPARE(c->text(), QStringLiteral(","));
            QCOMPARE(v->maxLength(), 10);
            QCOMPARE(d->maxLength(), 2);
            QCOMPARE(v->isEnabled(), counter::isProgrammed(field));
            QCOMPARE(d->isEnabled(), v->isEnabled());
            QCOMPARE(l->isEnabled(), v->isEnabled() || !counter::recordBase(field));
            QCOMPARE(c->isEnabled(), l->isEnabled());
            QVERIFY(l->alignment() & Qt::AlignRight);
            QVERIFY(v->alignment() & Qt::AlignRight);
            QVERIFY(c->alignment() & Qt::AlignHCenter);
            QVERIFY(d->alignment() & Qt::AlignLeft);
            QVERIFY(c->y() == l->y() && d->y() == l->y());
            QVERIFY(l->geometry().right() < v->x() && v->geometry().right() < c->x() &&
                    c->geometry().right() < d->x());
            const bool range = row >= CounterWindow::kFirstRangeLabel &&
                               row < CounterWindow::kFirstRangeLabel + counter::kRangeCount;
            QCOMPARE(bg(l), range ? std::optional(colour::kOrange) : std::nullopt);
        }
        QVERIFY(names.isEmpty());
    }

    void windowControls() {
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder prompts;
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        for (int r = 1; r < CounterWindow::kRows; ++r)
            QVERIFY(w.intitu[r]->y() > w.intitu[r - 1]->y());
        // The step field is under half as wide as the others and ends where they end.
        QVERIFY(2 * w.valeur[8]->width() < w.valeur[0]->width());
        QCOMPARE(w.valeur[8]->geometry().right(), w.valeur[0]->geometry().right());
        QCOMPARE(w.valeur[8]->maxLength(), 10);

        QCOMPARE(w.findChild<QCheckBox*>("POLREL3")->y(), w.intitu[1]->y());
        QCOMPARE(w.findChild<QCheckBox*>("POLREL1")->y(), w.intitu[2]->y());
        QCOMPARE(w.findChild<QCheckBox*>("POLREL2")->y(), w.intitu[3]->y());

        auto* read = w.findChild<QPushButton*>("but_lit_para");
        auto* program = w.findChild<QPushButton*>("but_ecrit_para");
        QCOMPARE(bg(read), colour::kGreen);
        QCOMPARE(bg(program), colour::kGreen);
        QVERIFY(read->y() > w.intitu[11]->geometry().bottom() && program->y() > read->y());

        w.findChild<QPushButton*>("Command2")->click();
        QCOMPARE(w.size(), QSize(786, 332));
        w.grid().extension->click();
        QCOMPARE(w.size(), QSize(182, 332));
    }

    void rangeColourClicks_data() {
        QTest::addColumn<int>("label");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<std::optional<counter::ColourCode>>("before");  // the range's colour
        QTest::addColumn<std::optional<colour::Packed>>("shown");        // its label, before
        QTest::addColumn<std::optional<colour::Packed>>("after");
        QTest::addColumn<bool>("monoColour");
        using P = std::optional<colour::Packed>;
        using C = std::optional<counter::ColourCode>;
        using counter::ColourCode;
        // clang-format off
        QTest::newRow("red, once") << 4 << 1 << C(ColourCode::Red) << P(colour::kRed)
                                   << P(colour::kGreen) << false;
        QTest::newRow("green, once") << 5 << 1 << C(ColourCode::Green) << P(colour::kGreen)
                                     << P(colour::kOrange) << false;
        QTest::newRow("red, three times") << 8 << 3 << C(ColourCode::Red) << P(colour::kRed)
                                          << P(colour::kRed) << false;
        QTest::newRow("white, once") << 6 << 1 << C(ColourCode::None) << P(colour::kWhite)
                                     << P(colour::kOrange) << false;
        QTest::newRow("orange, once") << 7 << 1 << C(ColourCode::Orange) << P(colour::kOrange)
                                      << P(colour::kRed) << false;
        QTest::newRow("not a range") << 3 << 1 << C() << P() << P() << false;
        QTest::newRow("one-colour board") << 4 << 2 << C(ColourCode::Orange) << P(colour::kOrange)
                                          << P(colour::kOrange) << true;
        // clang-format on
    }
    void rangeColourClicks() {
        QFETCH(int, label);
        QFETCH(int, clicks);
        QFETCH(std::optional<counter::ColourCode>, before);
        QFETCH(std::optional<colour::Packed>, shown);
        QFETCH(std::optional<colour::Packed>, after);
        QFETCH(bool, monoColour);
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder prompts;
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.applyColourSetting(monoColour);
        for (int k = 4; k <= 8; ++k) QCOMPARE(w.intitu[k]->isEnabled(), !monoColour);
        QLineEdit* l = w.intitu[std::size_t(label)];
        if (before) w.setRangeColour(label - 4, *before);
        QCOMPARE(bg(l), shown);
        for (int i = 0; i < clicks; ++i) QTest::mouseClick(l, Qt::LeftButton);
        QCOMPARE(bg(l), after);
    }

    // Without a mouse: Tab reaches a range label (on a three-colour board), and Space on it
    // changes its colour as a click does.
    void rangeColourKeys_data() {
        QTest::addColumn<bool>("monoColour");
        QTest::addColumn<int>("spaces");
        QTest::addColumn<QStringList>("chain");  // Tab from "Relais 2"'s decimals
        QTest::addColumn<colour::Packed>("after");
        const QStringList three{"intitu(4)", "intitu(5)"};
        QTest::newRow("one press") << false << 1 << three << colour::kRed;
        QTest::newRow("two presses") << false << 2 << three << colour::kGreen;
        QTest::newRow("round to orange") << false << 3 << three << colour::kOrange;
        QTest::newRow("one colour: not reached")
            << true << 1 << QStringList{"valeur(4)", "vdeci(4)"} << colour::kOrange;
    }
    void rangeColourKeys() {
        QFETCH(bool, monoColour);
        QFETCH(int, spaces);
        QFETCH(QStringList, chain);
        QFETCH(colour::Packed, after);
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder prompts;
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.applyColourSetting(monoColour);
        w.vdeci[3]->setFocus();
        QStringList reached;
        for (int i = 0; i < chain.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(reached, chain);
        for (int i = 0; i < spaces; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(bg(w.intitu[5]), std::optional(after));
        // The range before it and the label of a row without a colour are left alone.
        QCOMPARE(bg(w.intitu[4]), std::optional(colour::kOrange));
        QCOMPARE(w.intitu[3]->focusPolicy(), Qt::NoFocus);
    }

    void colourSettingResetsRanges() {
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder prompts;
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        w.applyColourSetting(true);
        w.setRangeColour(1, counter::ColourCode::Red);
        w.applyColourSetting(false);
        for (int k = 4; k <= 8; ++k) {
            QVERIFY(w.intitu[k]->isEnabled());
            QCOMPARE(bg(w.intitu[k]), colour::kOrange);
        }
    }

    // Programming then reading back, in real time: every field, colour and flag survives,
    // and the bytes the window does not own go back to the board as it held them.
    void programThenRead() {
        test::MessageRecorder recorder;
        Bench b(recorder, options(true), QStringLiteral("OUI"));
        const Eeprom before = boardImage();
        b.board.setEeprom(before);
        QVERIFY(b.start());
        CounterWindow& w = b.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        const QStringList integers{"1234567890", "5", "1A", "", "2", "4", "6", "8", "12345"};
        const QStringList decimals{"12", "5", "00", "", "00", "99", "6", "00", "01"};
        for (int f = 0; f < 9; ++f) {
            typeInto(w.valeur[std::size_t(f)], integers[f]);
            typeInto(w.vdeci[std::size_t(f)], decimals[f]);
        }
        w.POLREL1->setChecked(true);
        w.POLREL2->setChecked(false);
        w.POLREL3->setChecked(false);
        QTest::mouseClick(w.intitu[4], Qt::LeftButton);  // orange -> red
        QTest::mouseClick(w.intitu[5], Qt::LeftButton);
        QTest::mouseClick(w.intitu[5], Qt::LeftButton);  // -> green
        w.setRangeColour(4, counter::ColourCode::None);  // white
        // Hand edits of cells the window does not own are overwritten by the fresh read.
        for (int a : {25, 61, 66, 74, 100}) typeInto(w.grid().Text1[std::size_t(a)], "AB");
        QCOMPARE(w.image().text(100), QStringLiteral("AB"));

        w.findChild<QPushButton*>("but_ecrit_para")->click();
        QCOMPARE(recorder.texts(), QStringList{kProgramDone});
        QVERIFY(w.POLREL3->isChecked());  // 1234567890,12 counts down to 5,05

        const Eeprom after = b.board.eeprom();
        for (int a = 0; a < 128; ++a)
            if (preservedByProgramming(a)) QCOMPARE(after[std::size_t(a)], before[std::size_t(a)]);
        const QList<int> programmed{0x12, 0x90, 0x78, 0x56, 0x34, 0x12,   // start
                                    0x05, 0x05, 0x00, 0x00, 0x00, 0x00,   // end
                                    0x00, 0x1A, 0x00, 0x00, 0x00, 0x00,   // relay 1
                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // relay 2
        for (int a = 0; a < programmed.size(); ++a)
            QCOMPARE(int(after[std::size_t(a)]), programmed[a]);
        QCOMPARE(int(after[36]), 0x99);  // range 3 decimals
        QCOMPARE(int(after[54]), 0x01);  // step: 2345,01
        QCOMPARE(int(after[55]), 0x45);
        QCOMPARE(int(after[56]), 0x23);
        QCOMPARE(int(after[57]), 0x21);  // range 1 red, range 2 green
        QCOMPARE(int(after[58]), 0x33);
        QCOMPARE(int(after[59]), 0x00);  // range 5 without colour
        QCOMPARE(int(after[63]), 0x05);  // relay 1 polarity, counting down
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&after[70]), 4), QByteArray("KELd"));
        QTRY_COMPARE(b.board.received(), programmingPrefix() + test::wholeWrite(after) +
                                             frames::frame("OOO") + kClosing);

        // Read it back over a window whose fields say something else.
        recorder.clear();
        b.board.clearReceived();
        for (int f = 0; f < 12; ++f) w.valeur[std::size_t(f)]->setText(QStringLiteral("x"));
        w.POLREL1->setChecked(false);
        w.POLREL3->setChecked(false);
        w.POLREL2->setChecked(true);
        w.findChild<QPushButton*>("but_lit_para")->click();
        QCOMPARE(recorder.texts(), QStringList{kReadDone});
        QTRY_COMPARE(b.board.received(), readingFrames() + kClosing);

        const QStringList shown{"1234567890", "0000000005", "000000001A", "0000000000",
                                "0000000002", "0000000004", "0000000006", "0000000008",
                                "2345",       "0000001234", "0000009999", "0"};
        const QStringList shownDecimals{"12", "05", "00", "00", "00", "99",
                                        "06", "00", "01", "56", "00", "00"};
        for (int f = 0; f < 12; ++f) {
            QCOMPARE(w.valeur[std::size_t(f)]->text(), shown[f]);
            QCOMPARE(w.vdeci[std::size_t(f)]->text(), shownDecimals[f]);
        }
        QCOMPARE(bg(w.intitu[4]), colour::kRed);
        QCOMPARE(bg(w.intitu[5]), colour::kGreen);
        QCOMPARE(bg(w.intitu[6]), colour::kOrange);
        QCOMPARE(bg(w.intitu[7]), colour::kOrange);
        QCOMPARE(bg(w.intitu[8]), colour::kWhite);
        QVERIFY(w.POLREL1->isChecked() && !w.POLREL2->isChecked() && w.POLREL3->isChecked());
    }

    // A blank board: the signature check refuses it; without replies checked it is decoded.
    void blankBoard_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QByteArray>("closing");
        QTest::newRow("OUI") << "OUI" << QStringList{kBlank} << ""
                             << "" << QByteArray();
        QTest::newRow("NON") << "NON" << QStringList{} << "FFFFFFFFFF"
                             << "FFFF" << kClosing;
    }
    void blankBoard() {
        QFETCH(QString, reply);
        QFETCH(QStringList, messages);
        QFETCH(QString, start);
        QFETCH(QString, step);
        QFETCH(QByteArray, closing);
        test::MessageRecorder recorder;
        Bench b(recorder, options(false, sim::Preset::Blank), reply);
        QVERIFY(b.start());
        b.w.setRangeColour(2, counter::ColourCode::Red);
        b.w.butLitPara->click();
        QCOMPARE(recorder.texts(), messages);
        QTRY_COMPARE(b.board.received(), readingFrames() + closing);
        QCOMPARE(b.w.image().text(70), QStringLiteral("FF"));
        QCOMPARE(b.w.valeur[0]->text(), start);
        QCOMPARE(b.w.valeur[9]->text(), start);
        QCOMPARE(b.w.valeur[8]->text(), step);
        QCOMPARE(b.w.vdeci[0]->text(), start.isEmpty() ? QString() : QStringLiteral("FF"));
        QCOMPARE(b.w.valeur[11]->text(), QStringLiteral("0"));
        QCOMPARE(b.w.vdeci[11]->text(), QStringLiteral("00"));
        for (int k = 4; k <= 8; ++k) QCOMPARE(bg(b.w.intitu[k]), colour::kOrange);
        const bool decoded = !start.isEmpty();
        QCOMPARE(b.w.POLREL1->isChecked() && b.w.POLREL2->isChecked() && b.w.POLREL3->isChecked(),
                 decoded);
    }

    // A board that never answers: the read marks the grid and stops; only "NON" closes.
    void silentBoard_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("closing");
        QTest::newRow("OUI") << "OUI" << QStringList{kError} << QByteArray();
        QTest::newRow("NON") << "NON" << QStringList{} << kClosing;
    }
    void silentBoard() {
        QFETCH(QString, reply);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, closing);
        test::MessageRecorder recorder;
        sim::PtyBoard::Options o = options(false);
        o.faults.silent = true;
        Bench b(recorder, o, reply);
        QVERIFY(b.start());
        b.w.POLREL2->setChecked(true);
        b.w.setRangeColour(0, counter::ColourCode::Green);
        b.w.butLitPara->click();
        QCOMPARE(recorder.texts(), messages);
        QTRY_COMPARE(b.board.received(), readingFrames() + closing);
        for (int a : {0, 63, 127}) QCOMPARE(b.w.image().text(a), QStringLiteral("Er"));
        for (int f = 0; f < 11; ++f) QCOMPARE(b.w.valeur[std::size_t(f)]->text(), QString());
        QCOMPARE(b.w.valeur[11]->text(), QStringLiteral("0"));
        QCOMPARE(bg(b.w.intitu[4]), colour::kOrange);
        QVERIFY(b.w.POLREL2->isChecked());
    }

    // Programming that must not reach the board's EEPROM: a preliminary read that fails (the
    // grid then holds "Er"), or a field that makes a cell that is not a byte.
    void programmingStopped_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("startDecimals");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("closing");
        QTest::newRow("read fails, OUI") << "OUI" << 10 << "10"
                                         << "00" << QStringList{kError} << QByteArray();
        QTest::newRow("read fails, NON") << "NON" << 10 << "10"
                                         << "00" << QStringList{} << kClosing;
        // A field that makes a cell that is not a byte is named by its row, as typed.
        const auto refusal = [](const QString& where) {
            return QStringList{QStringLiteral("Programmation impossible : ") + where +
                               QStringLiteral(". Seuls des chiffres, sans virgule ni espace, "
                                              "peuvent être programmés. Rien n'a été programmé.")};
        };
        QTest::newRow("letters beyond F")
            << "OUI" << 0 << "ZZ"
            << "00" << refusal("« Départ » contient « ZZ »") << kClosing;
        QTest::newRow("decimal comma")
            << "NON" << 0 << "1,5"
            << "00" << refusal("« Départ » contient « 1,5 »") << kClosing;
        QTest::newRow("leading blank")
            << "OUI" << 0 << " 10"
            << "00" << refusal("« Départ » contient «  10 »") << kClosing;
        QTest::newRow("decimals") << "OUI" << 0 << "10"
                                  << "5."
                                  << refusal("les décimales de « Départ » contiennent « 5. »")
                                  << kClosing;
    }
    void programmingStopped() {
        QFETCH(QString, reply);
        QFETCH(int, cut);
        QFETCH(QString, start);
        QFETCH(QString, startDecimals);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, closing);
        test::MessageRecorder recorder;
        sim::PtyBoard::Options o = options(false);
        o.faults.cut = cut;
        Bench b(recorder, o, reply);
        const Eeprom before = boardImage();
        b.board.setEeprom(before);
        QVERIFY(b.start());
        b.w.valeur[0]->setText(start);
        b.w.vdeci[0]->setText(startDecimals);
        b.w.valeur[1]->setText(QStringLiteral("77"));
        b.w.butEcritPara->click();
        QCOMPARE(recorder.texts(), messages);
        QTRY_COMPARE(b.board.received(), programmingPrefix() + closing);
        QVERIFY(b.board.eeprom() == before);
        QCOMPARE(b.w.valeur[1]->text(), QStringLiteral("77"));
    }

    // The decimals of the end value mean one thing: what the field shows while the board is
    // programmed, after it, and after a read are the two digits the board holds.
    void decimalsAsProgrammed_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("byte");  // at address 6; -1: nothing programmed
        // clang-format off
        QTest::newRow("one digit is hundredths") << "5" << "05" << 0x05;
        QTest::newRow("two digits") << "50" << "50" << 0x50;
        QTest::newRow("none") << "" << "00" << 0x00;
        // Kept as typed, for the refusal to quote it so.
        QTest::newRow("not a byte") << "5," << "5," << -1;
        // clang-format on
    }
    void decimalsAsProgrammed() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, byte);
        test::MessageRecorder recorder;
        Bench b(recorder, options(false), QStringLiteral("OUI"));
        const Eeprom before = boardImage();
        b.board.setEeprom(before);
        QVERIFY(b.start());
        typeInto(b.w.vdeci[1], typed);
        // The exchange lets timers through; the wake-up's settle wait alone lasts 0.5 s.
        QString during = QStringLiteral("(not seen)");
        QTimer::singleShot(250, &b.w, [&] { during = b.w.vdeci[1]->text(); });
        b.w.butEcritPara->click();
        QCOMPARE(during, shown);
        QCOMPARE(b.w.vdeci[1]->text(), shown);
        if (byte < 0) {
            QVERIFY(b.board.eeprom() == before);
            QCOMPARE(recorder.texts().size(), 1);
            return;
        }
        QCOMPARE(recorder.texts(), QStringList{kProgramDone});
        QCOMPARE(int(b.board.eeprom()[6]), byte);
        b.w.vdeci[1]->clear();
        b.w.butLitPara->click();
        QCOMPARE(b.w.vdeci[1]->text(), shown);
    }

    // A board whose answers carry characters that are not bytes: the cells keep them, red;
    // the link is blamed, not the EEPROM; nothing is decoded, nothing is written, and the
    // frames are those of the same operation on a blank board.
    void garbledBoard_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QByteArray>("frames");
        // clang-format off
        QTest::newRow("read, OUI") << "but_lit_para" << "OUI" << readingFrames();
        QTest::newRow("read, NON") << "but_lit_para" << "NON" << readingFrames() + kClosing;
        QTest::newRow("programming") << "but_ecrit_para" << "OUI" << programmingPrefix() + kClosing;
        QTest::newRow("the grid's read") << "butRd" << "OUI" << QByteArray();
        // clang-format on
    }
    void garbledBoard() {
        QFETCH(QString, button);
        QFETCH(QString, reply);
        QFETCH(QByteArray, frames);
        test::MessageRecorder recorder;
        sim::PtyBoard::Options o = options(false);
        o.faults.garbage = true;
        Bench b(recorder, o, reply);
        const Eeprom before = boardImage();
        b.board.setEeprom(before);
        QVERIFY(b.start());
        b.w.valeur[1]->setText(QStringLiteral("77"));
        b.w.POLREL3->setChecked(true);
        QPushButton* clicked = button == QLatin1String("butRd")
                                   ? b.w.grid().butRd
                                   : b.w.findChild<QPushButton*>(button);
        QVERIFY(clicked);
        clicked->click();
        QCOMPARE(recorder.texts(), QStringList{kNotBytes});
        if (!frames.isEmpty()) QTRY_COMPARE(b.board.received(), frames);
        for (int a : {0, 6, 70, 127}) {
            QCOMPARE(b.w.image().text(a), QStringLiteral("G0"));
            QCOMPARE(b.w.image().state(a), CellState::Failed);
            QCOMPARE(bg(b.w.grid().Text1[std::size_t(a)]), colour::kRed);
        }
        QVERIFY(b.board.eeprom() == before);
        // Nothing decoded: a read clears the fields, the others leave them as they were.
        const bool read = button == QLatin1String("but_lit_para");
        QCOMPARE(b.w.valeur[1]->text(), read ? QString() : QStringLiteral("77"));
        QVERIFY(b.w.POLREL3->isChecked());
    }

    // A write the board does not acknowledge still ends with "OOO" and the closing burst;
    // the direction box and the flag byte follow the start and end values. Fake time.
    void failedOrDoneWrite_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("startDecimals");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("polrel1");
        QTest::addColumn<bool>("polrel2");
        QTest::addColumn<QString>("flagCell");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no answer, NON") << "NON" << false << "10"
                                        << "00"
                                        << "5" << false << false << "4" << QStringList{};
        QTest::newRow("no answer, OUI") << "OUI" << false << "5"
                                        << "00"
                                        << "10" << false << false << "0" << QStringList{kError};
        QTest::newRow("equal values")
            << "OUI" << true << "7"
            << "00"
            << "0007" << false << false << "0" << QStringList{kProgramDone};
        QTest::newRow("10,05 above 2") << "NON" << true << "10"
                                       << "5"
                                       << "2" << true << true << "7" << QStringList{};
        QTest::newRow("relay 2 counting up")
            << "OUI" << true << "2"
            << ""
            << "10" << false << true << "2" << QStringList{kProgramDone};
    }
    void failedOrDoneWrite() {
        QFETCH(QString, reply);
        QFETCH(bool, answered);
        QFETCH(QString, start);
        QFETCH(QString, startDecimals);
        QFETCH(QString, end);
        QFETCH(bool, polrel1);
        QFETCH(bool, polrel2);
        QFETCH(QString, flagCell);
        QFETCH(QStringList, messages);
        test::FakeClock clock;
        auto owned = std::make_unique<test::FakePort>(clock);
        test::FakePort& port = *owned;
        Link link(std::move(owned), clock);
        link.setPortOpen(link.port().open(kPort));
        port.answerAfter(programmingPrefix().size(), readReply(boardImage()));
        if (answered) port.answerAfter(40 + 160 * 8, frames::kAck.repeated(160));
        test::MessageRecorder recorder;
        {
            CounterWindow w(link, recorder, [reply] { return test::replyControl(reply); });
            w.valeur[0]->setText(start);
            w.vdeci[0]->setText(startDecimals);
            w.valeur[1]->setText(end);
            w.POLREL1->setChecked(polrel1);
            w.POLREL2->setChecked(polrel2);
            const bool down = flagCell.toInt() >= 4;
            w.POLREL3->setChecked(!down);
            w.butEcritPara->click();
            QCOMPARE(recorder.texts(), messages);
            QCOMPARE(w.POLREL3->isChecked(), down);
            // Address 63 is the last data frame of the fourth block of the write.
            const qsizetype at = programmingPrefix().size() + 40 + (3 * 20 + 3 + 15) * 8;
            QCOMPARE(port.written.mid(at, 8), frames::frame(frames::dataCommand(flagCell)));
            QVERIFY(port.written.endsWith(frames::frame("WWW") + frames::frame("OOO") + kClosing));
        }
    }
};

QTEST_MAIN(Dump24c01Test)
#include "test_counter_window.moc"
