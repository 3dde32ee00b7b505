#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "board_test_support.h"
#include "sim/board_model.h"
#include "sim/faults.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "sim/pty_board.h"
#endif

using trv::sim::BoardModel;
using trv::sim::Eeprom;
using trv::sim::Preset;

Q_DECLARE_METATYPE(trv::sim::Preset)
#ifdef Q_OS_UNIX
Q_DECLARE_METATYPE(trv::sim::Faults)
#endif

namespace {

const QByteArray kAck("31\x02\x06\x03", 5);

QByteArray frames(const QByteArrayList& commands) {
    QByteArray bytes;
    for (const QByteArray& command : commands) bytes += trv::sim::commandFrame(command);
    return bytes;
}

// What the tool sends to read the whole image (133 frames, 793 reply bytes) and to write it
// (8 blocks of 20 frames, 800 reply bytes).
using trv::test::readCommands;
using trv::test::writeCommands;

// The image as the tool parses a read reply: two characters every 6 from position 24.
Eeprom parseRead(const QByteArray& reply, bool* ok) {
    Eeprom image{};
    *ok = reply.size() >= 788;
    for (int i = 0; *ok && i < 128; ++i)
        image[std::size_t(i)] = quint8(reply.mid(23 + 6 * i, 2).toUInt(ok, 16));
    return image;
}

Eeprom randomImage() {
    Eeprom image;
    for (quint8& byte : image) byte = quint8(QRandomGenerator::global()->bounded(256));
    return image;
}

#ifdef Q_OS_UNIX
// The tool's end of the line, through plain system calls.
class Terminal {
public:
    explicit Terminal(const QString& device)
        : m_fd(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY)) {}
    ~Terminal() { ::close(m_fd); }
    bool isOpen() const { return m_fd >= 0; }

    // One write per frame, back to back, as the tool sends a run.
    bool send(const QByteArrayList& commands) {
        for (const QByteArray& command : commands) {
            const QByteArray frame = trv::sim::commandFrame(command);
            if (::write(m_fd, frame.constData(), size_t(frame.size())) != frame.size())
                return false;
        }
        return true;
    }
    // What arrives until `count` bytes are in or the line stays quiet for `quietMs`.
    QByteArray receive(qsizetype count = 1 << 20, int quietMs = 300) {
        QByteArray bytes;
        pollfd pfd{m_fd, POLLIN, 0};
        while (bytes.size() < count && ::poll(&pfd, 1, quietMs) > 0) {
            char buffer[1024];
            const ssize_t n =
                ::read(m_fd, buffer, size_t(std::min<qsizetype>(1024, count - bytes.size())));
            if (n <= 0) break;  // the line hung up
            bytes.append(buffer, n);
        }
        return bytes;
    }

private:
    int m_fd;
};
#endif

}  // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void replies_data();
    void replies();
    void readTransactionLayout_data();
    void readTransactionLayout();
    void writeThenReadRoundTrip();
    void transactions_data();
    void transactions();
    void splitFeeds();
    void junk_data();
    void junk();
    void faultWords_data();
    void faultWords();
#ifdef Q_OS_UNIX
    void linksThePort();
    void existingLink_data();
    void existingLink();
    void programLeavesNoLink_data();
    void programLeavesNoLink();
    void foreignLinkSurvivesStop();
    void helpAndVersion_data();
    void helpAndVersion();
    void startFailures_data();
    void startFailures();
    void throughTheProgramsPort();
    void pacing_data();
    void pacing();
    void faults_data();
    void faults();
    void wrongProbe();
    void replyTiming_data();
    void replyTiming();
    void vanishAndReturn();
    void imageFile();
#endif

private:
    QTemporaryDir m_data;
};

void TestSim::initTestCase() {
    QVERIFY(m_data.isValid());
    // Links and images go to a private folder, never the user's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
}

