// The Ports série window on a private data folder with fake device entries (and once with the
// simulated board, reached through a typed path), and the settings window telling why a port
// did not open. The port map itself is tested with the ports.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "configuration/settings_window.h"
#include "link/link.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "protocol/clock.h"
#include "protocol/exchange.h"
#include "protocol/image_transfer.h"
#include "simulated_board.h"
#include "test_support.h"
#include "tools/serial_ports_window.h"

using namespace trv;
using test::touch;

class LinkTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::PortMapFixture> dev;
    QString ports;
    QString byId;
    QList<SerialDevice> devices;

    QString node(const char* name) const { return dev->node(name); }

private slots:
    void init() {
        dev = std::make_unique<test::PortMapFixture>();
        QVERIFY(dev->ok());
        ports = portsFolder();
        byId = dev->byId();
        devices = dev->devices;
    }
    void cleanup() { dev.reset(); }

    // What the ports table says a port leads to when no device answers for it.
    void windowSaysWhereAPortLeads() {
        QVERIFY(QFile::link(node("pts7"), portLinkPath(3)));  // not there: a dangling link
        const QList<PortEntry> e = portEntries(ports, devices);
        QCOMPARE(e[0].state, PortEntry::State::Unassigned);
        QCOMPARE(SerialPortsWindow::leadsTo(e[0]), QStringLiteral("non associé"));
        QCOMPARE(e[2].state, PortEntry::State::Unplugged);
        QCOMPARE(SerialPortsWindow::leadsTo(e[2]),
                 QStringLiteral("débranché (%1)").arg(node("pts7")));
        // A server's address, and an address file that holds none (short, in its column).
        QCOMPARE(assignPort(ports, 7, QStringLiteral("tcp://[::1]:4002")), std::nullopt);
        QFile bad(portAddressPath(ports, 9));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("rfc2217://\n");
        bad.close();
        const QList<PortEntry> n = portEntries(ports, devices);
        QCOMPARE(SerialPortsWindow::leadsTo(n[6]), QStringLiteral("tcp://[::1]:4002"));
        QCOMPARE(SerialPortsWindow::leadsTo(n[8]),
                 QStringLiteral("adresse illisible (com9.adresse)"));
    }

    // The window links the selected device (by its stable name when there is one), replaces
    // a link in place, removes only links, and never touches a device entry.
    void windowAssignsAndRemoves() {
        test::MessageRecorder recorder;
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });
        QVERIFY(touch(portLinkPath(6)));  // stands for a device node under that name
        w.refresh();

        w.targetPort()->setCurrentIndex(4);
        QCOMPARE(w.assignButton()->text(), QStringLiteral("Associer à COM5"));
        w.devices()->selectRow(0);
        w.assignButton()->click();
        QCOMPARE(QFileInfo(portLinkPath(5)).symLinkTarget(),
                 byId + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00"));
        QCOMPARE(w.devices()->item(0, 5)->text(), QStringLiteral("COM5"));
        QCOMPARE(w.ports()->item(4, 3)->text(), QStringLiteral("FTDI"));

        // Replacing COM5's association is asked first, and done on yes.
        recorder.answer = [](const QString&) { return true; };
        w.devices()->selectRow(1);
        w.assignButton()->click();
        QCOMPARE(recorder.questions,
                 QStringList{QStringLiteral("COM5 mène à %1. Le remplacer par %2 ?")
                                 .arg(byId + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00"),
                                      node("ttyUSB1"))});
        QCOMPARE(QFileInfo(portLinkPath(5)).symLinkTarget(), node("ttyUSB1"));
        QCOMPARE(w.devices()->item(0, 5)->text(), QString());
        QCOMPARE(w.devices()->item(1, 5)->text(), QStringLiteral("COM5"));

        w.ports()->selectRow(4);
        QVERIFY(w.unassignButton()->isEnabled());
        w.unassignButton()->click();
        QVERIFY(!QFileInfo(portLinkPath(5)).isSymLink());
        QVERIFY(QFileInfo::exists(node("ttyUSB1")));
        QCOMPARE(w.ports()->item(4, 1)->text(), QStringLiteral("non associé"));
        QVERIFY(recorder.messages.isEmpty());

        // Neither removed nor replaced: it is not one of our links.
        w.ports()->selectRow(5);
        w.unassignButton()->click();
        w.targetPort()->setCurrentIndex(5);
        w.devices()->selectRow(0);
        w.assignButton()->click();
        QCOMPARE(recorder.messages.size(), 2);
        for (const test::Message& m : recorder.messages) QCOMPARE(m.kind, msg::Kind::Warning);
        QVERIFY(QFileInfo(portLinkPath(6)).isFile());
        QVERIFY(!QFileInfo(portLinkPath(6)).isSymLink());
        // Nothing to ask about what is refused anyway.
        QCOMPARE(recorder.questions.size(), 1);
    }

    // A path typed in the field: a device no link leads to and the system does not list (a
    // pseudo-terminal) is associated; an association is replaced only on yes; what cannot
    // be a device is refused with a word and nothing changes.
    void windowAssociatesATypedPath_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("typed");   // "@name": that entry of the device folder
        QTest::addColumn<QString>("before");  // what the link led to, empty for none
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");  // expected, "@" marks as in typed
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("warning");
        QTest::newRow("pseudo-terminal nobody links") << 5 << "@pts8"
                                                      << "" << false << ""
                                                      << "@pts8"
                                                      << "";
        QTest::newRow("blanks around the path") << 5 << "  @pts8 "
                                                << "" << false << ""
                                                << "@pts8"
                                                << "";
        QTest::newRow("COM14, for detection and trvctl") << 14 << "@pts8"
                                                         << "" << false << ""
                                                         << "@pts8"
                                                         << "";
        QTest::newRow("replace, yes")
            << 5 << "@pts8"
            << "@ttyUSB0" << true << "COM5 mène à @ttyUSB0. Le remplacer par @pts8 ?"
            << "@pts8"
            << "";
        QTest::newRow("replace, no")
            << 5 << "@pts8"
            << "@ttyUSB0" << false << "COM5 mène à @ttyUSB0. Le remplacer par @pts8 ?"
            << "@ttyUSB0"
            << "";
        QTest::newRow("replace a dangling link, no")
            << 5 << "@pts8"
            << "@gone" << false << "COM5 mène à @gone. Le remplacer par @pts8 ?"
            << "@gone"
            << "";
        QTest::newRow("same device again") << 5 << "@pts8"
                                           << "@pts8" << false << ""
                                           << "@pts8"
                                           << "";
        QTest::newRow("absent path") << 5 << "@pts9"
                                     << "" << true << ""
                                     << ""
                                     << "@pts9 n'existe pas.";
        QTest::newRow("relative path") << 5 << "pts/3"
                                       << "@ttyUSB0" << true << ""
                                       << "@ttyUSB0"
                                       << "pts/3 n'est pas le chemin complet d'un appareil";
        QTest::newRow("a folder") << 5 << "@"
                                  << "" << true << ""
                                  << ""
                                  << "est un dossier, pas un appareil.";
    }
    void windowAssociatesATypedPath() {
        QFETCH(int, port);
        QFETCH(QString, typed);
        QFETCH(QString, before);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QString, after);
        QFETCH(QString, warning);
        const QString folder = dev->path();
        auto at = [&](QString text) { return text.replace(u'@', folder + u'/'); };
        QVERIFY(touch(node("pts8")));
        if (!before.isEmpty()) QVERIFY(QFile::link(at(before), portLinkPath(port)));
        test::MessageRecorder recorder;
        recorder.answer = [yes](const QString&) { return yes; };
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });

        w.targetPort()->setCurrentIndex(port - 1);
        // Past the settings window's list, a number says what it serves.
        QCOMPARE(w.targetPort()->currentText().endsWith(QStringLiteral(" (détection et trvctl)")),
                 port > 12);
        QCOMPARE(w.assignTypedButton()->text(),
                 QStringLiteral("Associer le chemin à COM%1").arg(port));
        QVERIFY(!w.assignTypedButton()->isEnabled());
        QTest::keyClicks(w.typedPath(), at(typed));
        QVERIFY(w.assignTypedButton()->isEnabled());
        w.assignTypedButton()->click();

        QCOMPARE(recorder.questions,
                 question.isEmpty() ? QStringList() : QStringList{at(question)});
        QCOMPARE(QFileInfo(portLinkPath(port)).symLinkTarget(),
                 after.isEmpty() ? QString() : at(after));
        QCOMPARE(recorder.texts().join(u'|').contains(at(warning)), true);
        QCOMPARE(recorder.messages.size(), warning.isEmpty() ? 0 : 1);
        // Linked: the field is emptied for the next one; else what was typed stays to mend.
        const bool linked = after == typed.trimmed() && !after.isEmpty();
        QCOMPARE(w.typedPath()->text().isEmpty(), linked);
        if (linked) {
            QCOMPARE(w.ports()->item(port - 1, 1)->text(), at(after));
            QCOMPARE(w.ports()->item(port - 1, 5)->text(), QStringLiteral("libre"));
        }
    }

    // An address typed in its field goes through the same flow as a path: the replace
    // question across kinds, refusals as warnings with nothing changed; the table shows it
    // as "réseau" with the address, and "Retirer" removes it.
    void windowAssociatesAnAddress_data() {
        QTest::addColumn<QString>("field");  // "adresse" or "chemin": where it is typed
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("before");  // "@name": a link to that entry; an address; ""
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("after");  // the address COM5 leads to after it, if any
        QTest::addColumn<QString>("warning");
        const QString a = QStringLiteral("rfc2217://127.0.0.1:4001");
        // clang-format off
        QTest::newRow("free port") << "adresse" << " RFC2217://127.0.0.1:4001 " << "" << false << "" << a << "";
        QTest::newRow("replaces a link, yes") << "adresse" << a << "@ttyUSB0" << true << "COM5 mène à @ttyUSB0. Le remplacer par " + a + " ?" << a << "";
        QTest::newRow("replaces a link, no") << "adresse" << a << "@ttyUSB0" << false << "COM5 mène à @ttyUSB0. Le remplacer par " + a + " ?" << "" << "";
        QTest::newRow("replaces an address, yes") << "adresse" << a << "tcp://h:5" << true << "COM5 mène à tcp://h:5. Le remplacer par " + a + " ?" << a << "";
        QTest::newRow("replaces an address, no") << "adresse" << a << "tcp://h:5" << false << "COM5 mène à tcp://h:5. Le remplacer par " + a + " ?" << "tcp://h:5" << "";
        QTest::newRow("same address again") << "adresse" << a << a << false << "" << a << "";
        QTest::newRow("address replaced by a path, yes") << "chemin" << "@pts8" << a << true << "COM5 mène à " + a + ". Le remplacer par @pts8 ?" << "" << "";
        QTest::newRow("address typed as a path") << "chemin" << a << "" << false << "" << a << "";
        QTest::newRow("port out of range") << "adresse" << "tcp://h:0" << "@ttyUSB0" << true << "" << "" << "tcp://h:0 : le port doit être un nombre de 1 à 65535.";
        QTest::newRow("a path in the address field") << "adresse" << "@pts8" << "" << true << "" << "" << "n'est pas une adresse réseau";
        // clang-format on
    }
    void windowAssociatesAnAddress() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, before);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(QString, after);
        QFETCH(QString, warning);
        const QString folder = dev->path();
        auto at = [&](QString text) { return text.replace(u'@', folder + u'/'); };
        QVERIFY(touch(node("pts8")));
        const bool linkBefore = before.startsWith(u'@');
        if (linkBefore) QVERIFY(QFile::link(at(before), portLinkPath(5)));
        if (!before.isEmpty() && !linkBefore) QCOMPARE(assignPort(ports, 5, before), std::nullopt);
        test::MessageRecorder recorder;
        recorder.answer = [yes](const QString&) { return yes; };
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });
        w.targetPort()->setCurrentIndex(4);
        QCOMPARE(w.assignAddressButton()->text(), QStringLiteral("Associer l'adresse à COM5"));
        QCOMPARE(w.typedAddress()->objectName(), QStringLiteral("ADRESSE_RESEAU"));
        QLineEdit* edit = field == u"adresse" ? w.typedAddress() : w.typedPath();
        QPushButton* button = field == u"adresse" ? w.assignAddressButton() : w.assignTypedButton();
        QVERIFY(!button->isEnabled());
        QTest::keyClicks(edit, at(typed));
        button->click();

        QCOMPARE(recorder.questions,
                 question.isEmpty() ? QStringList() : QStringList{at(question)});
        QVERIFY2(recorder.texts().join(u'|').contains(at(warning)),
                 qPrintable(recorder.texts().join(u'|')));
        QCOMPARE(recorder.messages.size(), warning.isEmpty() ? 0 : 1);
        const auto address = portNetworkAddress(ports, 5);
        QCOMPARE(address ? address->text() : QString(), after);
        const QString leadsTo = w.ports()->item(4, 1)->text();
        const QString state = w.ports()->item(4, 5)->text();
        if (!after.isEmpty()) {
            // Never both: the address took the link's place.
            QVERIFY(!QFileInfo(portLinkPath(5)).isSymLink());
            QCOMPARE(leadsTo, after);
            QCOMPARE(state, QStringLiteral("réseau"));
            QCOMPARE(edit->text().isEmpty(), after == at(typed).trimmed().toLower());
            w.ports()->selectRow(4);
            QVERIFY(w.unassignButton()->isEnabled());
            w.unassignButton()->click();
            QVERIFY(!portNetworkAddress(ports, 5));
            QCOMPARE(w.ports()->item(4, 1)->text(), QStringLiteral("non associé"));
        } else {
            QVERIFY(state != QStringLiteral("réseau"));
            QCOMPARE(QFileInfo(portLinkPath(5)).isSymLink(),
                     linkBefore || (field == u"chemin" && typed.startsWith(u'@')));
        }
        QVERIFY(QFileInfo::exists(node("ttyUSB0")));
    }

    // Whether each device opens now, as the tables show it: a free pseudo-terminal, a link
    // to a device that is gone, a number that leads nowhere.
    void windowShowsWhetherDevicesOpen() {
        test::LinkedPty pty(3);
        QVERIFY(pty.ok());
        QVERIFY(QFile::link(node("gone"), portLinkPath(4)));
        test::MessageRecorder recorder;
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });
        QCOMPARE(w.ports()->horizontalHeaderItem(5)->text(), QStringLiteral("État"));
        QCOMPARE(w.ports()->item(2, 5)->text(), QStringLiteral("libre"));
        QCOMPARE(w.ports()->item(3, 5)->text(), QStringLiteral("absent"));
        QCOMPARE(w.ports()->item(0, 5)->text(), QString());
        QCOMPARE(w.devices()->horizontalHeaderItem(6)->text(), QStringLiteral("État"));
        const int last = w.devices()->rowCount() - 1;
        QCOMPARE(w.devices()->item(last, 0)->text(), portDevice(3));
        QCOMPARE(w.devices()->item(last, 6)->text(), QStringLiteral("libre"));
    }

    // The simulator's device, typed in the window and nowhere else, reached through the COM
    // number it was given: the board's whole image comes back.
    void simulatorReachedThroughATypedPath() {
        sim::PtyBoard board(test::BoardOnPort::options(3, false));
        QVERIFY2(board.start(), qPrintable(board.errorString()));
        test::MessageRecorder recorder;
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });
        w.show();
        w.targetPort()->setCurrentIndex(6);
        QTest::keyClicks(w.typedPath(), board.devicePath());
        QTest::keyClick(w.typedPath(), Qt::Key_Return);
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(recorder.questions.isEmpty());
        QCOMPARE(w.ports()->item(6, 1)->text(), board.devicePath());

        QtSerialPort port;
        QVERIFY(port.open(7));
        SteadyClock clock;
        Exchange exchange(port, clock);
        CellTexts cells;
        QCOMPARE(readImage(exchange, cells), ReadOutcome::Read);
        const sim::Eeprom expected = board.eeprom();
        for (int a = 0; a < kImageSize; ++a)
            QCOMPARE(
                cells[size_t(a)],
                QStringLiteral("%1").arg(expected[size_t(a)], 2, 16, QLatin1Char('0')).toUpper());
    }

    // The simulator's way in: its pseudo-terminal, linked as COM3, goes to COM5 as well.
    void windowAssociatesAPseudoTerminal() {
        QVERIFY(touch(node("pts8")));
        QVERIFY(QFile::link(node("pts8"), portLinkPath(3)));
        test::MessageRecorder recorder;
        SerialPortsWindow w(recorder, ports, byId, [this] { return devices; });
        QCOMPARE(w.devices()->rowCount(), 3);
        QCOMPARE(w.devices()->item(2, 0)->text(), QFileInfo(node("pts8")).canonicalFilePath());
        QCOMPARE(w.devices()->item(2, 5)->text(), QStringLiteral("COM3"));
        w.targetPort()->setCurrentIndex(4);
        w.devices()->selectRow(2);
        w.assignButton()->click();
        QCOMPARE(QFileInfo(portLinkPath(5)).canonicalFilePath(),
                 QFileInfo(node("pts8")).canonicalFilePath());
        QCOMPARE(w.devices()->item(2, 5)->text(), QStringLiteral("COM3, COM5"));
        w.ports()->selectRow(4);
        w.unassignButton()->click();
        w.ports()->selectRow(2);
        w.unassignButton()->click();
        QVERIFY(recorder.messages.isEmpty());
        QVERIFY(QFileInfo(node("pts8")).isFile());
        // No link leads to it any more: its row goes, and its selection does not pass to
        // another device.
        QCOMPARE(w.devices()->rowCount(), 2);
        QVERIFY(w.devices()->selectedItems().isEmpty());
        QVERIFY(!w.assignButton()->isEnabled());
    }

    void windowLooksAgainOnlyWhileShown() {
        test::MessageRecorder prompts;
        SerialPortsWindow w(prompts, ports, byId, [this] { return devices; });
        QVERIFY(!w.refreshTimer().isActive());
        w.show();
        QVERIFY(w.refreshTimer().isActive());
        // A link made behind the window's back shows within one period.
        QVERIFY(QFile::link(node("ttyUSB1"), portLinkPath(9)));
        QTRY_COMPARE_WITH_TIMEOUT(w.devices()->item(1, 5)->text(), QStringLiteral("COM9"),
                                  SerialPortsWindow::kRefreshMs * 2);
        w.hide();
        QVERIFY(!w.refreshTimer().isActive());
    }

    // The opening's message stays word for word; the cause comes under it.
    void settingsWindowShowsTheCause() {
        Link link(std::make_unique<QtSerialPort>());
        test::MessageRecorder recorder;
        SettingsWindow c(link, recorder, nullptr);
        c.setIndex(Setting::Com, 6);
        c.validateButton()->click();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Critical);
        QCOMPARE(recorder.messages[0].text, QStringLiteral("L'ouverture du port COM7 à échouée !"));
        QVERIFY(recorder.messages[0].detail.contains(QStringLiteral("COM7")));
        QVERIFY(recorder.messages[0].detail.contains(QStringLiteral("Outils > Ports série…")));
        QVERIFY(!link.portOpen());
    }
};

QTEST_MAIN(LinkTest)
#include "test_link.moc"
