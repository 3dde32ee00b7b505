// The network port where the port contract cannot reach: what it says to the server byte for
// byte, the line settings it gives the server's device, and every way a connection fails,
// each with the message that names the server.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <future>
#include <thread>

#include "board_test_support.h"
#include "port/network_port.h"
#include "port/qt_serial_port.h"
#include "port/traffic_tap.h"
#include "protocol/exchange.h"
#include "protocol/image_transfer.h"
#include "ser2net.h"
#include "sim/pty_board.h"

using namespace trv;
using Kind = NetworkAddress::Kind;
Q_DECLARE_METATYPE(trv::NetworkAddress::Kind)

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list) out += char(b);
    return out;
}

// A server on 127.0.0.1, in a thread of its own: it sends its script to the first client at
// once and keeps what the client sends until the client closes.
class ScriptedServer {
public:
    explicit ScriptedServer(QByteArray script) : m_script(std::move(script)) {
        std::promise<quint16> port;
        m_port = port.get_future();
        m_thread = std::thread([this, p = std::move(port)]() mutable { serve(std::move(p)); });
        m_portNumber = m_port.get();
    }
    ~ScriptedServer() {
        if (m_thread.joinable()) m_thread.join();
    }
    quint16 port() const { return m_portNumber; }
    // What the client sent, once it closed (or 5 s passed).
    QByteArray received() {
        if (m_thread.joinable()) m_thread.join();
        return m_received;
    }

private:
    void serve(std::promise<quint16> port) {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port.set_value(server.serverPort());
        if (!server.waitForNewConnection(5000)) return;
        std::unique_ptr<QTcpSocket> client(server.nextPendingConnection());
        client->write(m_script);
        while (client->bytesToWrite() > 0 && client->waitForBytesWritten(1000)) {
        }
        QElapsedTimer t;
        t.start();
        while (client->state() == QAbstractSocket::ConnectedState && t.elapsed() < 5000) {
            client->waitForReadyRead(20);
            m_received += client->readAll();
        }
        m_received += client->readAll();
    }
    QByteArray m_script;
    QByteArray m_received;
    std::future<quint16> m_port;
    quint16 m_portNumber = 0;
    std::thread m_thread;
};

// What a server answers to the line settings: each command's code plus 100, its value back.
const QByteArray kServerAgrees =
    bytes({255, 253, 44, 255, 251, 0, 255, 253, 0}) +
    bytes({255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240, 255, 250, 44, 102, 8, 255, 240}) +
    bytes({255, 250, 44, 103, 1, 255, 240, 255, 250, 44, 104, 1, 255, 240}) +
    bytes({255, 250, 44, 105, 1, 255, 240});

NetworkAddress local(Kind kind, quint16 port) { return {kind, QStringLiteral("127.0.0.1"), port}; }

// The speed and frame a device is set to, as "9600 8N1".
QString lineOf(const QString& device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    termios t{};
    ::tcgetattr(fd, &t);
    ::close(fd);
    const speed_t speed = ::cfgetospeed(&t);
    const int rate = speed == B9600 ? 9600 : speed == B1200 ? 1200 : -1;
    const int bits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : 0;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return QStringLiteral("%1 %2%3%4")
        .arg(rate)
        .arg(bits)
        .arg(QChar(parity))
        .arg(t.c_cflag & CSTOPB ? 2 : 1);
}
}  // namespace

class NetworkPortTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;

    static void needSer2net() {
        if (test::Ser2net::program().isEmpty()) QSKIP("ser2net is not installed");
    }