void TestSim::replies_data() {
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArray>("expected");
    for (const char* command :
         {"SSS", "ZA0", "ZA1", "WWW", "X6X", "PPP", "OOO", "LLL", "RRR", "Q?!"})
        QTest::newRow(command) << QByteArrayList{command} << kAck;
    QTest::newRow("X1X blank") << QByteArrayList{"X1X"}
                               << QByteArray(
                                      "31\x02"
                                      "FF\x03");
    // Digits are upper case and zero padded, whatever case the write used.
    for (const char* digits : {"4b", "07"})
        QTest::newRow(digits) << QByteArrayList{"SSS", "ZA0", "Y00", QByteArray("Y") + digits,
                                                "WWW", "SSS", "ZA0", "Y00",
                                                "ZA1", "X1X"}
                              << kAck.repeated(9) + "31\x02" + QByteArray(digits).toUpper() +
                                     "\x03";
}

void TestSim::replies() {
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArray, expected);
    QCOMPARE(trv::sim::commandFrame("Y3C"), QByteArray::fromHex("5F33310259334303"));
    BoardModel board(trv::sim::presetImage(Preset::Blank));
    QCOMPARE(board.feed(frames(commands)).reply, expected);
}

void TestSim::readTransactionLayout_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("digits");
    // The signed preset as the tool decodes it: start 10,00, luminosity, "KELd", switches.
    const QList<std::pair<int, const char*>> rows{
        {0, "00"},  {1, "10"},  {5, "00"},  {7, "50"},  {55, "01"}, {60, "02"}, {61, "09"},
        {62, "04"}, {70, "4B"}, {71, "45"}, {72, "4C"}, {73, "64"}, {74, "05"}, {76, "54"}};
    for (const auto& [address, digits] : rows)
        QTest::addRow("%d", address) << address << QByteArray(digits);
}

void TestSim::readTransactionLayout() {
    QFETCH(int, address);
    QFETCH(QByteArray, digits);
    BoardModel board(trv::sim::presetImage(Preset::Signed));
    const QByteArray reply = board.feed(frames(readCommands())).reply;
    QCOMPARE(reply.size(), 793);
    QCOMPARE(reply.left(20), kAck.repeated(4));
    QCOMPARE(reply.mid(23 + 6 * address, 2), digits);
}

void TestSim::writeThenReadRoundTrip() {
    const Eeprom image = randomImage();
    BoardModel board(trv::sim::presetImage(Preset::Signed));
    const BoardModel::Answer written = board.feed(frames(writeCommands(image)));
    QCOMPARE(written.reply, kAck.repeated(160));
    QCOMPARE(written.commands.size(), 160);
    QVERIFY(written.committed);
    QCOMPARE(board.eeprom(), image);

    const BoardModel::Answer read = board.feed(frames(readCommands()));
    QVERIFY(!read.committed);
    bool ok = false;
    QCOMPARE(parseRead(read.reply, &ok), image);
}

void TestSim::transactions_data() {
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QList<int>>("changed");  // address, value, address, value...
    QTest::newRow("block") << QByteArrayList{"SSS", "ZA0", "Y10", "Y01", "Y02", "WWW"}
                           << QList<int>{0x10, 1, 0x11, 2};
    QTest::newRow("wraps at 128") << QByteArrayList{"SSS", "ZA0", "Y7F", "YAA", "YBB", "WWW"}
                                  << QList<int>{0x7F, 0xAA, 0x00, 0xBB};
    QTest::newRow("bad digits skipped")
        << QByteArrayList{"SSS", "ZA0", "Y20", "YG1", "Y33", "WWW"} << QList<int>{0x20, 0x33};
    QTest::newRow("no WWW") << QByteArrayList{"SSS", "ZA0", "Y10", "Y01", "SSS", "WWW"}
                            << QList<int>{};
    QTest::newRow("read drops pending")
        << QByteArrayList{"SSS", "ZA0", "Y10", "Y01", "ZA1", "X1X", "WWW"} << QList<int>{};
    QTest::newRow("Y without ZA0") << QByteArrayList{"SSS", "Y10", "Y01", "WWW"} << QList<int>{};
}

void TestSim::transactions() {
    QFETCH(QByteArrayList, commands);
    QFETCH(QList<int>, changed);
    Eeprom expected = trv::sim::presetImage(Preset::Blank);
    for (qsizetype i = 0; i + 1 < changed.size(); i += 2)
        expected[std::size_t(changed[i])] = quint8(changed[i + 1]);
    BoardModel board(trv::sim::presetImage(Preset::Blank));
    // Only a commit that stored bytes counts as one: the file is rewritten for it.
    QCOMPARE(board.feed(frames(commands)).committed, !changed.isEmpty());
    QCOMPARE(board.eeprom(), expected);
}

