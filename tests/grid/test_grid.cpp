// The EEPROM image model and its grid: cell reading rules, fills, typing, colours.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "grid/eeprom_image.h"
#include "link/link.h"
#include "test_support.h"
#include "ui/colours.h"
#include "windows/board_window.h"

using namespace trv;

class GridTest : public QObject {
    Q_OBJECT
    test::FakeClock clock;

    std::unique_ptr<Link> makeLink() {
        return std::make_unique<Link>(std::make_unique<test::FakePort>(clock), clock);
    }

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

    void gridButtonsWithoutAnOpenPortWarnAndKeepTheGrid() {
        auto link = makeLink();
        test::MessageRecorder recorder;
        BoardWindow w(
            *link, recorder, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        w.grid().butLin->click();
        w.grid().butRd->click();
        w.grid().butWr->click();
        QCOMPARE(recorder.messages.size(), 2);
        for (const auto& m : recorder.messages) QCOMPARE(m.kind, msg::Kind::Warning);
        QCOMPARE(w.image().text(127), QStringLiteral("7F"));
        QCOMPARE(w.image().colour(127), EepromImage::Colour(colour::kWhite));
    }

    // A cell that is not a byte stops "Envoi" before any frame: the window names the cell.
    void gridWriteRefusesACellThatIsNotAByte() {
        auto owned = std::make_unique<test::FakePort>(clock);
        test::FakePort& port = *owned;
        Link link(std::move(owned), clock);
        link.setPortOpen(link.port().open(3));
        test::MessageRecorder recorder;
        BoardWindow w(
            link, recorder, [] { return board::ReplyControl::Non; }, {3360, true, true},
            ReadVariant::Plain, nullptr);
        w.grid().butLin->click();
        w.image().setText(77, QStringLiteral("Er"));
        w.grid().butWr->click();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Warning);
        QCOMPARE(recorder.messages[0].text, unsendableCellMessage(77));
        QVERIFY(port.written.isEmpty());
        QCOMPARE(w.image().text(77), QStringLiteral("Er"));
        QCOMPARE(w.image().colour(77), EepromImage::Colour(colour::kWhite));
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
        QVERIFY(!w.image().colour(3));
    }
};

QTEST_MAIN(GridTest)
#include "test_grid.moc"
