#include <QtTest>

#include "settings/parameter_map.h"

using namespace trv;
using namespace trv::counter;

namespace {
// Every cell holds a text no encoder produces, so any write shows.
CellTexts sentinelImage() {
    CellTexts cells;
    for (int i = 0; i < kImageSize; ++i) cells[std::size_t(i)] = QStringLiteral("s%1").arg(i);
    return cells;
}
QStringList cellsFrom(const CellTexts& cells, int first, qsizetype count) {
    return QStringList(cells.begin() + first, cells.begin() + first + count);
}
}  // namespace

class TestCounterMap : public QObject {
    Q_OBJECT
private slots:
    // Rows: the row's texts as "integer,decimals" and the cells from base upwards.
    void values_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("base");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("cells");
        // clang-format off
        QTest::newRow("start 10,00") << 0 << 0 << "10,00" << "00 10 00 00 00 00";
        QTest::newRow("end, one decimal") << 1 << 6 << "10,5" << "05 10 00 00 00 00";
        QTest::newRow("relay 1, ten digits") << 2 << 12 << "1234567890,99" << "99 90 78 56 34 12";
        QTest::newRow("relay 2, too long") << 3 << 18 << "987654321012,123" << "23 12 10 32 54 76";
        QTest::newRow("range 2, empty") << 4 << 30 << "," << "00 00 00 00 00 00";
        QTest::newRow("range 3, odd length") << 5 << 36 << "12345,0" << "00 45 23 01 00 00";
        QTest::newRow("range 4, no digit check") << 6 << 42 << "1A,x" << "0x 1A 00 00 00 00";
        QTest::newRow("step 12345 keeps 2345") << 8 << 54 << "12345,00" << "00 45 23";
        QTest::newRow("step 1 becomes 0001") << 8 << 54 << "1,5" << "05 01 00";
        // clang-format on
    }
    void values() {
        QFETCH(int, field);
        QFETCH(int, base);
        QFETCH(QString, value);
        QFETCH(QString, cells);
        const QStringList texts = value.split(u',');
        const QStringList expected = cells.split(u' ');
        CellTexts image = sentinelImage();
        QVERIFY(encodeField(image, field, {texts[0], texts[1]}));
        QCOMPARE(cellsFrom(image, base, expected.size() + 1),
                 expected + QStringList{QStringLiteral("s%1").arg(base + expected.size())});
        // Reading shows every cell, leading zeros kept, most significant first.
        QStringList integerCells = expected.mid(1);
        std::reverse(integerCells.begin(), integerCells.end());
        const std::optional<ValueText> decoded = decodeField(image, field);
        QVERIFY(decoded);
        QCOMPARE(decoded->integer, integerCells.join(QString()));
        QCOMPARE(decoded->decimals, expected[0]);
        // A decimal field shows, before the write, the cell the write makes of it.
        const QString shown = programmedDecimals(texts[1]);
        if (texts[1].size() <= 2) QCOMPARE(shown == expected[0], isByteText(expected[0]));
    }

    void readOnlyRecords() {
        CellTexts image = sentinelImage();
        image[64] = "12";
        image[29] = "FF";
        QCOMPARE(decodeField(image, kRegisterField)->integer, QStringLiteral("s69s68s67s66s65"));
        QCOMPARE(decodeField(image, kRegisterField)->decimals, QStringLiteral("12"));
        QCOMPARE(decodeField(image, kMaxEndField)->integer, QStringLiteral("FFs28s27s26s25"));
        QVERIFY(!decodeField(image, kRange1Field));
    }

    // Programming must hand the register, the maximum end, the luminosity bytes and everything
    // from the switches on back to the board exactly as read.
    void encodingLeavesForeignCellsAlone() {
        const CellTexts before = sentinelImage();
        CellTexts image = before;
        for (int field = -2; field < kFieldCount + 2; ++field)
            QCOMPARE(encodeField(image, field, {"98765432109876", "987"}), isProgrammed(field));
        writeRangeColours(image, RangeColours{});
        writeFlags(image, {true, true, true});
        writeSignature(image);
        for (int i = 0; i < kImageSize; ++i) {
            const bool foreign =
                (i >= 24 && i <= 29) || (i >= 60 && i <= 62) || (i >= 64 && i <= 69) || i >= 74;
            QVERIFY2((image[std::size_t(i)] == before[std::size_t(i)]) == foreign,
                     qPrintable(QString::number(i)));
        }
    }

    void colours_data() {
        QTest::addColumn<QStringList>("read");  // cells 57, 58, 59
        QTest::addColumn<QString>("codes");     // ranges 1 to 5
        QTest::addColumn<QStringList>("written");
        using L = QStringList;
        // clang-format off
        QTest::newRow("21: red, green") << L{"21", "00", "00"} << "12000" << L{"21", "0", "0"};
        QTest::newRow("30: none, orange") << L{"30", "0", "0"} << "03000" << L{"30", "0", "0"};
        QTest::newRow("4: none") << L{"4", "0", "0"} << "00000" << L{"0", "0", "0"};
        QTest::newRow("upper bits ignored") << L{"CD", "E6", "F1"} << "10221" << L{"1", "22", "1"};
        QTest::newRow("R G O W R") << L{"21", "3", "1"} << "12301" << L{"21", "3", "1"};
        QTest::newRow("blank board") << L{"FF", "FF", "FF"} << "33333" << L{"33", "33", "3"};
        QTest::newRow("empty, lower case") << L{"", "3a", "2"} << "00232" << L{"0", "32", "2"};
        // clang-format on
    }
    void colours() {
        QFETCH(QStringList, read);
        QFETCH(QString, codes);
        QFETCH(QStringList, written);
        CellTexts image;
        std::copy(read.begin(), read.end(), image.begin() + kColourCell12);
        const RangeColours colours = readRangeColours(image);
        for (int r = 0; r < kRangeCount; ++r)
            QCOMPARE(unsigned(colours[std::size_t(r)]), unsigned(codes[r].digitValue()));
        writeRangeColours(image, colours);
        QCOMPARE(cellsFrom(image, kColourCell12, 3), written);
    }

    void rangeColourClicks_data() {
        QTest::addColumn<ColourCode>("before");
        QTest::addColumn<ColourCode>("afterClick");
        QTest::newRow("red") << ColourCode::Red << ColourCode::Green;
        QTest::newRow("green") << ColourCode::Green << ColourCode::Orange;
        QTest::newRow("orange") << ColourCode::Orange << ColourCode::Red;
        QTest::newRow("no colour") << ColourCode::None << ColourCode::Orange;
    }
    void rangeColourClicks() {
        QFETCH(ColourCode, before);
        QFETCH(ColourCode, afterClick);
        QCOMPARE(nextRangeColour(before), afterClick);
    }

    void flags_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("checked");  // POLREL1, POLREL2, POLREL3
        QTest::addColumn<QString>("written");
        // clang-format off
        QTest::newRow("5") << "5" << "101" << "5";
        QTest::newRow("all") << "07" << "111" << "7";
        QTest::newRow("only relay 2") << "2" << "010" << "2";
        QTest::newRow("upper bits dropped") << "FA" << "010" << "2";
        QTest::newRow("empty") << "" << "000" << "0";
        // clang-format on
    }
    void flags() {
        QFETCH(QString, read);
        QFETCH(QString, checked);
        QFETCH(QString, written);
        CellTexts image;
        image[kFlagCell] = read;
        const Flags f = readFlags(image);
        QCOMPARE(QString("%1%2%3").arg(int(f.polrel1)).arg(int(f.polrel2)).arg(int(f.polrel3)),
                 checked);
        writeFlags(image, f);
        QCOMPARE(image[kFlagCell], written);
    }

    void signature_data() {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        // clang-format off
        QTest::newRow("as written") << 70 << "4B" << true;
        QTest::newRow("lower case") << 70 << "4b" << false;
        QTest::newRow("leading zero") << 71 << "045" << false;
        QTest::newRow("blank") << 72 << "FF" << false;
        // clang-format on
    }
    void signature() {
        QFETCH(int, address);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        CellTexts image = sentinelImage();
        writeSignature(image);
        QCOMPARE(cellsFrom(image, kSignatureBase, 4), (QStringList{"4B", "45", "4C", "64"}));
        image[std::size_t(address)] = text;
        QCOMPARE(hasSignature(image), matches);
    }

    // Rows: start and end as "integer,decimals".
    void direction_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("down");
        // clang-format off
        QTest::newRow("10 > 5") << "10,00" << "5,00" << true;
        QTest::newRow("5 < 10") << "5,00" << "10,00" << false;
        QTest::newRow("equal") << "7,50" << "0000000007,50" << false;
        QTest::newRow("10,05 > 2,00") << "10,5" << "2,00" << true;
        QTest::newRow("10,05 > 10,01") << "10,5" << "10,01" << true;
        QTest::newRow("both empty") << "," << "," << false;
        QTest::newRow("empty end") << "0,01" << "," << true;
        QTest::newRow("beyond 64 bits")
            << "99999999999999999999,99" << "99999999999999999999,98" << true;
        QTest::newRow("longer wins")
            << "100000000000000000000,00" << "99999999999999999999,99" << true;
        QTest::newRow("stops at a letter") << "1A,00" << "0,50" << false;
        QTest::newRow("letter in decimals") << "12,3x" << "1,23" << false;
        QTest::newRow("non-ASCII digits")
            << QString::fromUtf16(u"\u0661\u0662,00") << "0,00" << false;
        // clang-format on
    }
    void direction() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, down);
        const QStringList s = start.split(u','), e = end.split(u',');
        QCOMPARE(countsDown({s[0], s[1]}, {e[0], e[1]}), down);
    }
};

QTEST_APPLESS_MAIN(TestCounterMap)
#include "test_counter_map.moc"