void TestSim::splitFeeds() {
    const QByteArray bytes = frames(readCommands()) + frames(writeCommands(randomImage()));
    BoardModel whole(trv::sim::presetImage(Preset::Signed));
    const QByteArray expected = whole.feed(bytes).reply;
    for (int round = 0; round < 20; ++round) {
        BoardModel board(trv::sim::presetImage(Preset::Signed));
        QByteArray reply;
        for (qsizetype pos = 0; pos < bytes.size();) {
            const qsizetype size = std::min<qsizetype>(
                1 + QRandomGenerator::global()->bounded(round < 2 ? 1 : 19), bytes.size() - pos);
            reply += board.feed(QByteArrayView(bytes).sliced(pos, size)).reply;
            pos += size;
        }
        QCOMPARE(reply, expected);
        QCOMPARE(board.eeprom(), whole.eeprom());
    }
}

void TestSim::junk_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("commands");
    const QByteArray rrr = trv::sim::commandFrame("RRR");
    QTest::newRow("noise") << QByteArray("\x00\xFFx\x06__3_31", 10) + rrr << QByteArrayList{"RRR"};
    QTest::newRow("cut frame") << QByteArray("_31\x02SS", 6) + rrr << QByteArrayList{"RRR"};
    QTest::newRow("no ETX") << QByteArray("_31\x02SSSX", 8) + rrr << QByteArrayList{"RRR"};
    QTest::newRow("frame inside a bad one")
        << QByteArray("_31\x02S") + rrr + "junk" + trv::sim::commandFrame("PPP")
        << QByteArrayList{"RRR", "PPP"};
    QTest::newRow("only noise") << QByteArray(300, 'a') << QByteArrayList{};
}

void TestSim::junk() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, commands);
    BoardModel board;
    const BoardModel::Answer answer = board.feed(bytes);
    QCOMPARE(answer.commands, commands);
    QCOMPARE(answer.reply, kAck.repeated(commands.size()));
    // Back in step: the next frame is answered alone.
    QCOMPARE(board.feed(trv::sim::commandFrame("SSS")).reply, kAck);
}

void TestSim::faultWords_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("canonical");  // empty: refused
    QTest::newRow("none") << "none"
                          << "none";
    QTest::newRow("empty") << "  "
                           << "none";
    QTest::newRow("several") << "delay=950  cut=6 silent"
                             << "silent cut=6 delay=950";
    QTest::newRow("vanish") << "vanish=120,2000"
                            << "vanish=120,2000";
    QTest::newRow("unwritten") << "unwritten=127 noise=3"
                               << "noise=3 unwritten=127";
    QTest::newRow("frame delay") << "frame-delay=20 delay=5"
                                 << "delay=5 frame-delay=20";
    QTest::newRow("unwritten out of the memory") << "unwritten=128"
                                                 << "";
    QTest::newRow("negative") << "cut=-1"
                              << "";
    QTest::newRow("hours of delay") << "delay=3600000"
                                    << "";
    QTest::newRow("flag with a value") << "silent=1"
                                       << "";
    QTest::newRow("vanish without time") << "vanish=10"
                                         << "";
    QTest::newRow("unknown") << "melt"
                             << "";
}

void TestSim::faultWords() {
    QFETCH(QString, line);
    QFETCH(QString, canonical);
    QString error;
    const auto faults = trv::sim::parseFaults(line, &error);
    QCOMPARE(faults.has_value(), !canonical.isEmpty());
    if (!faults) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(trv::sim::faultsText(*faults), canonical);
    QCOMPARE(trv::sim::parseFaults(canonical, &error), faults);
}

#ifdef Q_OS_UNIX

namespace {
std::unique_ptr<trv::sim::PtyBoard> startBoard(trv::sim::PtyBoardOptions options) {
    auto board = std::make_unique<trv::sim::PtyBoard>(std::move(options));
    if (!board->start()) qWarning("start: %s", qPrintable(board->errorString()));
    return board;
}
}  // namespace

