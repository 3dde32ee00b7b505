// What every SerialPort must do, one body for all of them: each implementation is a row of
// implementations(), on a line whose far end the test holds, and each row runs again behind
// the traffic tap. A new port (Win32 under Wine, the network ports through ser2net) is one
// more row; a case it cannot take part in is skipped with the reason its far end gives.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <functional>
#include <memory>
#include <vector>

#include "board_test_support.h"
#include "port/port_assignment.h"
#include "port/routed_port.h"
#include "port/traffic_tap.h"
#include "protocol/exchange.h"
#include "protocol/frames.h"

#ifdef Q_OS_UNIX
#include "port/network_port.h"
#include "port/qt_serial_port.h"
#include "ser2net.h"
#endif
#ifdef Q_OS_WIN
#include <windows.h>
// windows.h still defines the 16-bit "far" qualifier away, which this file's names use.
#undef far

#include "port/win32_serial_port.h"
#endif

using namespace trv;
using namespace std::chrono_literals;

namespace {
constexpr int kPort = 4;

// The far end of the line a port under test is on: what the board, or the cable to it, is.
class FarEnd {
public:
    virtual ~FarEnd() = default;
    virtual bool ok() const { return true; }
    // Why this line cannot be had on this machine (the row is skipped); empty when it can.
    virtual QString unavailable() const { return {}; }
    virtual int portNumber() const { return kPort; }
    // The clock the port's waits run on.
    virtual Clock& clock() = 0;
    // A new port object for this line, closed.
    virtual std::unique_ptr<SerialPort> makePort() = 0;
    // Sends to the port; back once the port's device holds the bytes.
    virtual void send(const QByteArray& bytes) = 0;
    // What the port sent since the last call, once `count` bytes came or `within` passed.
    virtual QByteArray receive(qsizetype count, Millis within) = 0;
    // The device goes away under the open port, as an adapter pulled out.
    virtual void vanish() = 0;
    // Why the device cannot be made to go away; empty when vanish() does it.
    virtual QString cannotVanish() const { return {}; }
    // Why no other port object can hold this line against the one under test; empty when
    // one can.
    virtual QString cannotBeHeld() const { return {}; }
    // A refused opening names the process holding the line (a lock file does).
    virtual bool holderNamed() const { return false; }
};

struct PortUnderTest {
    std::unique_ptr<FarEnd> far;
    std::unique_ptr<TrafficObserver> watcher;  // the tap's, when the port is behind one
    std::unique_ptr<SerialPort> port;
};
using MakePort = std::function<PortUnderTest()>;

class FakeEnd : public FarEnd {
public:
    Clock& clock() override { return m_clock; }
    std::unique_ptr<SerialPort> makePort() override { return newFake(); }
    void send(const QByteArray& bytes) override { m_port->arrive(bytes); }
    QByteArray receive(qsizetype, Millis) override {
        const QByteArray sent = m_port->written.mid(m_taken);
        m_taken = m_port->written.size();
        return sent;
    }
    void vanish() override { m_port->loseAfterBytes = 0; }
    QString cannotBeHeld() const override {
        return QStringLiteral("the fake port has no device that another port could hold");
    }

protected:
    // A new fake port on this line: the one the far end talks to from now on.
    std::unique_ptr<SerialPort> newFake() {
        auto port = std::make_unique<test::FakePort>(m_clock);
        m_port = port.get();
        m_taken = 0;
        return port;
    }

private:
    test::FakeClock m_clock;
    test::FakePort* m_port = nullptr;
    qsizetype m_taken = 0;
};

// The routed port in front of the fake: COM n leads to a local device, or to a server's
// address, as the lookup says. Each opening makes a new port behind it, as it does for real.
class RoutedFakeEnd final : public FakeEnd {
public:
    explicit RoutedFakeEnd(bool network) : m_network(network) {}
    std::unique_ptr<SerialPort> makePort() override {
        const auto make = [this]() -> std::unique_ptr<SerialPort> { return newFake(); };
        const NetworkAddress server{NetworkAddress::Kind::Rfc2217, QStringLiteral("127.0.0.1"),
                                    4001};
        return std::make_unique<RoutedPort>(
            [=](const NetworkAddress& a) { return a == server ? make() : nullptr; }, make,
            [=, this](int) {
                StoredAddress stored;
                if (m_network) stored = {true, server, {}};
                return stored;
            });
    }

private:
    bool m_network;
};

#ifdef Q_OS_UNIX
// What the port sent down a pseudo-terminal line, once `count` bytes came or `within` passed.
QByteArray receiveFrom(test::LinkedPty& pty, qsizetype count, Millis within) {
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < within.count()) got += pty.readAvailable(10);
    return got;
}

