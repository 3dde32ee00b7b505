// The counter window programming then reading a board in-process through the system's own
// port (the Win32 port on Windows), against a simulator run by the calling script in another
// process: TRV_BOARD_PORT names the COM port it is behind, TRV_BOARD_RECEIVED the file the
// simulator appends every byte it receives to, TRV_BOARD_IMAGE its EEPROM file. Without them
// the cases are skipped. The frames are checked byte for byte on the simulator's side; the
// script runs the same program on Linux too and compares what both simulators received.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "board_test_support.h"
#include "boards/counter_window.h"
#include "link/link.h"
#include "port/system_serial_port.h"
#include "protocol/frames.h"
#include "test_support.h"

using namespace trv;

namespace {
const QString kReadDone = QStringLiteral("Lecture effectuée avec succés.");
const QString kProgramDone = QStringLiteral("Programmation effectuée avec succés.");

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

test::Image imageOf(const QByteArray& bytes) {
    test::Image image{};
    for (int a = 0; a < 128 && a < bytes.size(); ++a) image[std::size_t(a)] = quint8(bytes[a]);
    return image;
}

void typeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// The bytes programming leaves as they were: the register, the signature's neighbours and
// everything past the counter's fields.
bool preservedByProgramming(int address) {
    return (address >= 24 && address <= 29) || (address >= 60 && address <= 62) ||
           (address >= 64 && address <= 69) || address >= 74;
}
}  // namespace

class CounterWindowComTest : public QObject {
    Q_OBJECT
    int m_port = 0;
    QString m_received;
    QString m_image;

    // What the simulator received from `from` on, once it holds `expected` (or waited out).
    QByteArray receivedFrom(qsizetype from, const QByteArray& expected) {
        QByteArray got;
        for (int i = 0; i < 100; ++i) {
            got = fileBytes(m_received).mid(from);
            if (got.size() >= expected.size()) break;
            QTest::qWait(50);
        }
        return got;
    }

private slots:
    void initTestCase() {
        m_port = qEnvironmentVariableIntValue("TRV_BOARD_PORT");
        m_received = qEnvironmentVariable("TRV_BOARD_RECEIVED");
        m_image = qEnvironmentVariable("TRV_BOARD_IMAGE");
        if (m_port <= 0 || m_received.isEmpty() || m_image.isEmpty())
            QSKIP("TRV_BOARD_PORT, TRV_BOARD_RECEIVED and TRV_BOARD_IMAGE name no simulated board");
    }

    // Programming then reading back at the line's real speed: the frames, the fields the
    // window owns on the board, the bytes it does not own left alone, and what the read shows.
    void programThenRead() {
        Link link(std::make_unique<SystemSerialPort>());
        link.setPortOpen(link.port().open(m_port));
        link.setPortNumber(m_port);
        const OpenFailure failure = link.port().openFailure();
        QVERIFY2(link.portOpen(), qPrintable(QStringLiteral("COM%1 did not open: cause %2 %3")
                                                 .arg(m_port)
                                                 .arg(int(failure.cause))
                                                 .arg(failure.systemText)));
        test::MessageRecorder recorder;
        CounterWindow w(link, recorder, [] { return board::ReplyControl::Oui; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QByteArray before = fileBytes(m_image);
        QCOMPARE(before.size(), 128);

        const QStringList integers{"1234567890", "5", "1A", "", "2", "4", "6", "8", "12345"};
        const QStringList decimals{"12", "5", "00", "", "00", "99", "6", "00", "01"};
        for (int f = 0; f < 9; ++f) {
            typeInto(w.valeur[std::size_t(f)], integers[f]);
            typeInto(w.vdeci[std::size_t(f)], decimals[f]);
        }
        w.POLREL1->setChecked(true);
        w.POLREL2->setChecked(false);
        w.POLREL3->setChecked(false);

        qsizetype from = fileBytes(m_received).size();
        w.findChild<QPushButton*>("but_ecrit_para")->click();
        QCOMPARE(recorder.texts(), QStringList{kProgramDone});
        // The simulator saves its image once the line is quiet.
        const QByteArray start = QByteArray::fromHex("129078563412");
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(m_image).left(6), start, 5000);
        const QByteArray after = fileBytes(m_image);
        QCOMPARE(after.size(), 128);
        for (int a = 0; a < 128; ++a)
            if (preservedByProgramming(a)) QCOMPARE(after[a], before[a]);
        QCOMPARE(after.mid(6, 18), QByteArray::fromHex("050500000000"
                                                       "001A00000000"
                                                       "000000000000"));
        QCOMPARE(after.mid(70, 4), QByteArray("KELd"));
        const QByteArray programming = test::wakeBurst() + test::wholeRead() +
                                       test::wholeWrite(imageOf(after)) + frames::frame("OOO") +
                                       test::closingBurst();
        QCOMPARE(receivedFrom(from, programming), programming);

        recorder.clear();
        for (int f = 0; f < 12; ++f) w.valeur[std::size_t(f)]->setText(QStringLiteral("x"));
        from = fileBytes(m_received).size();
        w.findChild<QPushButton*>("but_lit_para")->click();
        QCOMPARE(recorder.texts(), QStringList{kReadDone});
        const QByteArray reading = test::readingFrames() + test::closingBurst();
        QCOMPARE(receivedFrom(from, reading), reading);
        const QStringList shown{"1234567890", "0000000005", "000000001A",
                                "0000000000", "0000000002", "0000000004",
                                "0000000006", "0000000008", "2345"};
        for (int f = 0; f < shown.size(); ++f) QCOMPARE(w.valeur[std::size_t(f)]->text(), shown[f]);
        QVERIFY(w.POLREL1->isChecked() && !w.POLREL2->isChecked() && w.POLREL3->isChecked());
        link.port().close();
    }
};

QTEST_MAIN(CounterWindowComTest)
#include "test_counter_window_com.moc"