void TestSim::linksThePort() {
    trv::sim::PtyBoardOptions options;
    options.port = 7;
    auto board = startBoard(options);
    QVERIFY(board->isRunning());
    QCOMPARE(board->linkPath(), trv::portLinkPath(7));
    QCOMPARE(trv::portDevice(7), board->devicePath());

    // The tool closing its end never takes the board down.
    for (int i = 0; i < 3; ++i) {
        Terminal line(trv::portDevice(7));
        QVERIFY(line.send({"RRR"}));
        QCOMPARE(line.receive(5), kAck);
    }
    QElapsedTimer clock;
    clock.start();
    board->stop();
    QVERIFY2(clock.elapsed() < 500, "stop() waits on a long sleep");
    QVERIFY(!QFileInfo(trv::portLinkPath(7)).isSymLink());
}

// An existing comN is the technician's: the board never takes it unless forced, and then
// puts it back when it stops. Only a link to a pseudo-terminal that is gone (a killed
// simulator's) is taken without asking, and not put back.
void TestSim::existingLink_data() {
    QTest::addColumn<QString>("entry");  // "link", "dangling", "file", "pts gone", "pts live"
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("starts");
    QTest::newRow("link to a device") << "link" << false << false;
    QTest::newRow("dangling link") << "dangling" << false << false;
    QTest::newRow("plain file") << "file" << false << false;
    QTest::newRow("plain file, forced") << "file" << true << false;
    QTest::newRow("link, forced") << "link" << true << true;
    QTest::newRow("dangling link, forced") << "dangling" << true << true;
    QTest::newRow("pseudo-terminal gone") << "pts gone" << false << true;
    QTest::newRow("pseudo-terminal gone, forced") << "pts gone" << true << true;
    QTest::newRow("pseudo-terminal in use") << "pts live" << false << false;
}

void TestSim::existingLink() {
    QFETCH(QString, entry);
    QFETCH(bool, force);
    QFETCH(bool, starts);
    const QString path = trv::portLinkPath(8);
    QVERIFY(QDir().mkpath(trv::portsFolder()));
    QFile::remove(path);
    const bool leftover = entry == QLatin1String("pts gone");
    int held = -1;  // a pseudo-terminal of the test's, alive
    QString target = QStringLiteral("/nonexistent/ttyUSB0");
    if (entry == QLatin1String("link")) target = QStringLiteral("/dev/null");
    if (leftover) {
        int n = 4000;
        while (QFileInfo::exists(QStringLiteral("/dev/pts/%1").arg(n))) ++n;
        target = QStringLiteral("/dev/pts/%1").arg(n);
    }
    if (entry == QLatin1String("pts live")) {
        held = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(held >= 0 && ::grantpt(held) == 0 && ::unlockpt(held) == 0);
        target = QFile::decodeName(::ptsname(held));
    }
    if (entry == QLatin1String("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mine");
    } else {
        QVERIFY(::symlink(QFile::encodeName(target).constData(),
                          QFile::encodeName(path).constData()) == 0);
    }
    const auto rawTarget = [&] {
        char buffer[512] = {};
        const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
        return n < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(n)));
    };

    trv::sim::PtyBoardOptions options;
    options.port = 8;
    options.force = force;
    {
        trv::sim::PtyBoard board(options);
        QCOMPARE(board.start(), starts);
        if (starts) {
            QCOMPARE(trv::portDevice(8), board.devicePath());
            QCOMPARE(board.replacedLinkTarget(), leftover ? QString() : target);
            QCOMPARE(board.leftoverLinkTarget(), leftover ? target : QString());
        } else {
            QVERIFY2(board.errorString().contains(path), qPrintable(board.errorString()));
            if (entry != QLatin1String("file"))
                QVERIFY2(board.errorString().contains(target), qPrintable(board.errorString()));
        }
    }
    if (held >= 0) ::close(held);
    if (entry == QLatin1String("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("mine"));
    } else {
        // A leftover is not worth putting back: the port is simply free again.
        QCOMPARE(rawTarget(), leftover ? QString() : target);
    }
    QFile::remove(path);
}

// The program itself, stopped as a terminal or a session stops it: its link goes, or the
// link it borrowed comes back. A kill it cannot catch leaves its link dangling, and the next
// simulator on that number takes it over with a note.
void TestSim::programLeavesNoLink_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("borrowed");  // --force over a link to /dev/null
    QTest::newRow("Ctrl+C") << int(SIGINT) << false;
    QTest::newRow("terminated") << int(SIGTERM) << false;
    QTest::newRow("terminal closed") << int(SIGHUP) << false;
    QTest::newRow("terminated, borrowed link") << int(SIGTERM) << true;
    QTest::newRow("terminal closed, borrowed link") << int(SIGHUP) << true;
    QTest::newRow("killed") << int(SIGKILL) << false;
}

