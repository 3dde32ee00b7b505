#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include "config/kel_file.h"

using trv::kel::readKelIndexes;
using trv::kel::Selections;
using trv::kel::writeKelFile;

namespace {

Selections startup() {
    Selections s;
    s.indexes = {2, 0, 2, 0, 0, 0, 0, 1};
    s.texts = {QStringLiteral("COM3:"),
               QStringLiteral("Filaire "),
               QStringLiteral("4 Digits 99 sec 99 cen"),
               QStringLiteral("Mono couleur"),
               QStringLiteral("NON"),
               QStringLiteral("NON"),
               QStringLiteral("NON"),
               QStringLiteral("OUI")};
    return s;
}

QList<int> toList(const std::vector<int>& v) { return QList<int>(v.begin(), v.end()); }

}  // namespace

class TestKelFile : public QObject {
    Q_OBJECT
private slots:
    void writesExactBytes_data();
    void writesExactBytes();
    void encodesWindows1252_data();
    void encodesWindows1252();
    void readsIndexes_data();
    void readsIndexes();
    void readsBackWhatItWrites();
    void fuzzReader();
};

void TestKelFile::writesExactBytes_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("dateLine");
    QTest::addColumn<QByteArray>("timeLine");
    QTest::newRow("french") << QLocale(QLocale::French, QLocale::France)
                            << QByteArray(
                                   "cr\xE9"
                                   "e le: 05/03/2024")
                            << QByteArray("\xE0 14:07:09");
    QTest::newRow("c") << QLocale::c()
                       << QByteArray(
                              "cr\xE9"
                              "e le: 5 Mar 2024")
                       << QByteArray("\xE0 14:07:09");
    QTest::newRow("american") << QLocale(QLocale::English, QLocale::UnitedStates)
                              << QByteArray(
                                     "cr\xE9"
                                     "e le: 3/5/24")
                              << QByteArray("\xE0 2:07:09 PM");
}

void TestKelFile::writesExactBytes() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, dateLine);
    QFETCH(QByteArray, timeLine);
    const QList<QByteArray> expected = {
        "2",
        "0",
        "2",
        "0",
        "0",
        "0",
        "0",
        "1",
        "             K E L               ",
        "---------------------------------",
        "DEBUT DU FICHIER DE CONFIGURATION",
        "                                 ",
        "Chronom\xE8tre au centi\xE8me          ",
        "---------------------------------",
        "Connect\xE9 sur Port COM3:",
        "INTERFACE Filaire ",
        "DIGIT 4 Digits 99 sec 99 cen",
        "Couleur Mono couleur",
        "DCF77 NON",
        "Relais 1 NON",
        "Relais 2 NON",
        "R\xE9ponse OUI",
        "                                 ",
        "---------------------------------",
        "                                 ",
        "FIN DU FICHIER DE CONFIGURATION  ",
        "                                 ",
        dateLine,
        timeLine,
        "---------------------------------",
        "                                 ",
    };
    const QByteArray bytes =
        writeKelFile(startup(), QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), locale);
    QCOMPARE(bytes, expected.join("\r\n") + "\r\n");
    QCOMPARE(bytes.count("\r\n"), 31);
    QCOMPARE(bytes.count('\n'), 31);
}

void TestKelFile::encodesWindows1252_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("COM12:") << QByteArray("COM12:");
    QTest::newRow("accents") << QStringLiteral("èéàç") << QByteArray("\xE8\xE9\xE0\xE7");
    QTest::newRow("code page specials") << QStringLiteral("€’œŸ") << QByteArray("\x80\x92\x9C\x9F");
    QTest::newRow("narrow no-break space")
        << QStringLiteral("2:07\u202FPM") << QByteArray("2:07\xA0PM");
    QTest::newRow("outside the code page") << QStringLiteral("오후 2시") << QByteArray("?? 2?");
    QTest::newRow("surrogate pair is one character") << QStringLiteral("a😀b") << QByteArray("a?b");
    QTest::newRow("C1 control") << QStringLiteral("\u0081") << QByteArray("?");
}

void TestKelFile::encodesWindows1252() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(trv::kel::toWindows1252(text), bytes);
}

