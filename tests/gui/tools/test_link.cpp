// The port map's links and their window, and why a port does not open: on a private data
// folder with fake device entries, and on pseudo-terminals for the real port.
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "configuration/settings_window.h"
#include "link/link.h"
#include "port/open_failure.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "test_support.h"
#include "tools/serial_ports_window.h"

using namespace trv;
using Cause = OpenFailure::Cause;
Q_DECLARE_METATYPE(trv::OpenFailure::Cause)
Q_DECLARE_METATYPE(trv::OpenFacts)

namespace {
bool touch(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}
}  // namespace

class LinkTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    std::unique_ptr<QTemporaryDir> dev;  // stands for /dev: device entries and serial/by-id
    QString ports;
    QString byId;
    QList<SerialDevice> devices;

    QString node(const char* name) const {
        return dev->path() + QLatin1Char('/') + QLatin1String(name);
    }

private slots:
    void init() {
        home = std::make_unique<test::TempDataHome>();
        dev = std::make_unique<QTemporaryDir>();
        ports = portsFolder();
        byId = dev->path() + QStringLiteral("/serial/by-id");
        QVERIFY(QDir().mkpath(ports));
        QVERIFY(QDir().mkpath(byId));
        QVERIFY(touch(node("ttyUSB0")));
        QVERIFY(touch(node("ttyUSB1")));
        QVERIFY(
            QFile::link(node("ttyUSB0"), byId + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00")));
        devices = {
            {node("ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
             QStringLiteral("A1B2C3")},
            {node("ttyUSB1"), QStringLiteral("CP2102"), QStringLiteral("Silicon Labs"), QString()}};
    }
    void cleanup() {
        dev.reset();
        home.reset();
    }

    void entriesFollowTheLinks() {
        const QString stable = byId + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00");
        QVERIFY(QFile::link(stable, portLinkPath(2)));
        QVERIFY(QFile::link(node("ttyUSB0"), portLinkPath(5)));
        QVERIFY(QFile::link(node("pts7"), portLinkPath(3)));  // not there: a dangling link
        QVERIFY(touch(node("pts8")));
        QVERIFY(QFile::link(node("pts8"), portLinkPath(4)));  // a device the system does not list

        const QList<PortEntry> e = portEntries(ports, devices);
        QCOMPARE(e.size(), kAssignablePorts);
        QCOMPARE(e[0].state, PortEntry::State::Unassigned);
        QCOMPARE(SerialPortsWindow::leadsTo(e[0]), QStringLiteral("non associé"));
        QCOMPARE(e[1].state, PortEntry::State::Present);
        QCOMPARE(e[1].device, QFileInfo(node("ttyUSB0")).canonicalFilePath());
        QVERIFY(e[1].info);
        QCOMPARE(e[1].info->serialNumber, QStringLiteral("A1B2C3"));
        QCOMPARE(e[2].state, PortEntry::State::Unplugged);
        QCOMPARE(SerialPortsWindow::leadsTo(e[2]),
                 QStringLiteral("débranché (%1)").arg(node("pts7")));
        QCOMPARE(e[3].state, PortEntry::State::Present);
        QVERIFY(!e[3].info);
        QCOMPARE(portsLeadingTo(e, node("ttyUSB0")), (QList<int>{2, 5}));
        QCOMPARE(portsLeadingTo(e, node("ttyUSB1")), QList<int>{});
        QCOMPARE(stablePath(node("ttyUSB0"), byId), stable);
        QCOMPARE(stablePath(node("ttyUSB1"), byId), QString());
    }

    // A device the system does not list (the simulator's pseudo-terminal) becomes one to
    // choose once a link leads to it: once however many links do, never when the system
    // lists it already (directly or behind a by-id name), never for a dangling link.
    void devicesReachedOnlyByLinks_data() {
        QTest::addColumn<QStringList>("links");  // "n=entry": comN leads to that entry of dev
        QTest::addColumn<QStringList>("added");  // the unlisted devices offered, in order
        QTest::newRow("no link") << QStringList{} << QStringList{};
        QTest::newRow("pseudo-terminal") << QStringList{"3=pts8"} << QStringList{"pts8"};
        QTest::newRow("two links, one device")
            << QStringList{"3=pts8", "5=pts8"} << QStringList{"pts8"};
        QTest::newRow("in COM order")
            << QStringList{"7=pts9", "3=pts8"} << QStringList{"pts8", "pts9"};
        QTest::newRow("listed device")
            << QStringList{"2=ttyUSB1", "4=serial/by-id/usb-FTDI_FT232R_A1B2C3-if00"}
            << QStringList{};
        QTest::newRow("dangling link") << QStringList{"3=pts7"} << QStringList{};
    }
    void devicesReachedOnlyByLinks() {
        QFETCH(QStringList, links);
        QFETCH(QStringList, added);
        QVERIFY(touch(node("pts8")));
        QVERIFY(touch(node("pts9")));
        for (const QString& l : links)
            QVERIFY(QFile::link(dev->path() + u'/' + l.section(u'=', 1),
                                portLinkPath(l.section(u'=', 0, 0).toInt())));
        const QList<SerialDevice> offered = assignableDevices(devices, portEntries(ports, devices));
        QCOMPARE(offered.mid(0, devices.size()), devices);
        QStringList unlisted;
        for (const SerialDevice& d : offered.mid(devices.size())) {
            QVERIFY(!d.listed);
            QVERIFY(d.description.contains(QStringLiteral("Non listé par le système")));
            unlisted << QFileInfo(d.location).fileName();
        }
        QCOMPARE(unlisted, added);
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

    void causeOfAFailedOpening_data() {
        QTest::addColumn<OpenFacts>("facts");
        QTest::addColumn<Cause>("cause");
        QTest::addColumn<QString>("says");
        OpenFacts none;
        OpenFacts dangling;
        dangling.linkExists = true;
        dangling.target = QStringLiteral("/dev/serial/by-id/usb-FTDI-if00");
        OpenFacts present;
        present.linkExists = true;
        present.target = present.device = QStringLiteral("/dev/ttyUSB0");
        OpenFacts vanished = present;
        vanished.deviceNotFound = true;
        OpenFacts locked = present;
        locked.permissionError = true;
        locked.lockPid = 4242;
        locked.lockProgram = QStringLiteral("minicom");
        OpenFacts denied = present;
        denied.permissionError = true;
        denied.accessDenied = true;
        denied.group = QStringLiteral("uucp");
        OpenFacts deniedRootGroup = denied;
        deniedRootGroup.group = QStringLiteral("root");
        OpenFacts exclusive = present;
        exclusive.permissionError = true;
        OpenFacts other = present;
        other.systemText = QStringLiteral("Input/output error");

        QTest::newRow("no link") << none << Cause::NoLink
                                 << "associé à COM5. Associez-en un dans Outils > Ports série…";
        QTest::newRow("dangling link") << dangling << Cause::DeviceAbsent
                                       << "COM5 mène à /dev/serial/by-id/usb-FTDI-if00, qui est "
                                          "absent (adaptateur débranché ?)";
        QTest::newRow("device gone meanwhile")
            << vanished << Cause::DeviceAbsent << "/dev/ttyUSB0, qui est absent";
        QTest::newRow("locked by a program")
            << locked << Cause::Busy
            << "/dev/ttyUSB0 est déjà ouvert par un autre programme (processus 4242, minicom)";
        QTest::newRow("held exclusively")
            << exclusive << Cause::Busy << "déjà ouvert par un autre programme. Fermez-le";
        QTest::newRow("other system error")
            << other << Cause::Other << "Erreur du système sur /dev/ttyUSB0 : Input/output error";
#ifdef Q_OS_LINUX
        QTest::newRow("permission, device's group")
            << denied << Cause::PermissionDenied
            << "groupe uucp :\n    sudo usermod -aG uucp $USER\npuis fermez la session";
        QTest::newRow("permission, dialout")
            << deniedRootGroup << Cause::PermissionDenied << "sudo usermod -aG dialout $USER";
#endif
    }
    void causeOfAFailedOpening() {
        QFETCH(OpenFacts, facts);
        QFETCH(Cause, cause);
        QFETCH(QString, says);
        const OpenFailure f = classifyOpenFailure(facts);
        QCOMPARE(f.cause, cause);
        const QString text = openFailureText(f, 5);
        QVERIFY2(text.contains(says), qPrintable(text));
    }

    void lockFileNamesItsHolder_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("held");
        const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
        QTest::newRow("Qt's lock") << self + "\ntest_link\nhost\n" << true;
        QTest::newRow("UUCP lock") << self.rightJustified(10, ' ') + "\n" << true;
        QTest::newRow("program gone") << QByteArray("2147483000\n") << false;
        QTest::newRow("not a lock") << QByteArray("hello\n") << false;
    }
    void lockFileNamesItsHolder() {
        QFETCH(QByteArray, content);
        QFETCH(bool, held);
        QFile lock(dev->path() + QStringLiteral("/LCK..pts_9"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(content);
        lock.close();
        QString program;
        const qint64 pid =
            lockHolder(QStringLiteral("/dev/pts/9"),
                       {dev->path() + QStringLiteral("/none"), dev->path()}, &program);
        QCOMPARE(pid, held ? QCoreApplication::applicationPid() : 0);
        if (held) QCOMPARE(program, QStringLiteral("test_link"));
    }

    // The real port, on what this machine can produce.
    void realPortSaysWhy_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<Cause>("cause");
        QTest::newRow("missing link") << "missing" << Cause::NoLink;
        QTest::newRow("dangling link") << "dangling" << Cause::DeviceAbsent;
        QTest::newRow("held by another port") << "busy" << Cause::Busy;
        QTest::newRow("no permission") << "denied" << Cause::PermissionDenied;
    }
    void realPortSaysWhy() {
        QFETCH(QString, situation);
        QFETCH(Cause, cause);
        if (situation == QLatin1String("denied") && ::geteuid() == 0)
            QSKIP("the super-user opens a device whatever its mode");
        test::LinkedPty pty(4);
        QVERIFY(pty.ok());
        QtSerialPort holder;
        if (situation == QLatin1String("missing")) QVERIFY(QFile::remove(portLinkPath(4)));
        if (situation == QLatin1String("dangling")) {
            QVERIFY(QFile::remove(portLinkPath(4)));
            QVERIFY(QFile::link(node("gone"), portLinkPath(4)));
        }
        if (situation == QLatin1String("busy")) QVERIFY(holder.open(4));
        if (situation == QLatin1String("denied"))
            QVERIFY(QFile::setPermissions(portDevice(4), QFileDevice::Permissions()));

        QtSerialPort port;
        QVERIFY(!port.open(4));
        QCOMPARE(port.openFailure().cause, cause);
        if (cause == Cause::Busy)
            QCOMPARE(port.openFailure().pid, QCoreApplication::applicationPid());
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