void TestSim::programLeavesNoLink() {
    QFETCH(int, signal);
    QFETCH(bool, borrowed);
    const int port = 12;
    const QString path = trv::portLinkPath(port);
    QVERIFY(QDir().mkpath(trv::portsFolder()));
    QFile::remove(path);
    if (borrowed) QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
    const QStringList arguments{QStringLiteral("--port"), QString::number(port),
                                QStringLiteral("--image"), m_data.filePath(QStringLiteral("p.bin")),
                                QStringLiteral("--force")};
    // Ready once it says so; its error output is what it said on standard error.
    auto start = [&](QProcess& sim, QStringList args) {
        sim.start(QStringLiteral(TRV_BOARD_SIM), args);
        QByteArray said;
        QElapsedTimer t;
        t.start();
        while (!said.contains("Ctrl+C") && t.elapsed() < 5000 &&
               sim.state() != QProcess::NotRunning)
            if (sim.waitForReadyRead(100)) said += sim.readAllStandardOutput();
        return said.contains("Ctrl+C");
    };

    QProcess sim;
    QVERIFY(start(sim, borrowed ? arguments : arguments.mid(0, 4)));
    const QString device = QFileInfo(path).canonicalFilePath();
    QVERIFY(device.startsWith(QStringLiteral("/dev/pts/")));
    ::kill(pid_t(sim.processId()), signal);
    QVERIFY(sim.waitForFinished(5000));

    if (signal != SIGKILL) {
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QFileInfo(path).isSymLink(), borrowed);
        if (borrowed) QCOMPARE(QFileInfo(path).symLinkTarget(), QStringLiteral("/dev/null"));
        return;
    }
    // Its pseudo-terminal went with it; the next simulator needs no --force.
    QVERIFY(QFileInfo(path).isSymLink());
    QVERIFY(!QFileInfo::exists(path));
    QProcess next;
    QVERIFY(start(next, arguments.mid(0, 4)));
    QVERIFY(QFileInfo(path).canonicalFilePath().startsWith(QStringLiteral("/dev/pts/")));
    ::kill(pid_t(next.processId()), SIGTERM);
    QVERIFY(next.waitForFinished(5000));
    const QStringList notes =
        QString::fromLocal8Bit(next.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(notes.size(), 1);
    QCOMPARE(notes[0], QStringLiteral("trv-board-sim : le lien COM%1 menait à %2, un "
                                      "pseudo-terminal qui n'existe plus ; il est remplacé.")
                           .arg(port)
                           .arg(device));
    QVERIFY(!QFileInfo(path).isSymLink());
}

// A link someone else made while the board ran stays when it stops.
void TestSim::foreignLinkSurvivesStop() {
    trv::sim::PtyBoardOptions options;
    options.port = 9;
    trv::sim::PtyBoard board(options);
    QVERIFY(board.start());
    QVERIFY(QFile::remove(board.linkPath()));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), board.linkPath()));
    board.stop();
    QCOMPARE(QFileInfo(trv::portLinkPath(9)).symLinkTarget(), QStringLiteral("/dev/null"));
    QFile::remove(trv::portLinkPath(9));
}

// The program's own options describe themselves in French, Qt's help option included.
void TestSim::helpAndVersion_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("line");  // one line of what it prints
    const QString help = QStringLiteral("  -h, --help, --help-all   Affiche cette aide.");
    QTest::newRow("--help") << "--help" << help;
    QTest::newRow("-h") << "-h" << help;
    QTest::newRow("--help-all") << "--help-all" << help;
    QTest::newRow("--version") << "--version"
                               << QStringLiteral("trv-board-sim %1.%2.%3")
                                      .arg(TRV_VERSION_MAJOR)
                                      .arg(TRV_VERSION_MINOR)
                                      .arg(TRV_VERSION_PATCH);
}

