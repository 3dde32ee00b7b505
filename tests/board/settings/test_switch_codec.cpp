#include <QtTest>

#include "settings/switch_codec.h"

using namespace trv;
using namespace trv::switches;

namespace {
// Switch numbers (1 to 8) standing at ON.
QList<int> onSwitches(const Bank& bank) {
    QList<int> on;
    for (int i = 0; i < kLeversPerBank; ++i)
        if (bank[std::size_t(i)]) on << i + 1;
    return on;
}
}  // namespace

class TestSwitchCodec : public QObject {
    Q_OBJECT
private slots:
    void banks_data() {
        QTest::addColumn<QStringList>("read");  // cells 74, 75
        QTest::addColumn<QList<int>>("sw1");
        QTest::addColumn<QList<int>>("sw2");
        using L = QList<int>;
        using S = QStringList;
        // clang-format off
        QTest::newRow("05 80") << S{"05", "80"} << L{1, 3} << L{8};
        QTest::newRow("all off") << S{"00", "00"} << L{} << L{};
        QTest::newRow("all on") << S{"FF", "FF"} << L{1, 2, 3, 4, 5, 6, 7, 8}
            << L{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("one digit, lower case") << S{"a", "3c"} << L{2, 4} << L{3, 4, 5, 6};
        // clang-format on
    }
    void banks() {
        QFETCH(QStringList, read);
        QFETCH(QList<int>, sw1);
        QFETCH(QList<int>, sw2);
        CellTexts image;
        image[74] = read[0];
        image[75] = read[1];
        const Banks banks = decodeBanks(image);
        QCOMPARE(onSwitches(banks.sw1), sw1);
        QCOMPARE(onSwitches(banks.sw2), sw2);
        // ON is the lever's up position, value 0.
        QCOMPARE(leverValue(banks.sw1[0]), sw1.contains(1) ? 0 : 1);
    }

    void variant_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("label");
        // clang-format off
        QTest::newRow("T") << "54" << "TRV trois couleurs.";
        QTest::newRow("M") << "4D" << "TRV une couleur.   ";
        QTest::newRow("lower-case t") << "74" << "   --   ";
        QTest::newRow("lower-case m") << "6D" << "   --   ";
        QTest::newRow("00") << "00" << "   --   ";
        QTest::newRow("empty") << "" << "   --   ";
        // clang-format on
    }
    void variant() {
        QFETCH(QString, read);
        QFETCH(QString, label);
        CellTexts image;
        image[kVariantCell] = read;
        QCOMPARE(variantText(decodeVariant(image)), label);
    }
};

QTEST_APPLESS_MAIN(TestSwitchCodec)
#include "test_switch_codec.moc"
