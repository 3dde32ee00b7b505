// Two images compared setting by setting, with the bytes no setting explains listed as bytes.
#include <QRandomGenerator>
#include <QTest>

#include "settings/image_diff.h"
#include "settings/parameter_map.h"
#include "settings/vocabulary.h"
#include "sim/board_model.h"

using namespace trv;

namespace {
using Changes = QList<QPair<int, int>>;  // address, byte of the left image
}

class ImageDiffTest : public QObject {
    Q_OBJECT
    const ImageBytes board = sim::presetImage(sim::Preset::Signed);

private slots:
    void settings_data() {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("equal") << Changes{} << QStringList{};
        QTest::newRow("start") << Changes{{1, 0x12}}
                               << QStringList{"Départ : grille 12,00 / carte 10,00"};
        QTest::newRow("end decimals and integer")
            << Changes{{6, 0x25}, {8, 0x01}} << QStringList{"Fin : grille 150,25 / carte 50,00"};
        // Cells that are not a number keep every digit, their leading zero included.
        QTest::newRow("start not a number")
            << Changes{{0, 0x06}, {1, 0x07}, {2, 0x08}, {3, 0x09}, {4, 0x0A}, {5, 0x0B}}
            << QStringList{"Départ : grille 0B0A090807,06 / carte 10,00"};
        QTest::newRow("end all F")
            << Changes{{6, 0xFF}, {7, 0xFF}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}}
            << QStringList{"Fin : grille FFFFFFFFFF,FF / carte 50,00"};
        QTest::newRow("counting step")
            << Changes{{56, 0x12}} << QStringList{"Pas de comptage : grille 1201,00 / carte 1,00"};
        QTest::newRow("brightness")
            << Changes{{60, 0x08}} << QStringList{"Luminosité : grille 60 % / carte 100 %"};
        QTest::newRow("sensor and period")
            << Changes{{60, 0x21}, {61, 0x0B}}
            << QStringList{"Luminosité : grille capteur / carte 100 %",
                           "Fréquence de commutation : grille 6 s / carte 5 s"};
        QTest::newRow("threshold out of scale")
            << Changes{{62, 0x1F}}
            << QStringList{"Commutation jour/nuit : grille 1F (hors échelle) / carte 4"};
        QTest::newRow("switch") << Changes{{74, 0x07}}
                                << QStringList{"DIP SW3 n°2 : grille ON / carte OFF"};
        QTest::newRow("second bank")
            << Changes{{75, 0x00}} << QStringList{"DIP SW2 n°8 : grille OFF / carte ON"};
        QTest::newRow("undecoded byte")
            << Changes{{0x5A, 0x3C}} << QStringList{"Octet 0x5A : grille 3C / carte 5A"};
        QTest::newRow("colours") << Changes{{57, 0x21}}
                                 << QStringList{"Couleur plage 1 : grille rouge / carte orange",
                                                "Couleur plage 2 : grille vert / carte orange"};
        QTest::newRow("colour bits no range uses")
            << Changes{{57, 0x77}} << QStringList{"Octet 0x39 : grille 77 / carte 33"};
        QTest::newRow("flags") << Changes{{63, 0x05}}
                               << QStringList{
                                      "Polarité relais 1 : grille cochée / carte non cochée",
                                      "Sens de comptage : grille décompte / carte compte"};
        QTest::newRow("signature")
            << Changes{{70, 'k'}} << QStringList{"Signature : grille absente / carte présente"};
        QTest::newRow("variant") << Changes{{76, 'M'}}
                                 << QStringList{
                                        "Variante : grille une couleur / carte trois couleurs"};
        QTest::newRow("in address order") << Changes{{100, 0}, {0, 0x99}, {60, 0x40}}
                                          << QStringList{"Départ : grille 10,99 / carte 10,00",
                                                         "Luminosité : grille 20 % / carte 100 %",
                                                         "Octet 0x64 : grille 00 / carte 64"};
    }
    void settings() {
        QFETCH(Changes, changes);
        QFETCH(QStringList, lines);
        ImageBytes grid = board;
        for (const auto& [address, byte] : changes) grid[std::size_t(address)] = quint8(byte);
        const QList<diff::Difference> found = diff::differences(grid, board);
        QCOMPARE(diff::describeAll(found, QStringLiteral("grille"), QStringLiteral("carte")),
                 lines);
    }

    // A colour word that trvctl's set takes is the word the comparison and show print back,
    // and one the help offers.
    void colourWords_data() {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("known");
        QTest::newRow("aucune") << "aucune" << true;
        QTest::newRow("rouge") << "rouge" << true;
        QTest::newRow("vert") << "vert" << true;
        QTest::newRow("orange") << "orange" << true;
        QTest::newRow("bleu") << "bleu" << false;
        QTest::newRow("upper case") << "Rouge" << false;
    }
    void colourWords() {
        QFETCH(QString, word);
        QFETCH(bool, known);
        const std::optional<counter::ColourCode> code = vocabulary::colourOfWord(word);
        QCOMPARE(code.has_value(), known);
        QCOMPARE(vocabulary::colourExpected().contains(word), known);
        if (!known) return;
        CellTexts cells = cellTexts(board);
        counter::RangeColours colours = counter::readRangeColours(cells);
        colours[2] = *code;
        counter::writeRangeColours(cells, colours);
        const QList<diff::SettingValue> values = diff::settingValues(*imageBytes(cells));
        const auto shown = std::find_if(values.begin(), values.end(), [](const auto& v) {
            return v.setting == QStringLiteral("Couleur plage 3");
        });
        QVERIFY(shown != values.end());
        QCOMPARE(shown->value, word);
    }

    // Whatever differs is listed somewhere, and only what differs.
    void everyDifferenceIsListed() {
        QRandomGenerator random(20261207);
        for (int round = 0; round < 300; ++round) {
            ImageBytes other = board;
            const int count = random.bounded(1, 6);
            for (int i = 0; i < count; ++i)
                other[std::size_t(random.bounded(kImageSize))] = quint8(random.bounded(256));
            QList<int> covered;
            for (const diff::Difference& d : diff::differences(other, board)) {
                QVERIFY(d.left != d.right);
                covered += d.addresses;
            }
            std::sort(covered.begin(), covered.end());
            covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
            QCOMPARE(covered, diff::differingAddresses(other, board));
        }
    }
};

QTEST_APPLESS_MAIN(ImageDiffTest)
#include "test_image_diff.moc"