void TestSim::helpAndVersion() {
    QFETCH(QString, option);
    QFETCH(QString, line);
    QProcess sim;
    sim.start(QStringLiteral(TRV_BOARD_SIM), {option});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QString said = QString::fromUtf8(sim.readAllStandardOutput());
    QVERIFY2(said.split(u'\n').contains(line), qPrintable(said));
    QVERIFY2(!said.contains(QStringLiteral("Displays")), qPrintable(said));
}

void TestSim::startFailures_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("imageBytes");  // what the image file holds beforehand
    QTest::newRow("port 0") << 0 << QByteArray();
    QTest::newRow("short image") << 4 << QByteArray(127, '\x11');
    QTest::newRow("long image") << 4 << QByteArray(129, '\x11');
}

void TestSim::startFailures() {
    QFETCH(int, port);
    QFETCH(QByteArray, imageBytes);
    trv::sim::PtyBoardOptions options;
    options.port = port;
    if (!imageBytes.isNull()) {
        options.imagePath = m_data.filePath(QStringLiteral("bad.bin"));
        QFile file(options.imagePath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(imageBytes);
    }
    trv::sim::PtyBoard board(options);
    QVERIFY(!board.start());
    QVERIFY(!board.errorString().isEmpty());
    QVERIFY(!QFileInfo(trv::portLinkPath(port)).isSymLink());
    if (!imageBytes.isNull()) {
        // A file that is not an image is the user's: it stays as it was.
        QFile file(options.imagePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), imageBytes);
    }
}

void TestSim::throughTheProgramsPort() {
    // The tool's own port class, in this thread, while the board answers on its own. What
    // the board receives also goes to a file, which a run before this one left full.
    QTemporaryDir dir;
    const QString receivedPath = dir.filePath(QStringLiteral("received"));
    QFile previous(receivedPath);
    QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write("an earlier run") > 0);
    previous.close();
    trv::sim::PtyBoardOptions options;
    options.port = 5;
    options.receivedPath = receivedPath;
    auto board = startBoard(options);
    board->setEeprom(randomImage());
    for (int round = 0; round < 2; ++round) {
        trv::QtSerialPort port;
        QVERIFY(port.open(5));
        QVERIFY(port.write(frames(QByteArrayList(5, "SSS"))));
        QVERIFY(port.drain(1000));
        QTest::qWait(300);
        port.discardInput();
        QVERIFY(port.write(frames(readCommands())));
        QVERIFY(port.drain(1000));
        QElapsedTimer clock;
        clock.start();
        while (port.bytesWaiting() < 793 && clock.elapsed() < 3000) port.waitForInput(100);
        bool ok = false;
        QCOMPARE(parseRead(port.readAll(), &ok), board->eeprom());
    }
    const QByteArray sent = (frames(QByteArrayList(5, "SSS")) + frames(readCommands())).repeated(2);
    QCOMPARE(board->received(), sent);
    QFile received(receivedPath);
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(received.readAll(), sent);
}

void TestSim::pacing_data() {
    QTest::addColumn<bool>("pacing");
    QTest::newRow("paced") << true;
    QTest::newRow("fast") << false;
}

void TestSim::pacing() {
    QFETCH(bool, pacing);
    trv::sim::PtyBoardOptions options;
    options.pacing = pacing;
    auto board = startBoard(options);
    Terminal line(board->devicePath());
    // The read transaction without "X6X": exactly 788 reply bytes.
    QByteArrayList commands = readCommands();
    commands.removeLast();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(line.send(commands));
    QCOMPARE(line.receive(788).size(), 788);
    const qint64 elapsed = clock.elapsed();
    // 788 bytes of 10 bits at 9600 baud take 0.82 s.
    QVERIFY2(pacing ? elapsed >= 800 && elapsed < 1500 : elapsed < 400,
             qPrintable(QString::number(elapsed)));
}

