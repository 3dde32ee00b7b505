// The EEPROM image model and its grid: cell reading rules, fills, typing, cell states and
// their colours.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "boards/board_window.h"
#include "image/eeprom_image.h"
#include "link/link.h"
#include "protocol/exchange.h"
#include "test_support.h"
#include "ui/colours.h"

using namespace trv;

class GridTest : public QObject {
    Q_OBJECT
    test::FakeClock clock;

    std::unique_ptr<Link> makeLink() {
        return std::make_unique<Link>(std::make_unique<test::FakePort>(clock), clock);
    }

    // A plain board window on a fake port that the settings window has opened as COM3.
    struct OpenBoard {
        OpenBoard(test::FakeClock& clock, board::ReplyControl reply)
            : OpenBoard(std::make_unique<test::FakePort>(clock), clock, reply) {}
        OpenBoard(std::unique_ptr<test::FakePort> owned, test::FakeClock& clock,
                  board::ReplyControl reply)
            : port(*owned),
              link(std::move(owned), clock),
              opened((link.setPortOpen(link.port().open(3)), true)),
              window(
                  link, recorder, [reply] { return reply; }, {3360, true, true}, ReadVariant::Plain,
                  nullptr) {}

        test::FakePort& port;
        Link link;
        bool opened;
        test::MessageRecorder recorder;
        BoardWindow window;
    };

private slots:
    void cellValues_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("value");
        QTest::addColumn<bool>("isByte");
        QTest::newRow("empty") << QString() << 0u << false;
        QTest::newRow("one digit") << QStringLiteral("F") << 15u << true;
        QTest::newRow("two digits") << QStringLiteral("7f") << 127u << true;
        QTest::newRow("failed read") << QStringLiteral("Er") << 14u << false;
        QTest::newRow("leading digits only") << QStringLiteral("1Z") << 1u << false;
        QTest::newRow("three characters") << QStringLiteral("123") << 0x123u << false;
    }
    void cellValues() {
        QFETCH(QString, text);
        QFETCH(uint, value);
        QFETCH(bool, isByte);
        QCOMPARE(cellValue(text), value);
        QCOMPARE(isByteText(text), isByte);
    }

    void byteTexts() {
        QCOMPARE(byteText(0), QStringLiteral("0"));
        QCOMPARE(byteText(3), QStringLiteral("3"));
        QCOMPARE(byteText(0x21), QStringLiteral("21"));
        QCOMPARE(byteText(255), QStringLiteral("FF"));
    }

    void fillsAndTyping() {
        auto link = makeLink();
        test::MessageRecorder recorder;
        BoardWindow w(
            *link, recorder, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        GridControls& g = w.grid();
        QCOMPARE(g.Text1[128]->text(), QStringLiteral("0"));
        QCOMPARE(g.Text1[5]->objectName(), QStringLiteral("Text1(5)"));
        QCOMPARE(g.Text1[5]->accessibleName(), QStringLiteral("Text1(5)"));
        QVERIFY(!colour::background(g.Text1[0]));

        g.butLin->click();
        for (int i = 0; i < 128; ++i) {
            QCOMPARE(g.Text1[std::size_t(i)]->text(), QString::number(i, 16).toUpper());
            QCOMPARE(colour::background(g.Text1[std::size_t(i)]), std::optional(colour::kWhite));
        }
        g.butEdit->click();
        for (int i = 0; i < 128; ++i) QCOMPARE(w.image().text(i), QStringLiteral("0"));
        g.Text1[128]->clear();
        g.butEdit->click();
        for (int i = 0; i < 128; ++i) QCOMPARE(w.image().text(i), QString());

        // Typing: hexadecimal digits only, upper case, two at most, colour unchanged.
        QLineEdit* cell = g.Text1[17];
        QTest::keyClicks(cell, QStringLiteral("a"));
        QTest::keyClicks(cell, QStringLiteral("z"));
        QTest::keyClicks(cell, QStringLiteral("b3"));
        QCOMPARE(cell->text(), QStringLiteral("AB"));
        QCOMPARE(w.image().text(17), QStringLiteral("AB"));
        QCOMPARE(colour::background(cell), std::optional(colour::kWhite));
    }

    // A cell that is not a byte stops "Envoi" before any frame: the window names the cell.
    void gridWriteRefusesACellThatIsNotAByte() {
        OpenBoard fixture(clock, board::ReplyControl::Non);
        auto& [port, link, opened, recorder, w] = fixture;
        w.grid().butLin->click();
        w.image().setText(77, QStringLiteral("Er"));
        w.grid().butWr->click();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Warning);
        QCOMPARE(recorder.messages[0].text, unsendableCellMessage(77));
        QVERIFY(port.written.isEmpty());
        QCOMPARE(w.image().text(77), QStringLiteral("Er"));
        QCOMPARE(colour::background(w.grid().Text1[77]), std::optional(colour::kWhite));
    }

    void switchWindowGridOnlyReads() {
        auto link = makeLink();
        test::MessageRecorder recorder;
        BoardWindow w(
            *link, recorder, [] { return board::ReplyControl::Oui; }, {6480, false, false},
            ReadVariant::ClosingRrr, nullptr);
        QVERIFY(!w.grid().extension);
        w.image().setText(3, QStringLiteral("12"));
        w.grid().butEdit->click();
        w.grid().butLin->click();
        w.grid().butWr->click();
        QVERIFY(recorder.messages.isEmpty());
        QCOMPARE(w.image().text(3), QStringLiteral("12"));
        QVERIFY(!colour::background(w.grid().Text1[3]));
    }

    // A cell shows the colour of its state whatever it showed before (the colours themselves
    // are checked where the states arise: read, write, fill, load, compare); untouched again,
    // it takes its control's own background.
    void stateColours() {
        auto link = makeLink();
        test::MessageRecorder recorder;
        BoardWindow w(
            *link, recorder, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        const QList<CellState> states{CellState::Untouched, CellState::Read,   CellState::Written,
                                      CellState::Failed,    CellState::Filled, CellState::Loaded,
                                      CellState::Differs};
        QVERIFY(!cellColour(CellState::Untouched));
        for (CellState before : states) {
            for (CellState state : states) {
                w.image().setState(9, before);
                w.image().setState(9, state);
                QCOMPARE(colour::background(w.grid().Text1[9]), cellColour(state));
                QCOMPARE(colour::background(w.grid().Text1[10]), std::nullopt);
            }
        }
    }

    // The grid after a fill, a loaded file or a comparison, then the grid's "Lire ": a board
    // that does not answer leaves "Er" and failed everywhere; a good read replaces every
    // loaded and differing mark.
    void transitions_data() {
        QTest::addColumn<QString>("before");  // fill, load, compare
        QTest::addColumn<bool>("answers");
        QTest::newRow("filled, silent board") << "fill" << false;
        QTest::newRow("loaded, silent board") << "load" << false;
        QTest::newRow("differing, silent board") << "compare" << false;
        QTest::newRow("filled, read") << "fill" << true;
        QTest::newRow("loaded, read") << "load" << true;
        QTest::newRow("differing, read") << "compare" << true;
    }
    void transitions() {
        QFETCH(QString, before);
        QFETCH(bool, answers);
        test::TempDataHome home;
        OpenBoard fixture(clock, board::ReplyControl::Oui);
        auto& [port, link, opened, recorder, w] = fixture;
        ImageBytes file{};
        for (int i = 0; i < kImageSize; ++i) file[std::size_t(i)] = quint8(i);

        QList<CellState> expected(kImageSize, CellState::Loaded);
        if (before == QLatin1String("fill")) {
            w.grid().butLin->click();
            expected.fill(CellState::Filled);
        } else {
            w.loadImage(file);
        }
        if (before == QLatin1String("compare")) {
            ImageBytes other = file;
            other[10] = 0xAA;
            other[100] = 0x00;
            w.compareWithImage(other, QStringLiteral("image"), QStringLiteral("l'image"));
            expected[10] = expected[100] = CellState::Differs;
        }
        for (int i = 0; i < kImageSize; ++i) QCOMPARE(w.image().state(i), expected[i]);

        const auto board = [](int i) { return (i * 5 + 1) & 0xFF; };
        if (answers) port.answerAfter(test::wholeRead().size(), test::readReply(board));
        w.grid().butRd->click();
        for (int i = 0; i < kImageSize; ++i) {
            QCOMPARE(w.image().text(i),
                     answers ? cellText(quint8(board(i))) : QStringLiteral("Er"));
            QCOMPARE(w.image().state(i), answers ? CellState::Read : CellState::Failed);
            QCOMPARE(colour::background(w.grid().Text1[std::size_t(i)]),
                     std::optional(answers ? colour::kGreen : colour::kRed));
        }
    }

    // A port lost while comparing with the board says so, and the grid keeps what it held:
    // the scratch image holds nothing from the board to compare.
    void compareWithALostPort() {
        test::TempDataHome home;
        OpenBoard fixture(clock, board::ReplyControl::Oui);
        auto& [port, link, opened, recorder, w] = fixture;
        w.loadImage(ImageBytes{});
        port.loseAfterBytes = 100;
        w.compareWithBoard();
        QCOMPARE(recorder.texts(), QStringList{lostPortText(3)});
        for (int i = 0; i < kImageSize; ++i) {
            QCOMPARE(w.image().text(i), QStringLiteral("00"));
            QCOMPARE(w.image().state(i), CellState::Loaded);
        }
    }
};

QTEST_MAIN(GridTest)
#include "test_grid.moc"
