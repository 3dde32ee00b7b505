// The soak's judge, proven on records made up to break each rule: a fake success must be seen.
#include <QTemporaryDir>
#include <QTest>

#include "image/image_file.h"
#include "soak_checker.h"

using namespace trv;
using trv::soak::Kind;
using trv::soak::Record;

Q_DECLARE_METATYPE(trv::soak::Record)

namespace {

ImageBytes board() {
    ImageBytes bytes{};
    for (int i = 0; i < kImageSize; ++i) bytes[std::size_t(i)] = quint8(i * 3 + 1);
    return bytes;
}

// An honest operation: the board held `before`, ends with `after`, and the program holds
// the image it read or wrote.
Record honest(Kind kind, const ImageBytes& before, const ImageBytes& after) {
    Record r;
    r.kind = kind;
    r.success = true;
    r.boardBefore = before;
    r.boardAfter = after;
    r.cells = cellTexts(soak::writes(kind) ? after : before);
    r.commands = {"SSS", "ZA0", "Y00", "ZA1", "X1X", "X6X"};
    if (soak::writes(kind)) r.commands << "WWW";
    return r;
}

// A read that failed, reported as a failure: every cell of the grid says "Er".
Record failedRead(Kind kind, const ImageBytes& before, const ImageBytes& after) {
    Record r = honest(kind, before, after);
    r.success = false;
    r.readFailed = true;
    r.cells.fill(QStringLiteral("Er"));
    return r;
}

}  // namespace

class TestSoakChecker : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void historyRecords();
};

void TestSoakChecker::rules_data() {
    QTest::addColumn<Record>("record");
    QTest::addColumn<QString>("violation");  // a word of the expected report; empty: none
    const ImageBytes before = board();
    ImageBytes written = before;
    written[5] = 0x99;
    written[61] = 0x0B;

    QTest::newRow("honest read") << honest(Kind::ReadCounter, before, before) << "";
    QTest::newRow("honest write") << honest(Kind::WriteImage, before, written) << "";
    {
        // The deliberate fault: the program says it wrote what the board does not hold.
        Record r = honest(Kind::WriteImage, before, written);
        r.boardAfter[5] = before[5];
        QTest::newRow("fake write success") << r << "not the 99 written";
    }
    {
        Record r = honest(Kind::ReadImage, before, before);
        r.cells[17] = QStringLiteral("3C");
        QTest::newRow("fake read success") << r << "with 3C at 0x11";
    }
    {
        Record r = honest(Kind::ReadSwitches, before, before);
        r.cells[3] = QStringLiteral("G0");  // what a board that sends no digits gives
        QTest::newRow("board's own characters") << r << "";
    }
    {
        Record r = honest(Kind::ReadLuminosity, before, before);
        r.boardSilent = true;
        QTest::newRow("success from a silent board") << r << "answered nothing";
    }
    QTest::newRow("write after a failed read")
        << failedRead(Kind::ProgramCounter, before, written) << "written after a failed read";
    {
        // A vanished port ends an operation the way silence does, never as a success.
        Record r = honest(Kind::Verify, before, before);
        r.portLost = true;
        QTest::newRow("success from a lost port") << r << "although the port was lost";
    }
    {
        Record r = failedRead(Kind::Verify, before, before);
        r.portLost = true;
        QTest::newRow("honest lost read") << r << "";
    }
    {
        Record r = failedRead(Kind::ReadCounter, before, before);
        r.cells[9] = QStringLiteral("1C");
        QTest::newRow("failed read keeps a byte") << r << "left the byte 1C at 0x09";
    }
    QTest::newRow("honest failed read") << failedRead(Kind::ReadCounter, before, before) << "";
    {
        Record r = honest(Kind::ProgramLuminosity, before, written);
        QTest::newRow("luminosity changed a counter byte") << r << "own byte at 0x05";
    }
    {
        Record r = honest(Kind::ReadImage, before, written);
        QTest::newRow("read that wrote") << r << "a read changed";
    }
    {
        Record r = honest(Kind::ProgramCounter, before, written);
        r.success = false;
        QTest::newRow("failed write, board partly written") << r << "";
    }
}

void TestSoakChecker::rules() {
    QFETCH(Record, record);
    QFETCH(QString, violation);
    const QStringList broken = soak::check(record);
    if (violation.isEmpty()) {
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u'\n')));
    } else {
        QVERIFY2(!broken.filter(violation).isEmpty(), qPrintable(broken.join(u'\n')));
    }
}

void TestSoakChecker::historyRecords() {
    QTemporaryDir folder;
    const ImageBytes image = board();
    const QString good = folder.filePath(QStringLiteral("good.hex"));
    QVERIFY(imagefile::writeFile(good, image).isEmpty());
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const QString cut = folder.filePath(QStringLiteral("cut.hex"));
    QFile cutFile(cut);
    QVERIFY(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(text.left(text.size() / 2));  // a record left half-written
    cutFile.close();

    Record r = honest(Kind::ReadImage, image, image);
    r.historyFiles = {good};
    r.historyImages = {image};
    QVERIFY(soak::check(r).isEmpty());
    ImageBytes other = image;
    other[0] ^= 1;
    r.historyImages = {other};
    QCOMPARE(soak::check(r).filter(QStringLiteral("holds another image")).size(), 1);
    r.historyFiles = {cut};
    r.historyImages = {image};
    QCOMPARE(soak::check(r).filter(QStringLiteral("not a valid image")).size(), 1);
}

QTEST_GUILESS_MAIN(TestSoakChecker)
#include "test_soak_checker.moc"