void TestSim::faults_data() {
    QTest::addColumn<trv::sim::Faults>("faults");
    QTest::addColumn<bool>("write");  // the write transaction, else the read
    QTest::addColumn<int>("count");
    auto with = [](auto member, auto value) {
        trv::sim::Faults faults;
        faults.*member = value;
        return faults;
    };
    using F = trv::sim::Faults;
    QTest::newRow("read") << F{} << false << 793;
    QTest::newRow("read cut 6") << with(&F::cut, 6) << false << 787;
    QTest::newRow("write") << F{} << true << 800;
    QTest::newRow("write cut 1") << with(&F::cut, 1) << true << 799;
    QTest::newRow("write extra 1") << with(&F::extra, 1) << true << 801;
    QTest::newRow("write cut all") << with(&F::cut, 5000) << true << 0;
    QTest::newRow("write silent") << with(&F::silent, true) << true << 0;
    QTest::newRow("read garbage") << with(&F::garbage, true) << false << 793;
    QTest::newRow("read noise 7") << with(&F::noise, 7) << false << 800;
    QTest::newRow("write unwritten 0x45") << with(&F::unwritten, 0x45) << true << 800;
}

void TestSim::faults() {
    QFETCH(trv::sim::Faults, faults);
    QFETCH(bool, write);
    QFETCH(int, count);
    trv::sim::PtyBoardOptions options;
    options.pacing = false;
    auto board = startBoard(options);
    board->setFaults(faults);  // faults change while the board runs
    Terminal line(board->devicePath());
    const Eeprom before = board->eeprom();
    const Eeprom image = randomImage();
    const QByteArrayList commands = write ? writeCommands(image) : readCommands();
    QVERIFY(line.send(commands));
    const QByteArray reply = line.receive();
    QCOMPARE(reply.size(), count);
    QCOMPARE(board->received(), frames(commands));
    if (faults.extra > 0) QCOMPARE(reply.right(faults.extra), QByteArray(faults.extra, '\x06'));
    for (int i = 0; faults.garbage && i < 128; ++i)
        QCOMPARE(reply.mid(23 + 6 * i, 2), QByteArray("G0"));
    // A silent board is an absent one: nothing reaches its memory; an unwritten byte keeps its
    // value through the write.
    Eeprom expected = write && !faults.silent ? image : before;
    if (faults.unwritten >= 0) expected[std::size_t(faults.unwritten)] = before[0x45];
    QCOMPARE(board->eeprom(), expected);
    if (faults.noise > 0) {
        bool ok = false;
        const Eeprom seen = parseRead(reply.left(793 / 2) + reply.mid(793 / 2 + faults.noise), &ok);
        QVERIFY(ok);
        QCOMPARE(seen, before);  // the noise sits in the middle, the rest is the board's reply
    }

    board->setFaults({});
    board->clearReceived();
    QVERIFY(line.send({"RRR"}));
    QCOMPARE(line.receive(), kAck);
    QCOMPARE(board->received(), trv::sim::commandFrame("RRR"));
}

void TestSim::wrongProbe() {
    trv::sim::PtyBoardOptions options;
    options.faults.wrongProbe = true;
    auto board = startBoard(options);
    Terminal line(board->devicePath());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(line.send({"RRR"}));
    QCOMPARE(line.receive(5), QByteArray("31\x02\x15\x03", 5));
    const qint64 wrongAt = clock.elapsed();
    QCOMPARE(line.receive(5, 1000), kAck);
    const qint64 rightAt = clock.elapsed();
    QVERIFY2(wrongAt < 200 && rightAt - wrongAt >= 250 && rightAt < 1000,
             qPrintable(QStringLiteral("%1 %2").arg(wrongAt).arg(rightAt)));
    // Only a lone probe is affected: a closing burst gets its five acknowledgements.
    QVERIFY(line.send(QByteArrayList(5, "RRR")));
    QCOMPARE(line.receive(), kAck.repeated(5));
}

void TestSim::replyTiming_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("firstMs");  // when the first reply byte comes, at least
    QTest::addColumn<int>("gapMs");    // the longest silence inside the reply, at least
    QTest::addColumn<int>("lastMs");   // when the last byte comes, at least
    QTest::newRow("delay") << "delay=400" << 400 << 0 << 400;
    QTest::newRow("pause") << "pause=500" << 0 << 500 << 500;
    QTest::newRow("delay and pause") << "delay=300 pause=400" << 300 << 400 << 700;
    // One frame after the other: the 133 answers of a read add up their delays.
    QTest::newRow("frame delay") << "frame-delay=10" << 10 << 0 << 1330;
}