class PtyEnd : public FarEnd {
public:
    bool ok() const override { return m_pty.ok(); }
    Clock& clock() override { return steadyClock(); }
    std::unique_ptr<SerialPort> makePort() override { return std::make_unique<QtSerialPort>(); }
    void send(const QByteArray& bytes) override {
        // The terminal layer passes the bytes on in its own time; a case that discards
        // must know they are there.
        const qsizetype before = m_pty.held();
        m_pty.write(bytes);
        QElapsedTimer t;
        t.start();
        while (m_pty.held() < before + bytes.size() && t.elapsed() < 2000) QThread::msleep(1);
    }
    QByteArray receive(qsizetype count, Millis within) override {
        return receiveFrom(m_pty, count, within);
    }
    void vanish() override { m_pty.vanish(); }
    bool holderNamed() const override { return true; }

private:
    test::LinkedPty m_pty{kPort};
};

// The programs' own port: the routed port finds the link and opens the system's port.
class RoutedPtyEnd final : public PtyEnd {
public:
    std::unique_ptr<SerialPort> makePort() override {
        return std::make_unique<RoutedPort>(RoutedPort::NetworkFactory{});
    }
};

// The board's line behind ser2net on 127.0.0.1: the port reaches the pseudo-terminal through
// a network connection, Telnet COM Port Control or raw TCP.
template <NetworkAddress::Kind kind>
class NetEnd final : public FarEnd {
public:
    NetEnd() {
        if (!test::Ser2net::program().isEmpty() && m_pty.ok()) m_server.start();
    }
    bool ok() const override { return m_pty.ok() && m_server.running(); }
    QString unavailable() const override {
        return test::Ser2net::program().isEmpty() ? QStringLiteral("ser2net is not installed")
                                                  : QString();
    }
    Clock& clock() override { return steadyClock(); }
    std::unique_ptr<SerialPort> makePort() override {
        return std::make_unique<NetworkPort>(m_server.address(0, kind));
    }
    void send(const QByteArray& bytes) override {
        // Back once ser2net took the bytes from the device and the loopback carried them: a
        // case that discards must know they reached the port's socket.
        m_pty.write(bytes);
        QElapsedTimer t;
        t.start();
        while (m_pty.held() > 0 && t.elapsed() < 2000) QThread::msleep(1);
        QThread::msleep(30);
    }
    QByteArray receive(qsizetype count, Millis within) override {
        return receiveFrom(m_pty, count, within);
    }
    // The connection drops: the server is gone.
    void vanish() override { m_server.kill(); }
    QString cannotBeHeld() const override {
        return QStringLiteral(
            "ser2net tells a second client \"Port already in use\" and closes the connection: "
            "no lock names a holder, the opening fails with the server's words");
    }

private:
    test::LinkedPty m_pty{kPort};
    test::Ser2net m_server{{m_pty.device()}};
};
#endif