void TestKelFile::readsIndexes_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QList<int>>("indexes");
    QTest::newRow("eight ones") << QByteArray("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n")
                                << QList<int>{1, 1, 1, 1, 1, 1, 1, 1};
    QTest::newRow("LF line ends") << QByteArray("11\n1\n3\n1\n0\n1\n0\n1\n")
                                  << QList<int>{11, 1, 3, 1, 0, 1, 0, 1};
    QTest::newRow("no final line end")
        << QByteArray("2\r\n0\r\n2\r\n0\r\n0\r\n0\r\n0\r\n1") << QList<int>{2, 0, 2, 0, 0, 0, 0, 1};
    QTest::newRow("report lines ignored")
        << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n9\r\n9\r\n") << QList<int>(8, 0);
    QTest::newRow("short file") << QByteArray("1\r\n0\r\n3") << QList<int>{1, 0, 3};
    QTest::newRow("ends in CR") << QByteArray("1\r\n0\r") << QList<int>{1, 0};
    QTest::newRow("empty") << QByteArray() << QList<int>{};
    QTest::newRow("blank line stops") << QByteArray("1\r\n\r\n1\r\n") << QList<int>{1};
    QTest::newRow("leading blank stops") << QByteArray("1\r\n 1\r\n") << QList<int>{1};
    QTest::newRow("letter stops") << QByteArray("3\r\nx\r\n1\r\n") << QList<int>{3};
    QTest::newRow("sign stops") << QByteArray("-1\r\n") << QList<int>{};
    QTest::newRow("text after digits ignored")
        << QByteArray("4 COM5\r\n1;2\r\n") << QList<int>{4, 1};
    QTest::newRow("leading zeros") << QByteArray("007\r\n0\r\n") << QList<int>{7, 0};
    QTest::newRow("NUL ends the digits") << QByteArray("1\0002\r\n3\r\n", 8) << QList<int>{1, 3};
    QTest::newRow("CR alone is no line end") << QByteArray("1\r2\r3\r") << QList<int>{1};
    QTest::newRow("largest int") << QByteArray("2147483647\r\n1\r\n") << QList<int>{2147483647, 1};
    QTest::newRow("past int stops") << QByteArray("1\r\n2147483648\r\n1\r\n") << QList<int>{1};
    QTest::newRow("huge digit run stops") << QByteArray(5000, '9') << QList<int>{};
}

void TestKelFile::readsIndexes() {
    QFETCH(QByteArray, head);
    QFETCH(QList<int>, indexes);
    QCOMPARE(toList(readKelIndexes(head)), indexes);
}

// The two-character port indexes (COM11, COM12) come back as written, whatever the rest.
void TestKelFile::readsBackWhatItWrites() {
    const std::array<int, 8> counts = {12, 2, 4, 2, 2, 2, 2, 2};
    QRandomGenerator rng(81);
    for (int run = 0; run < 500; ++run) {
        Selections s = startup();
        for (std::size_t i = 0; i < s.indexes.size(); ++i)
            s.indexes[i] = int(rng.bounded(counts[i]));
        const QDateTime now = QDateTime::fromSecsSinceEpoch(qint64(rng.bounded(2000000000u)));
        const QByteArray bytes = writeKelFile(s, now, QLocale(QLocale::French, QLocale::France));
        QCOMPARE(toList(readKelIndexes(bytes)), QList<int>(s.indexes.begin(), s.indexes.end()));
    }
}

// Arbitrary bytes never crash, hang or yield more than eight non-negative indexes.
void TestKelFile::fuzzReader() {
    QRandomGenerator rng(8);
    QElapsedTimer timer;
    timer.start();
    const auto randomBytes = [&](qsizetype n, QByteArrayView alphabet) {
        QByteArray b(n, '\0');
        for (char& c : b)
            c = alphabet.isEmpty() ? char(rng.bounded(256))
                                   : alphabet[qsizetype(rng.bounded(int(alphabet.size())))];
        return b;
    };
    for (int run = 0; run < 3000; ++run) {
        QByteArray input;
        switch (run % 6) {
            case 0:
                input = randomBytes(rng.bounded(200), {});
                break;
            case 1:
                input = randomBytes(rng.bounded(100), "0123456789\r\n");
                break;
            case 2:
                input = randomBytes(trv::kel::kReadLimit, "0123456789");
                break;  // no newline
            case 3:
                input = QByteArray(rng.bounded(20000), char(rng.bounded(256))) + "\n1\n";
                break;
            case 4:
                input = randomBytes(rng.bounded(300), QByteArrayView("0\0\n1\r", 5));
                break;
            case 5:
                input = randomBytes(trv::kel::kReadLimit, "\n") + randomBytes(10, "19");
                break;
        }
        const std::vector<int> indexes = readKelIndexes(input);
        QVERIFY(indexes.size() <= 8);
        for (int i : indexes) QVERIFY(i >= 0);
    }
    QVERIFY2(timer.elapsed() < 60000, "the reader must stay linear in its input");
}

QTEST_APPLESS_MAIN(TestKelFile)
#include "test_kel_file.moc"