void TestSim::replyTiming() {
    QFETCH(QString, faults);
    QFETCH(int, firstMs);
    QFETCH(int, gapMs);
    QFETCH(int, lastMs);
    trv::sim::PtyBoardOptions options;
    options.pacing = false;
    QString error;
    options.faults = *trv::sim::parseFaults(faults, &error);
    auto board = startBoard(options);
    Terminal line(board->devicePath());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(line.send(readCommands()));
    QByteArray reply;
    qint64 first = -1;
    qint64 last = 0;
    qint64 longestGap = 0;
    while (reply.size() < 793 && clock.elapsed() < 3000) {
        // Short quiet spells end a receive, so that answers spaced out come one by one.
        const QByteArray bytes = line.receive(793 - reply.size(), 5);
        if (bytes.isEmpty()) continue;
        const qint64 now = clock.elapsed();
        if (first < 0)
            first = now;
        else
            longestGap = std::max(longestGap, now - last);
        last = now;
        reply += bytes;
    }
    QCOMPARE(reply.size(), 793);
    bool ok = false;
    QCOMPARE(parseRead(reply, &ok), board->eeprom());
    QVERIFY2(first >= firstMs && first < firstMs + 300, qPrintable(QString::number(first)));
    QVERIFY2(longestGap >= gapMs - 60 && longestGap < gapMs + 300,
             qPrintable(QString::number(longestGap)));
    QVERIFY2(last >= lastMs && last < lastMs + 1000, qPrintable(QString::number(last)));
}

void TestSim::vanishAndReturn() {
    trv::sim::PtyBoardOptions options;
    options.pacing = false;
    options.port = 6;
    options.faults.vanishAfter = 100;
    options.faults.vanishMs = 400;
    auto board = startBoard(options);
    const QString before = board->devicePath();
    {
        Terminal line(before);
        // Writes fail once the device is gone; what comes back is at most the replies to
        // the first frames, then the line hangs up.
        line.send(readCommands());
        QVERIFY(line.receive().size() < 100);
        QTRY_VERIFY_WITH_TIMEOUT(!board->isPresent(), 1000);
        QVERIFY(!QFileInfo::exists(trv::portLinkPath(6)));  // the link dangles
        QVERIFY(QFileInfo(trv::portLinkPath(6)).isSymLink());
    }
    // Back behind the same link, once, working and holding the same memory.
    QTRY_VERIFY_WITH_TIMEOUT(board->isPresent(), 2000);
    QCOMPARE(trv::portDevice(6), board->devicePath());
    QCOMPARE(board->faults().vanishAfter, 0);
    Terminal line(trv::portDevice(6));
    QVERIFY(line.send(readCommands()));
    bool ok = false;
    QCOMPARE(parseRead(line.receive(793), &ok), board->eeprom());
    QVERIFY(board->isPresent());
}

void TestSim::imageFile() {
    QTemporaryDir folder;
    trv::sim::PtyBoardOptions options;
    options.pacing = false;
    options.preset = Preset::Blank;
    options.imagePath = folder.filePath(QStringLiteral("sub/eeprom.bin"));
    auto readFile = [&] {
        QFile file(options.imagePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    auto bytesOf = [](const Eeprom& image) {
        return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
    };

    // No file yet: it is created from the preset.
    auto board = startBoard(options);
    QCOMPARE(readFile(), bytesOf(trv::sim::presetImage(Preset::Blank)));

    // A committed write reaches the file, whole, and leaves no temporary file behind.
    const Eeprom image = randomImage();
    {
        Terminal line(board->devicePath());
        QVERIFY(line.send(writeCommands(image)));
        QCOMPARE(line.receive(800).size(), 800);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(), bytesOf(image), 2000);
    }
    QCOMPARE(QDir(QFileInfo(options.imagePath).absolutePath())
                 .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("eeprom.bin")});

    // The next start takes the file as it is, whatever the preset; uncommitted bytes are
    // never stored, and a stop leaves the file complete.
    board.reset();
    options.preset = Preset::Signed;
    board = startBoard(options);
    QCOMPARE(board->eeprom(), image);
    {
        Terminal line(board->devicePath());
        QVERIFY(line.send({"SSS", "ZA0", "Y00", "Y12", "Y34"}));
        QCOMPARE(line.receive(25).size(), 25);
    }
    board.reset();
    QCOMPARE(readFile(), bytesOf(image));
}

#endif  // Q_OS_UNIX

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