#ifdef Q_OS_WIN
// Under Wine, two COM ports whose devices are the two ends of a null-modem pair of
// pseudo-terminals (TRV_WIN32_PORT_PAIR="4,5": the port under test, then the far end's). The
// far end holds its port through the Win32 API directly, so that nothing of the port under
// test takes part in checking it.
class Win32End final : public FarEnd {
public:
    Win32End() {
        const QStringList pair =
            qEnvironmentVariable("TRV_WIN32_PORT_PAIR").split(QLatin1Char(','));
        if (pair.size() != 2) {
            m_unavailable = QStringLiteral(
                "TRV_WIN32_PORT_PAIR does not name a pair of COM ports linked to each other");
            return;
        }
        m_number = pair[0].toInt();
        const QString farName = Win32SerialPort::deviceName(pair[1].toInt());
        m_far = CreateFileW(reinterpret_cast<const wchar_t*>(farName.utf16()),
                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_far == INVALID_HANDLE_VALUE) {
            m_unavailable =
                QStringLiteral("%1 does not open (error %2)").arg(farName).arg(GetLastError());
            return;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once
        if (GetCommState(m_far, &dcb)) {
            dcb.BaudRate = CBR_9600;
            dcb.ByteSize = 8;
            dcb.Parity = NOPARITY;
            dcb.StopBits = ONESTOPBIT;
            dcb.fBinary = TRUE;
            dcb.fOutX = dcb.fInX = FALSE;
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
            SetCommState(m_far, &dcb);
        }
        SetCommTimeouts(m_far, &timeouts);
        PurgeComm(m_far, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    ~Win32End() override {
        if (m_far != INVALID_HANDLE_VALUE) CloseHandle(m_far);
    }
    QString unavailable() const override { return m_unavailable; }
    int portNumber() const override { return m_number; }
    Clock& clock() override { return steadyClock(); }
    std::unique_ptr<SerialPort> makePort() override { return std::make_unique<Win32SerialPort>(); }
    void send(const QByteArray& bytes) override {
        DWORD n = 0;
        QVERIFY(WriteFile(m_far, bytes.constData(), DWORD(bytes.size()), &n, nullptr));
        QCOMPARE(qsizetype(n), bytes.size());
        // The bytes cross the relay joining the two pseudo-terminals in its own time: once it
        // has taken them from this end (nothing left to go out), it hands them on at once.
        QElapsedTimer t;
        t.start();
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(m_far, &errors, &status) || status.cbOutQue == 0) break;
            if (t.elapsed() > 2000) break;
            Sleep(1);
        }
        Sleep(50);
    }
    QByteArray receive(qsizetype count, Millis within) override {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < count && t.elapsed() < within.count()) {
            char chunk[512];
            DWORD n = 0;
            if (!ReadFile(m_far, chunk, sizeof chunk, &n, nullptr)) break;
            if (n == 0) Sleep(2);
            got.append(chunk, qsizetype(n));
        }
        return got;
    }
    void vanish() override {}
    QString cannotBeHeld() const override {
        // Windows' serial driver refuses a second opening; Wine's ports are plain files of
        // the host, which it lets any number of handles open.
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
            return QStringLiteral("Wine does not refuse a second opening of a COM port");
        return {};
    }
    QString cannotVanish() const override {
        return QStringLiteral(
            "a pseudo-terminal behind Wine cannot be taken away from inside the Windows program");
    }

private:
    HANDLE m_far = INVALID_HANDLE_VALUE;
    int m_number = 0;
    QString m_unavailable;
};
#endif

template <class End, auto... Args>
PortUnderTest on() {
    PortUnderTest t;
    t.far = std::make_unique<End>(Args...);
    t.port = t.far->makePort();
    return t;
}

// Watched, as the traffic monitor watches it: a watched tap goes its own way to discard.
class Watcher final : public TrafficObserver {
public:
    void operationStarted(const QString&, Time) override {}
    void operationEnded(const QString&, bool, Time) override {}
    void bytesSent(const QByteArray&, Time, int) override {}
    void bytesReceived(const QByteArray&, Time, bool) override {}
    void portReset(Time) override {}
};

PortUnderTest tapped(PortUnderTest t) {
    t.watcher = std::make_unique<Watcher>();
    auto tap = std::make_unique<TrafficTap>(std::move(t.port));
    tap->setObserver(t.watcher.get());
    t.port = std::move(tap);
    return t;
}

// Every implementation of SerialPort, each on a line of its own kind.
const std::vector<std::pair<const char*, MakePort>>& implementations() {
    static const std::vector<std::pair<const char*, MakePort>> list{
#ifdef Q_OS_UNIX
        {"Qt serial port on a pseudo-terminal", &on<PtyEnd>},
        {"routed port to a pseudo-terminal's link", &on<RoutedPtyEnd>},
        {"network port, rfc2217 through ser2net", &on<NetEnd<NetworkAddress::Kind::Rfc2217>>},
        {"network port, tcp through ser2net", &on<NetEnd<NetworkAddress::Kind::Tcp>>},
#endif
#ifdef Q_OS_WIN
        {"Win32 port on a null-modem pair", &on<Win32End>},
#endif
        {"in-process fake", &on<FakeEnd>},
        {"routed port to a local fake", &on<RoutedFakeEnd, false>},
        {"routed port to a server's address, faked", &on<RoutedFakeEnd, true>},
    };
    return list;
}

// An exchange's observer that can pull the line away at its nth wait slice.
class Watch final : public ExchangeObserver {
public:
    void waiting() override {
        if (++slices == vanishAtSlice && vanish) vanish();
    }
    void portLost(int portNumber) override {
        ++lostTold;
        lostPort = portNumber;
    }
    int slices = 0;
    int vanishAtSlice = 0;
    std::function<void()> vanish;
    int lostTold = 0;
    int lostPort = 0;
};

