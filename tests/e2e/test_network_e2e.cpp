// The windows over a network port: a simulated board behind ser2net, COM7 associated with the
// server's address in "Ports série", the counter parameters read and programmed through the
// settings window's port, the traffic monitor's rows checked against the same operations on a local
// port, and trvctl sharing the board with the window.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/main_window.h"
#include "boards/counter_window.h"
#include "command_line.h"
#include "configuration/settings_window.h"
#include "image/eeprom_image.h"
#include "port/routed_port.h"
#include "ser2net.h"
#include "settings/parameter_map.h"
#include "sim/pty_board.h"
#include "test_support.h"
#include "tools/serial_ports_window.h"
#include "tools/traffic_monitor.h"
#include "trvctl.h"

using namespace trv;

Q_DECLARE_METATYPE(trv::NetworkAddress::Kind)

namespace {
// What an operation put on the line and got back, as the traffic monitor shows it: the frames
// sent row by row, and every byte received (their split into rows follows the timing).
struct Traffic {
    QByteArrayList sent;
    QByteArray received;
};

Traffic trafficSince(TrafficMonitor& monitor, qsizetype firstRow) {
    monitor.refresh();
    Traffic t;
    for (int i = int(firstRow); i < monitor.model().rowCount(); ++i) {
        const trace::Row& r = monitor.model().rowAt(i);
        if (r.kind == trace::RowKind::Sent)
            t.sent << r.bytes;
        else if (r.kind == trace::RowKind::Received)
            t.received += r.bytes;
    }
    return t;
}

int runTrvctl(const QStringList& arguments, QString* out) {
    QTextStream o(out);
    QString errors;
    QTextStream e(&errors);
    const int status = cli::run(arguments, {o, e, false});
    o.flush();
    *out += errors;
    return status;
}

// Until the last frames sent have reached the board, through the server too.
void settle(const sim::PtyBoard& board) {
    QByteArray seen;
    do {
        seen = board.received();
        QTest::qWait(100);
    } while (seen != board.received());
}

ImageBytes bytesOf(const sim::Eeprom& e) {
    ImageBytes b;
    std::copy(e.begin(), e.end(), b.begin());
    return b;
}
}  // namespace

