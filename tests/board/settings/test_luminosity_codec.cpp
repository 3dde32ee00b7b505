#include <QtTest>

#include "settings/luminosity_codec.h"

using namespace trv;
using namespace trv::luminosity;

class TestLuminosityCodec : public QObject {
    Q_OBJECT
private slots:
    // A read selects an option (or none) and programming writes that option's code back.
    void mode_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("option");  // -1: none selected
        QTest::addColumn<QString>("programmed");
        // clang-format off
        QTest::newRow("21 sensor") << "21" << 0 << "21";
        QTest::newRow("02 100%") << "02" << 1 << "02";
        QTest::newRow("04 80%") << "04" << 2 << "04";
        QTest::newRow("08 60%") << "08" << 3 << "08";
        QTest::newRow("10 50%") << "10" << 4 << "10";
        QTest::newRow("20 40%") << "20" << 5 << "20";
        QTest::newRow("40 20%") << "40" << 6 << "40";
        QTest::newRow("60 highest bit: 20%") << "60" << 6 << "40";
        QTest::newRow("03 sensor wins") << "03" << 0 << "21";
        QTest::newRow("82 bit 80 ignored") << "82" << 1 << "02";
        QTest::newRow("00 none: byte kept") << "00" << -1 << "00";
        QTest::newRow("80 none: byte kept") << "80" << -1 << "80";
        // clang-format on
    }
    void mode() {
        QFETCH(QString, read);
        QFETCH(int, option);
        QFETCH(QString, programmed);
        CellTexts image;
        image[kModeCell] = read;
        const std::optional<int> decoded = decodeMode(image);
        QCOMPARE(decoded.value_or(-1), option);
        encodeMode(image, decoded);
        QCOMPARE(image[kModeCell], programmed);
    }

    void period_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("programmed");
        // clang-format off
        QTest::newRow("00") << "00" << 1 << "1";
        QTest::newRow("09") << "09" << 5 << "9";
        QTest::newRow("even 0A") << "0A" << 6 << "B";
        QTest::newRow("FF") << "FF" << 128 << "FF";
        QTest::newRow("longer than a byte") << "1FF" << 128 << "FF";
        // clang-format on
    }
    void period() {
        QFETCH(QString, read);
        QFETCH(int, seconds);
        QFETCH(QString, programmed);
        CellTexts image;
        image[kPeriodCell] = read;
        QCOMPARE(decodePeriod(image), seconds);
        encodePeriod(image, seconds);
        QCOMPARE(image[kPeriodCell], programmed);
    }

    void threshold_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("value");  // -1: the slider cannot show it
        // clang-format off
        QTest::newRow("04") << "04" << 4;
        QTest::newRow("0F") << "0F" << 15;
        QTest::newRow("10") << "10" << -1;
        QTest::newRow("FF") << "FF" << -1;
        // clang-format on
    }
    void threshold() {
        QFETCH(QString, read);
        QFETCH(int, value);
        CellTexts image;
        image[kThresholdCell] = read;
        const std::optional<int> decoded = decodeThreshold(image);
        QCOMPARE(decoded.value_or(-1), value);
        // Programming what was read hands the board its own value back, shown or not.
        encodeThreshold(image, decoded);
        QCOMPARE(cellValue(image[kThresholdCell]), cellValue(read));
    }

    // Values no slider can hold must still give a byte the board reads back the same way.
    void valuesOutsideTheSliders() {
        CellTexts image;
        encodePeriod(image, 0);
        QCOMPARE(image[kPeriodCell], QStringLiteral("1"));
        encodePeriod(image, 129);
        QCOMPARE(image[kPeriodCell], QStringLiteral("FF"));
        encodeThreshold(image, 16);
        QCOMPARE(image[kThresholdCell], QStringLiteral("F"));
        encodeThreshold(image, -1);
        QCOMPARE(image[kThresholdCell], QStringLiteral("0"));
        encodeMode(image, kSensorOption);
        encodeMode(image, kOptionCount);
        QCOMPARE(image[kModeCell], QStringLiteral("21"));
    }

    void encodingTouchesOnlyItsCells() {
        CellTexts before;
        for (int i = 0; i < kImageSize; ++i) before[std::size_t(i)] = QStringLiteral("s%1").arg(i);
        CellTexts image = before;
        encodeMode(image, kSensorOption);
        encodePeriod(image, 128);
        encodeThreshold(image, 15);
        for (int i = 0; i < kImageSize; ++i) {
            const bool own = i >= kModeCell && i <= kThresholdCell;
            QVERIFY2((image[std::size_t(i)] == before[std::size_t(i)]) != own,
                     qPrintable(QString::number(i)));
        }
    }
};

QTEST_APPLESS_MAIN(TestLuminosityCodec)
#include "test_luminosity_codec.moc"
