// A board whose line goes away in the middle of an operation, as when a USB adapter is
// pulled out: the simulator program is killed while the counter window reads or programs,
// then started again on the same link.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "boards/counter_window.h"
#include "configuration/settings_window.h"
#include "link/link.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "protocol/exchange.h"
#include "protocol/frames.h"
#include "test_support.h"
#include "ui/colours.h"

using namespace trv;

namespace {
constexpr int kPort = 5;

// The program's real port, watched: every byte handed to it, and any write made once the
// program had seen the port lost.
class WatchedPort final : public SerialPort {
public:
    bool open(int n) override {
        seenLost = false;
        return real.open(n);
    }
    void close() override { real.close(); }
    bool isOpen() const override { return real.isOpen(); }
    int portNumber() const override { return real.portNumber(); }
    OpenFailure openFailure() const override { return real.openFailure(); }
    bool lost() override { return seenLost = real.lost() || seenLost; }
    int baudRate() const override { return real.baudRate(); }
    bool write(const QByteArray& bytes) override {
        if (seenLost) ++writesAfterLoss;
        written += bytes;
        return real.write(bytes);
    }
    bool drain(int msecs) override { return real.drain(msecs); }
    qint64 bytesWaiting() override { return real.bytesWaiting(); }
    bool waitForInput(int msecs) override { return real.waitForInput(msecs); }
    QByteArray readAll() override { return real.readAll(); }
    void discardInput() override { real.discardInput(); }
    void setDtr(bool on) override { real.setDtr(on); }

    QtSerialPort real;
    bool seenLost = false;
    int writesAfterLoss = 0;
    QByteArray written;
};

// trv-board-sim as a technician runs it, linked as COM5.
class SimProgram {
public:
    explicit SimProgram(QString image) : m_image(std::move(image)) {}
    ~SimProgram() { kill(); }
    // --force: a killed simulator leaves its link behind, and another program may have taken
    // its pseudo-terminal's number since; a link to a live device is only taken when told.
    bool start() {
        m_process.start(QStringLiteral(TRV_BOARD_SIM),
                        {QStringLiteral("--port"), QString::number(kPort),
                         QStringLiteral("--image"), m_image, QStringLiteral("--force")});
        // Ready once it says so: its link then leads to its own pseudo-terminal (a dead
        // simulator's link may lead to a number that another program took since).
        QByteArray said;
        QElapsedTimer t;
        t.start();
        while (!said.contains("Ctrl+C") && t.elapsed() < 5000 &&
               m_process.state() != QProcess::NotRunning)
            if (m_process.waitForReadyRead(100)) said += m_process.readAllStandardOutput();
        return said.contains("Ctrl+C");
    }
    void kill() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QString m_image;
    QProcess m_process;
};

qint64 processCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

struct Shown {
    msg::Kind kind;
    QString text;
    QString detail;
    qint64 at;  // ms on the test's timer
};

// Records each box with the moment it came.
class TimedRecorder final : public test::MessageRecorder {
public:
    TimedRecorder(const QElapsedTimer& clock, QList<Shown>& shown)
        : m_clock(clock), m_shown(shown) {}
    void message(msg::Kind kind, QWidget*, const QString& text, const QString& detail) override {
        m_shown.append({kind, text, detail, m_clock.elapsed()});
    }

private:
    const QElapsedTimer& m_clock;
    QList<Shown>& m_shown;
};
}  // namespace

