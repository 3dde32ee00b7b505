// The Ports série window on a private data folder with fake device entries, and the settings
// window telling why a port did not open. The port map itself is tested with the ports.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "configuration/settings_window.h"
#include "link/link.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
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

        w.devices()->selectRow(1);
        w.assignButton()->click();
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