// Every byte value, none twice in a row.
QByteArray longRun() {
    QByteArray run(1280, Qt::Uninitialized);
    for (int i = 0; i < run.size(); ++i) run[i] = char((i * 7 + i / 256) & 0xFF);
    return run;
}
}  // namespace

Q_DECLARE_METATYPE(MakePort)

class PortContractTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    PortUnderTest line;

    SerialPort& port() { return *line.port; }
    FarEnd& far() { return *line.far; }
    Clock& clock() { return line.far->clock(); }

    // Waits on the line's clock until the port counts at least n bytes waiting.
    bool waitForWaiting(qint64 n) {
        const Millis end = clock().now() + 2s;
        while (port().bytesWaiting() < n) {
            if (clock().now() >= end) return false;
            port().waitForInput(40);
        }
        return true;
    }

    // A frame goes out and an acknowledgement comes back through an exchange, which
    // would take the port for lost if it said so.
    void lineCarriesBothWays() {
        const QByteArray frame = frames::frame("PPP");
        Exchange ex(port(), clock());
        ex.send(frame);
        const Millis start = ex.beginReplyWait();
        QCOMPARE(far().receive(frame.size(), 2s), frame);
        far().send(frames::kAck);
        QCOMPARE(ex.waitReply([](qint64 n) { return n >= frames::kAck.size(); }, start),
                 Exchange::Outcome::Ready);
        QCOMPARE(ex.readReply(), frames::kAck);
        QVERIFY(!ex.portLost());
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<MakePort>("make");
        for (const auto& [name, make] : implementations()) {
            QTest::newRow(name) << make;
            QTest::addRow("traffic tap over %s", name)
                << MakePort([make = make] { return tapped(make()); });
        }
    }
    void initTestCase() { home = std::make_unique<test::TempDataHome>(); }
    void cleanupTestCase() { home.reset(); }
    void init() {
        QFETCH_GLOBAL(MakePort, make);
        line = make();
        const QString unavailable = line.far->unavailable();
        if (!unavailable.isEmpty()) QSKIP(qPrintable(unavailable));
        QVERIFY(line.far->ok());
    }
    void cleanup() {
        // The port goes before its line.
        line.port.reset();
        line.watcher.reset();
        line.far.reset();
    }

    void openCloseReopen() {
        const int n = far().portNumber();
        QVERIFY(!port().isOpen());
        QVERIFY(!port().write(frames::frame("SSS")));
        for (int round = 0; round < 2; ++round) {
            QVERIFY(port().open(n));
            if (round == 1) QVERIFY(port().open(n));  // opening an open port starts it afresh
            QVERIFY(port().isOpen());
            QCOMPARE(port().portNumber(), n);
            QCOMPARE(port().openFailure().cause, OpenFailure::Cause::None);
            QCOMPARE(port().baudRate(), 9600);
            QVERIFY(!port().lost());
            lineCarriesBothWays();
            if (QTest::currentTestFailed()) return;
            port().close();
            QVERIFY(!port().isOpen());
            QVERIFY(!port().lost());  // closed is not lost
            QVERIFY(!port().write(frames::frame("SSS")));
        }
        port().close();
        QVERIFY(!port().isOpen());
    }

    // A whole-image write is 1,280 bytes handed over at once; none may be dropped, doubled,
    // reordered or translated, whichever way they go.
    void longRunArrivesWhole() {
        const QByteArray run = longRun();
        QVERIFY(port().open(far().portNumber()));
        QVERIFY(port().write(run));
        QVERIFY(port().drain(5000));
        QCOMPARE(far().receive(run.size(), 5s), run);

        far().send(run);
        QVERIFY(waitForWaiting(run.size()));
        QCOMPARE(port().readAll(), run);
    }

    void countAndReadWhatArrived() {
        QVERIFY(port().open(far().portNumber()));
        // Nothing comes: the wait runs its time, and a silent line is neither lost nor
        // left in an error that stops what comes next.
        const Millis before = clock().now();
        QVERIFY(!port().waitForInput(100));
        QVERIFY(clock().now() - before >= 90ms);
        QCOMPARE(port().bytesWaiting(), 0);
        QCOMPARE(port().readAll(), QByteArray());
        QVERIFY(!port().lost());

        const QByteArray data(
            "31\x02"
            "A5\x03",
            6);
        far().send(frames::kAck);
        QVERIFY(waitForWaiting(frames::kAck.size()));
        // Counting takes nothing away.
        QCOMPARE(port().bytesWaiting(), frames::kAck.size());
        QCOMPARE(port().bytesWaiting(), frames::kAck.size());
        far().send(data);
        QVERIFY(waitForWaiting(frames::kAck.size() + data.size()));
        QCOMPARE(port().readAll(), frames::kAck + data);
        QCOMPARE(port().bytesWaiting(), 0);
        QCOMPARE(port().readAll(), QByteArray());
    }

    // Both what the port already took in and what the system still holds go.
    void discardDropsWaitingBytes() {
        QVERIFY(port().open(far().portNumber()));
        far().send("taken in");
        QVERIFY(waitForWaiting(8));
        far().send("held by the system");
        port().discardInput();
        QCOMPARE(port().bytesWaiting(), 0);
        far().send(frames::kAck);
        QVERIFY(waitForWaiting(frames::kAck.size()));
        QCOMPARE(port().readAll(), frames::kAck);
    }

    // A pseudo-terminal has no modem lines and refuses DTR; the port goes on all the same.
    void dtrRefusedLeavesPortUsable() {
        QVERIFY(port().open(far().portNumber()));
        for (bool on : {false, true, false}) {
            port().setDtr(on);
            QVERIFY(port().isOpen());
            QVERIFY(!port().lost());
        }
        lineCarriesBothWays();
    }

    // An adapter pulled out ends the exchange at once as a lost port: never waited out and
    // taken for a board that does not answer.
    void vanishedPortIsLost_data() {
        QTest::addColumn<int>("atSlice");  // the wait slice it goes at; 0: before the frame
        QTest::newRow("before the frame") << 0;
        QTest::newRow("while the reply is awaited") << 3;
    }
    void vanishedPortIsLost() {
        QFETCH(int, atSlice);
        const QString why = far().cannotVanish();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        QVERIFY(port().open(far().portNumber()));
        Millis vanishedAt{};
        const auto vanish = [&] {
            far().vanish();
            vanishedAt = clock().now();
        };
        Watch watch;
        watch.vanishAtSlice = atSlice;
        watch.vanish = vanish;
        if (atSlice == 0) vanish();
        {
            Exchange ex(port(), clock(), &watch);
            ex.sendFrame("SSS");
            QCOMPARE(ex.waitReply([](qint64 n) { return n >= 5; }), Exchange::Outcome::Lost);
            QVERIFY(ex.portLost());
            QCOMPARE(ex.lostPortNumber(), far().portNumber());
        }
        QVERIFY(clock().now() - vanishedAt < Exchange::kReplyLimit / 2);
        QCOMPARE(watch.lostTold, 1);
        QCOMPARE(watch.lostPort, far().portNumber());
        // A lost port has closed itself and stays lost.
        QVERIFY(port().lost());
        QVERIFY(!port().isOpen());
        QVERIFY(!port().write(frames::frame("SSS")));
        QCOMPARE(port().bytesWaiting(), 0);
        QVERIFY(port().lost());
    }

    void heldPortRefusesASecondOpen() {
        const QString why = far().cannotBeHeld();
        if (!why.isEmpty()) QSKIP(qPrintable(why));
        const int n = far().portNumber();
        const std::unique_ptr<SerialPort> holder = far().makePort();
        QVERIFY(holder->open(n));
        QVERIFY(!port().open(n));
        QVERIFY(!port().isOpen());
        QCOMPARE(port().openFailure().cause, OpenFailure::Cause::Busy);
        if (far().holderNamed())
            QCOMPARE(port().openFailure().pid, QCoreApplication::applicationPid());
        // The refused opening leaves the holder as it was.
        QVERIFY(holder->isOpen());
        QVERIFY(!holder->lost());
        QVERIFY(holder->write(frames::kAck));
        QVERIFY(holder->drain(1000));
        QCOMPARE(far().receive(frames::kAck.size(), 2s), frames::kAck);
        // Let go, the line opens.
        holder->close();
        QVERIFY(port().open(n));
        QCOMPARE(port().openFailure().cause, OpenFailure::Cause::None);
    }
};

QTEST_GUILESS_MAIN(PortContractTest)
#include "test_port_contract.moc"