class LostPortE2ETest : public QObject {
    Q_OBJECT

private slots:
    void lostMidOperationThenBack_data() {
        QTest::addColumn<bool>("program");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("killAtMs");
        QTest::addColumn<bool>("reachedTheWrite");
        // Reading: the transaction is on the line from about 1 s to 2.1 s after the click.
        QTest::newRow("read, replies checked") << false << "OUI" << 1600 << false;
        QTest::newRow("read, replies not checked") << false << "NON" << 1600 << false;
        // Programming reads first (to 2.1 s), then writes (on the line from 3.1 s to 4.5 s).
        QTest::newRow("program, during its read") << true << "NON" << 1600 << false;
        QTest::newRow("program, during its write") << true << "OUI" << 3800 << true;
    }
    void lostMidOperationThenBack() {
        QFETCH(bool, program);
        QFETCH(QString, reply);
        QFETCH(int, killAtMs);
        QFETCH(bool, reachedTheWrite);
        test::TempDataHome home;
        QTemporaryDir files;
        SimProgram sim(files.filePath(QStringLiteral("eeprom.bin")));
        QVERIFY(sim.start());

        QElapsedTimer clock;
        clock.start();
        QList<Shown> shown;
        TimedRecorder prompts(clock, shown);
        auto owned = std::make_unique<WatchedPort>();
        WatchedPort& port = *owned;
        Link link(std::move(owned));
        SettingsWindow settings(link, prompts, nullptr);
        settings.setIndex(Setting::Com, kPort - 1);
        settings.validateButton()->click();
        QVERIFY(link.portOpen());
        CounterWindow w(link, prompts, [reply] { return test::replyControl(reply); });
        w.show();
        shown.clear();

        // The line goes away while the window talks to the board.
        qint64 killedAt = -1;
        QTimer::singleShot(killAtMs, [&] {
            sim.kill();
            killedAt = clock.elapsed();
        });
        const qint64 clickedAt = clock.elapsed();
        (program ? w.butEcritPara : w.butLitPara)->click();
        QVERIFY2(killedAt >= 0, "the operation ended before the line went away");
        QVERIFY(killedAt - clickedAt < 4300);

        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, msg::Kind::Warning);
        QCOMPARE(shown[0].text, QStringLiteral("Le port COM5 a été perdu (adaptateur débranché ?). "
                                               "Rebranchez-le puis validez à nouveau la "
                                               "configuration."));
        QVERIFY2(shown[0].at - killedAt <= 300,
                 qPrintable(QStringLiteral("%1 ms").arg(shown[0].at - killedAt)));
        QVERIFY(!link.portOpen());
        QVERIFY(!link.port().isOpen());
        QCOMPARE(port.writesAfterLoss, 0);
        QCOMPARE(port.written.contains(frames::frame("WWW")), reachedTheWrite);
        for (int i : {0, 77, 127}) {
            QCOMPARE(w.image().text(i), QStringLiteral("Er"));
            QCOMPARE(colour::background(w.grid().Text1[std::size_t(i)]),
                     std::optional(colour::kRed));
        }

        // Idle afterwards: nothing keeps trying the dead line.
        const qint64 cpuBefore = processCpuMs();
        QTest::qWait(1000);
        const qint64 idleCpu = processCpuMs() - cpuBefore;
        QVERIFY2(idleCpu < 100, qPrintable(QStringLiteral("%1 ms of processor").arg(idleCpu)));
        qInfo("message %lld ms after the loss; %lld ms of processor in 1 s idle",
              shown[0].at - killedAt, idleCpu);

        // Validating before the board is back says why the port does not open. (On a busy
        // machine another program may already have taken the dead link's pseudo-terminal.)
        if (portDevice(kPort).isEmpty()) {
            shown.clear();
            settings.validateButton()->click();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].text, QStringLiteral("L'ouverture du port COM5 à échouée !"));
            QVERIFY2(shown[0].detail.contains(QStringLiteral("qui est absent")),
                     qPrintable(shown[0].detail));
            QVERIFY(!link.portOpen());
        }

        // The board back on the same link: validate, read, without restarting anything.
        QVERIFY(sim.start());
        shown.clear();
        settings.validateButton()->click();
        QVERIFY2(link.portOpen(), shown.isEmpty() ? "" : qPrintable(shown[0].detail));
        shown.clear();
        w.butLitPara->click();
        QCOMPARE(shown.size(), reply == QLatin1String("NON") ? 0 : 1);
        if (!shown.isEmpty())
            QCOMPARE(shown[0].text, QStringLiteral("Lecture effectuée avec succés."));
        for (int i : {0, 77, 127})
            QCOMPARE(colour::background(w.grid().Text1[std::size_t(i)]),
                     std::optional(colour::kGreen));
        QVERIFY(link.portOpen());
    }
};

QTEST_MAIN(LostPortE2ETest)
#include "test_lost_port_e2e.moc"