private slots:
    void initTestCase() { home = std::make_unique<test::TempDataHome>(); }
    void cleanupTestCase() { home.reset(); }

    // The opening's negotiation, the line commands and the data, as the server receives them;
    // and the server's bytes as the port hands them on.
    void speaksToTheServer_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("data");
        const QByteArray reply = bytes({'3', '1', 2, 255, 255, 3});
        const QByteArray modemState = bytes({255, 250, 44, 107, 0x30, 255, 240, 255, 241});
        QTest::newRow("rfc2217")
            << Kind::Rfc2217
            << bytes({255, 251, 1, 255, 253, 3, 255, 251, 3}) + kServerAgrees + reply.first(3) +
                   modemState + reply.sliced(3)
            << bytes({255, 251, 44, 255, 251, 0, 255, 253,
                      0}) +  // the offer
                             // echo declined, go-ahead suppressed from the server's side only
                   bytes({255, 254, 1, 255, 252, 3, 255, 253, 3}) +
                   bytes({255, 250, 44, 1, 0, 0, 0x25, 0x80, 255, 240}) +
                   bytes({255, 250, 44, 2, 8, 255, 240, 255, 250, 44, 3, 1, 255, 240}) +
                   bytes({255, 250, 44, 4, 1, 255, 240, 255, 250, 44, 5, 1, 255, 240}) +
                   bytes({255, 250, 44, 5, 9, 255, 240, 255, 250, 44, 5, 8, 255, 240}) +
                   bytes({6, 255, 255, 'Z'}) + bytes({255, 250, 44, 12, 1, 255, 240})
            << bytes({'3', '1', 2, 255, 3});
        QTest::newRow("tcp") << Kind::Tcp << reply << bytes({6, 255, 'Z'}) << reply;
    }
    void speaksToTheServer() {
        QFETCH(Kind, kind);
        QFETCH(QByteArray, script);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, data);
        ScriptedServer server(script);
        NetworkPort port(local(kind, server.port()));
        QVERIFY2(port.open(7), qPrintable(openFailureText(port.openFailure(), 7)));
        QCOMPARE(port.portNumber(), 7);
        QElapsedTimer t;
        t.start();
        while (port.bytesWaiting() < data.size() && t.elapsed() < 2000) port.waitForInput(50);
        QCOMPARE(port.readAll().toHex(' '), data.toHex(' '));
        port.setDtr(false);
        port.setDtr(true);
        QVERIFY(port.write(bytes({6, 255, 'Z'})));
        QVERIFY(port.drain(1000));
        port.discardInput();  // this server never confirms a purge
        QVERIFY(port.isOpen() && !port.lost());
        port.close();
        QCOMPARE(server.received().toHex(' '), sent.toHex(' '));
    }

    // trvctl runs one port per thread, none with an event loop running; the socket is made
    // and used there, silently.
    void worksInAThreadOfItsOwn_data() {
        QTest::addColumn<bool>("qtThread");
        QTest::newRow("QThread") << true;
        QTest::newRow("std::thread") << false;
    }
    void worksInAThreadOfItsOwn() {
        QFETCH(bool, qtThread);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        ScriptedServer server(kServerAgrees + QByteArray("31\x02\x06\x03"));
        QByteArray got;
        bool opened = false;
        const auto run = [&] {
            NetworkPort port(local(Kind::Rfc2217, server.port()));
            opened = port.open(4);
            QElapsedTimer t;
            t.start();
            while (opened && port.bytesWaiting() < 5 && t.elapsed() < 2000) port.waitForInput(50);
            got = port.readAll();
            port.write("SSS");
            port.drain(1000);
        };
        if (qtThread) {
            std::unique_ptr<QThread> thread(QThread::create(run));
            thread->start();
            QVERIFY(thread->wait(5000));
        } else {
            std::thread(run).join();
        }
        QVERIFY(opened);
        QCOMPARE(got, QByteArray("31\x02\x06\x03"));
        QVERIFY(server.received().endsWith("SSS"));
    }

    // rfc2217 sets the server's device to the board's line; tcp leaves the server's own.
    void setsTheServersLine_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("line");
        QTest::newRow("rfc2217") << Kind::Rfc2217 << QStringLiteral("9600 8N1");
        QTest::newRow("tcp") << Kind::Tcp << QStringLiteral("1200 8N2");
    }
    void setsTheServersLine() {
        needSer2net();
        QFETCH(Kind, kind);
        QFETCH(QString, line);
        test::LinkedPty pty(3);
        test::Ser2net server({pty.device()}, QStringLiteral("1200n82"));
        QVERIFY2(server.start(), qPrintable(server.error()));
        NetworkPort port(server.address(0, kind));
        QVERIFY2(port.open(3), qPrintable(openFailureText(port.openFailure(), 3)));
        // ser2net opens the device for the client and sets it in its own time.
        QElapsedTimer t;
        t.start();
        while (lineOf(pty.device()) != line && t.elapsed() < 2000) QThread::msleep(10);
        QCOMPARE(lineOf(pty.device()), line);
    }

    void openingFails_data() {
        QTest::addColumn<QString>("server");  // what listens at the address
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("text");  // %1: the server's host:port
        QTest::addColumn<int>("atLeastMs");
        QTest::addColumn<int>("atMostMs");
        for (const Kind kind : {Kind::Rfc2217, Kind::Tcp})
            QTest::addRow("refused, %s", kind == Kind::Tcp ? "tcp" : "rfc2217")
                << "nothing" << kind << "Connexion refusée par %1" << 0 << 1000;
        QTest::newRow("unresolvable name")
            << "nothing" << Kind::Rfc2217 << "Le nom trv-board.invalid est inconnu." << 0 << 3500;
        QTest::newRow("silent server")
            << "silent" << Kind::Rfc2217 << "Le serveur %1 ne répond pas." << 2900 << 4000;
        QTest::newRow("server refusing COM Port Control")
            << "refusing" << Kind::Rfc2217
            << "Le serveur %1 refuse le contrôle du port série (RFC 2217)." << 0 << 1000;
        QTest::newRow("endless subnegotiation")
            << "hostile" << Kind::Rfc2217
            << "Le serveur %1 a rompu le protocole Telnet (sous-négociation Telnet de plus de "
               "64 octets)"
            << 0 << 1000;
        QTest::newRow("flooding server")
            << "flooding" << Kind::Rfc2217
            << "Le serveur %1 envoie plus de données qu'une carte ne peut en envoyer" << 0 << 2500;
        QTest::newRow("board already in use through ser2net")
            << "ser2net, busy" << Kind::Rfc2217
            << "Le serveur %1 a fermé la connexion : « Port already in use »" << 0 << 1000;
    }
    void openingFails() {
        QFETCH(QString, server);
        QFETCH(Kind, kind);
        QFETCH(QString, text);
        QFETCH(int, atLeastMs);
        QFETCH(int, atMostMs);
        NetworkAddress address = local(kind, test::freeLocalPort());
        QTcpServer silent;
        std::unique_ptr<ScriptedServer> scripted;
        std::unique_ptr<test::LinkedPty> pty;
        std::unique_ptr<test::Ser2net> ser2net;
        std::unique_ptr<NetworkPort> holder;
        if (text.contains(QLatin1String(".invalid"))) address.host = "trv-board.invalid";
        if (server == "silent") {
            // Listening, so the system accepts the connection, and never a word after.
            QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
            address.port = silent.serverPort();
        } else if (server == "refusing" || server == "hostile" || server == "flooding") {
            scripted = std::make_unique<ScriptedServer>(
                server == "refusing"  ? bytes({255, 254, 44})
                : server == "hostile" ? bytes({255, 250, 44, 101}) + QByteArray(100000, 'z')
                                      : QByteArray(3 << 20, 'z'));
            address.port = scripted->port();
        } else if (server.startsWith("ser2net")) {
            needSer2net();
            pty = std::make_unique<test::LinkedPty>(2);
            ser2net = std::make_unique<test::Ser2net>(QStringList{pty->device()});
            QVERIFY2(ser2net->start(), qPrintable(ser2net->error()));
            address = ser2net->address(0, kind);
            holder = std::make_unique<NetworkPort>(address);
            QVERIFY(holder->open(2));
        }
        NetworkPort port(address);
        QElapsedTimer t;
        t.start();
        QVERIFY(!port.open(5));
        const qint64 took = t.elapsed();
        QVERIFY(!port.isOpen());
        QVERIFY(!port.lost());
        QCOMPARE(port.openFailure().cause, OpenFailure::Cause::Network);
        QCOMPARE(port.openFailure().device, address.text());
        QCOMPARE(openFailureText(port.openFailure(), 5),
                 text.contains(QLatin1String("%1")) ? text.arg(address.endpoint()) : text);
        QVERIFY2(took >= atLeastMs && took <= atMostMs, qPrintable(QString::number(took)));
        // Nothing goes anywhere on a port that did not open.
        QVERIFY(!port.write("SSS"));
        QCOMPARE(port.bytesWaiting(), 0);
        if (holder) QVERIFY(holder->isOpen() && !holder->lost());
    }

    // A name leads to the server through whichever of its addresses answers ("localhost" may
    // give ::1 first, where nothing listens).
    void nameReachesTheServer() {
        ScriptedServer server(kServerAgrees);
        NetworkPort port({Kind::Rfc2217, QStringLiteral("localhost"), server.port()});
        QVERIFY2(port.open(1), qPrintable(openFailureText(port.openFailure(), 1)));
        port.close();
    }

    // A server silent only at first is no failure for raw TCP: nothing is negotiated there.
    void silentServerOpensForTcp() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        NetworkPort port(local(Kind::Tcp, silent.serverPort()));
        QVERIFY(port.open(0));
        QCOMPARE(port.portNumber(), 0);
        QVERIFY(!port.lost());
    }

    // A whole-image write then read through the server to the simulated board, at the line's
    // real pace: the frames reach the board byte for byte and the image comes back, 0xFF
    // cells included.
    void wholeImageThroughTheServer_data() {
        QTest::addColumn<bool>("local");  // the same on the local port, for comparison
        QTest::addColumn<Kind>("kind");
        QTest::newRow("rfc2217") << false << Kind::Rfc2217;
        QTest::newRow("tcp") << false << Kind::Tcp;
        QTest::newRow("local serial port") << true << Kind::Tcp;
    }
    void wholeImageThroughTheServer() {
        needSer2net();
        QFETCH(bool, local);
        QFETCH(Kind, kind);
        sim::PtyBoardOptions options;
        options.port = 8;
        sim::PtyBoard board(options);
        QVERIFY2(board.start(), qPrintable(board.errorString()));
        test::Ser2net server({board.devicePath()});
        QVERIFY2(server.start(), qPrintable(server.error()));
        std::unique_ptr<SerialPort> line;
        if (local)
            line = std::make_unique<QtSerialPort>();
        else
            line = std::make_unique<NetworkPort>(server.address(0, kind));
        SerialPort& port = *line;
        QVERIFY(port.open(8));
        test::Image image{};
        for (int a = 0; a < 128; ++a) image[std::size_t(a)] = quint8(a % 3 == 0 ? 0xFF : a * 5);
        ImageBytes bytes;
        std::copy(image.begin(), image.end(), bytes.begin());
        QElapsedTimer t;
        t.start();
        {
            Exchange ex(port, steadyClock());
            QCOMPARE(writeImage(ex, cellTexts(bytes)), WriteOutcome::Written);
        }
        const qint64 wrote = t.elapsed();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(board.eeprom().data()), 128),
                 QByteArray(reinterpret_cast<const char*>(image.data()), 128));
        t.restart();
        CellTexts cells;
        {
            Exchange ex(port, steadyClock());
            QCOMPARE(readImage(ex, cells), ReadOutcome::Read);
        }
        qInfo("write %lld ms, read %lld ms", wrote, t.elapsed());
        QVERIFY(cells == cellTexts(bytes));
        QCOMPARE(board.received(), test::wholeWrite(image) + test::wholeRead());
        QVERIFY(!port.lost());
    }

    // The connection drops in the middle of an exchange: the port is lost at once, says which
    // server closed, writes nothing more, and opens afresh later with no reason left over.
    void connectionDrops_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("serverKilled");  // false: the board's device goes instead
        QTest::newRow("rfc2217, ser2net killed") << Kind::Rfc2217 << true;
        QTest::newRow("tcp, ser2net killed") << Kind::Tcp << true;
        QTest::newRow("rfc2217, board gone behind ser2net") << Kind::Rfc2217 << false;
        QTest::newRow("tcp, board gone behind ser2net") << Kind::Tcp << false;
    }
    void connectionDrops() {
        needSer2net();
        QFETCH(Kind, kind);
        QFETCH(bool, serverKilled);
        test::LinkedPty pty(6);
        test::Ser2net server({pty.device()});
        QVERIFY2(server.start(), qPrintable(server.error()));
        TrafficTap port(std::make_unique<NetworkPort>(server.address(0, kind)));
        QVERIFY(port.open(6));
        QVERIFY(port.write("SSS"));
        QVERIFY(port.drain(1000));
        QElapsedTimer t;
        t.start();
        QByteArray got;
        while (got.size() < 3 && t.elapsed() < 2000) got += pty.readAvailable(10);
        QCOMPARE(got, QByteArray("SSS"));

        if (serverKilled)
            server.kill();
        else
            pty.vanish();
        t.restart();
        // A reply wait's slices: each ends at once, and the port is lost before the time-out.
        while (!port.lost() && t.elapsed() < 2000) port.waitForInput(50);
        QVERIFY(port.lost());
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(port.lostReason(), QStringLiteral("Le serveur %1 a fermé la connexion")
                                        .arg(server.address(0, kind).endpoint()));
        QVERIFY(!port.isOpen());
        QVERIFY(!port.write("SSS"));
        QCOMPARE(port.bytesWaiting(), 0);
        QCOMPARE(port.readAll(), QByteArray());
        QVERIFY(port.lost());
        // A new opening forgets the loss, whatever it finds.
        port.open(6);
        QCOMPARE(port.lostReason(), QString());
        QVERIFY(!port.lost());
    }
};

QTEST_GUILESS_MAIN(NetworkPortTest)
#include "test_network_port.moc"