class NetworkE2ETest : public QObject {
    Q_OBJECT

private slots:
    // The same read and programming of the counter parameters, once on COM3 (a local board)
    // and once on COM7 (its twin behind ser2net): the board ends with the same image and the
    // monitor shows the same frames and replies. Then trvctl programs the start through the
    // address and the window's next read shows it.
    void counterParametersOverTheNetwork_data() {
        QTest::addColumn<NetworkAddress::Kind>("kind");
        // What trvctl says while the window holds the server's port (@a: the address, @e: the
        // server's host:port). ser2net turns the second client away in words and closes: over
        // RFC 2217 the opening fails on it; over raw TCP the connection is made first, so the
        // port is lost at the first read.
        QTest::addColumn<QString>("turnedAway");
        QTest::addColumn<QString>("why");
        QTest::newRow("rfc2217") << NetworkAddress::Kind::Rfc2217 << "@a : le port ne s'ouvre pas"
                                 << "  Le serveur @e a fermé la connexion : « Port already in use";
        QTest::newRow("tcp") << NetworkAddress::Kind::Tcp << "@a : le port @a a été perdu"
                             << "  Le serveur @e a fermé la connexion";
    }
    void counterParametersOverTheNetwork() {
        if (test::Ser2net::program().isEmpty()) QSKIP("ser2net is not installed");
        QFETCH(NetworkAddress::Kind, kind);
        QFETCH(QString, turnedAway);
        QFETCH(QString, why);
        test::TempDataHome home;
        sim::PtyBoardOptions options;
        options.pacing = false;
        options.port = 3;
        sim::PtyBoard local(options);
        QVERIFY2(local.start(), qPrintable(local.errorString()));
        options.port = 9;  // its link is never used: the window reaches it through COM7
        sim::PtyBoard served(options);
        QVERIFY2(served.start(), qPrintable(served.errorString()));
        test::Ser2net server({served.devicePath()});
        QVERIFY2(server.start(), qPrintable(server.error()));
        const NetworkAddress address = server.address(0, kind);

        test::MessageRecorder prompts;
        prompts.answer = [](const QString&) { return true; };
        MainWindow main(std::make_unique<RoutedPort>(), prompts);
        main.show();
        // The address typed in "Ports série", COM7 chosen, the button pressed.
        SerialPortsWindow* ports = main.showSerialPorts();
        ports->targetPort()->setCurrentIndex(6);
        QTest::keyClicks(ports->typedAddress(), address.text());
        QCOMPARE(ports->assignAddressButton()->text(), QStringLiteral("Associer l'adresse à COM7"));
        ports->assignAddressButton()->click();
        QCOMPARE(prompts.texts(), QStringList());
        QTRY_VERIFY(ports->ports()->findItems(address.text(), Qt::MatchContains).size() == 1);
        QCOMPARE(ports->ports()->findItems(address.text(), Qt::MatchContains)[0]->row(), 6);
        TrafficMonitor* monitor = main.showTrafficMonitor();
        QVERIFY(monitor);
        SettingsWindow* settings = main.showConfiguration();
        CounterWindow* counter = main.showCounter();
        const auto validate = [&](int com) {
            prompts.clear();
            QVERIFY(settings->setIndex(Setting::Com, com - 1));
            settings->validateButton()->click();
            QCOMPARE(prompts.texts().size(), 1);
            QVERIFY2(
                prompts.texts()[0].startsWith(QStringLiteral("Ouverture du port COM%1").arg(com)) &&
                    prompts.texts()[0].endsWith(QStringLiteral("effectuée avec succès.")),
                qPrintable(prompts.texts()[0]));
        };
        const sim::Eeprom before = served.eeprom();
        QCOMPARE(local.eeprom(), before);
        QString startBefore;
        const auto readAndProgram = [&](int com, sim::PtyBoard& board) {
            validate(com);
            monitor->refresh();
            const qsizetype first = monitor->model().rowCount();
            board.clearReceived();
            counter->valeur[0]->clear();
            counter->butLitPara->click();
            startBefore = counter->valeur[0]->text();
            counter->valeur[0]->setText(QStringLiteral("34"));
            counter->vdeci[0]->setText(QStringLiteral("56"));
            counter->butEcritPara->click();
            settle(board);
            return trafficSince(*monitor, first);
        };

        const Traffic overNetwork = readAndProgram(7, served);
        QVERIFY(!startBefore.isEmpty());
        const QString startOnNetwork = startBefore;
        const Traffic onLocalPort = readAndProgram(3, local);
        QCOMPARE(startOnNetwork, startBefore);

        // The board behind the server got every frame the monitor shows, and nothing else.
        QCOMPARE(overNetwork.sent.join(), served.received());
        QCOMPARE(onLocalPort.sent.join(), local.received());
        QCOMPARE(overNetwork.sent, onLocalPort.sent);
        QCOMPARE(overNetwork.received, onLocalPort.received);
        QVERIFY(!overNetwork.received.isEmpty());
        // The start programmed, the same image on both boards.
        const auto start = counter::decodeField(cellTexts(bytesOf(served.eeprom())), 0);
        QVERIFY(start);
        QCOMPARE(start->integer, QStringLiteral("0000000034"));
        QCOMPARE(start->decimals, QStringLiteral("56"));
        QCOMPARE(served.eeprom(), local.eeprom());
        QVERIFY(served.eeprom() != before);

        // The window holds COM3 now: trvctl has the server to itself.
        QString out;
        QCOMPARE(runTrvctl({QStringLiteral("set"), QStringLiteral("-p"), address.text(),
                            QStringLiteral("depart=12,00")},
                           &out),
                 int(cli::kOk));
        validate(7);
        counter->butLitPara->click();
        QCOMPARE(counter->valeur[0]->text().toInt(), 12);
        QCOMPARE(counter->vdeci[0]->text(), QStringLiteral("00"));

        // While the window holds the connection, ser2net turns a second program away, and
        // trvctl says which server.
        out.clear();
        // The read's closing burst still on its way through the server lands first.
        settle(served);
        served.clearReceived();
        QCOMPARE(runTrvctl({QStringLiteral("read"), QStringLiteral("-p"), address.text()}, &out),
                 int(cli::kPortClosed));
        for (QString* t : {&turnedAway, &why})
            t->replace(QStringLiteral("@a"), address.text())
                .replace(QStringLiteral("@e"), address.endpoint());
        const QStringList lines = out.split(u'\n');
        QCOMPARE(lines.value(0), turnedAway);
        QVERIFY2(lines.value(1).startsWith(why), qPrintable(out));
        QCOMPARE(served.received(), QByteArray());
        // The window's connection is untouched.
        counter->butLitPara->click();
        QCOMPARE(counter->valeur[0]->text().toInt(), 12);
    }
};

QTEST_MAIN(NetworkE2ETest)
#include "test_network_e2e.moc"
