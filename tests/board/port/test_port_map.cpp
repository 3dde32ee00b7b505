// The port map's links and why a port does not open: on a private data folder with fake
// device entries, and on pseudo-terminals for the real port. No window: the Ports série
// window's own tests are with the tools.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "board_test_support.h"
#include "port/open_failure.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "port/routed_port.h"

using namespace trv;
using test::touch;
using Cause = OpenFailure::Cause;
Q_DECLARE_METATYPE(trv::OpenFailure::Cause)
Q_DECLARE_METATYPE(trv::OpenFacts)
Q_DECLARE_METATYPE(trv::OpenFailure::Remedy)

class PortMapTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::PortMapFixture> dev;
    QString ports;

private slots:
    void init() {
        dev = std::make_unique<test::PortMapFixture>();
        QVERIFY(dev->ok());
        ports = portsFolder();
    }
    void cleanup() { dev.reset(); }

    void entriesFollowTheLinks() {
        QVERIFY(QFile::link(dev->stableName(), portLinkPath(2)));
        QVERIFY(QFile::link(dev->node("ttyUSB0"), portLinkPath(5)));
        QVERIFY(QFile::link(dev->node("pts7"), portLinkPath(3)));  // not there: a dangling link
        QVERIFY(touch(dev->node("pts8")));
        QVERIFY(QFile::link(dev->node("pts8"), portLinkPath(4)));  // one the system does not list

        const QList<PortEntry> e = portEntries(ports, dev->devices);
        QCOMPARE(e.size(), kAssignablePorts);
        QCOMPARE(e[0].state, PortEntry::State::Unassigned);
        QCOMPARE(e[1].state, PortEntry::State::Present);
        QCOMPARE(e[1].device, QFileInfo(dev->node("ttyUSB0")).canonicalFilePath());
        QVERIFY(e[1].info);
        QCOMPARE(e[1].info->serialNumber, QStringLiteral("A1B2C3"));
        QCOMPARE(e[2].state, PortEntry::State::Unplugged);
        QCOMPARE(e[3].state, PortEntry::State::Present);
        QVERIFY(!e[3].info);
        QCOMPARE(portsLeadingTo(e, dev->node("ttyUSB0")), (QList<int>{2, 5}));
        QCOMPARE(portsLeadingTo(e, dev->node("ttyUSB1")), QList<int>{});
        QCOMPARE(stablePath(dev->node("ttyUSB0"), dev->byId()), dev->stableName());
        QCOMPARE(stablePath(dev->node("ttyUSB1"), dev->byId()), QString());
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
        QVERIFY(touch(dev->node("pts8")));
        QVERIFY(touch(dev->node("pts9")));
        for (const QString& l : links)
            QVERIFY(QFile::link(dev->path() + u'/' + l.section(u'=', 1),
                                portLinkPath(l.section(u'=', 0, 0).toInt())));
        const QList<SerialDevice>& devices = dev->devices;
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

    // COM n leads to a device by its link or to a server by its address file, never both:
    // associating one kind removes the other, and nothing else in the folder is touched.
    void associationsAcrossKinds_data() {
        QTest::addColumn<QString>("before");  // "", "link", "address", "bad address", "file"
        QTest::addColumn<QString>("typed");   // "ttyUSB0" for that device, else an address
        QTest::addColumn<QString>("error");   // a part of the refusal; empty when it succeeds
        QTest::addColumn<QString>("stored");  // the address file's line after it; empty: none
        QTest::newRow("address on a free port") << ""
                                                << "RFC2217://10.0.0.5:4001"
                                                << ""
                                                << "rfc2217://10.0.0.5:4001";
        QTest::newRow("address replaces a link") << "link"
                                                 << "tcp://[::1]:5"
                                                 << ""
                                                 << "tcp://[::1]:5";
        QTest::newRow("address replaces an address") << "address"
                                                     << "tcp://h:5"
                                                     << ""
                                                     << "tcp://h:5";
        QTest::newRow("link replaces an address") << "address"
                                                  << "ttyUSB0"
                                                  << ""
                                                  << "";
        QTest::newRow("link replaces a broken address file") << "bad address"
                                                             << "ttyUSB0"
                                                             << ""
                                                             << "";
        QTest::newRow("address replaces a broken one") << "bad address"
                                                       << "tcp://h:5"
                                                       << ""
                                                       << "tcp://h:5";
        QTest::newRow("invalid address") << "link"
                                         << "rfc2217://h:65536"
                                         << "de 1 à 65535"
                                         << "";
        QTest::newRow("a file that is no link stays") << "file"
                                                      << "tcp://h:5"
                                                      << "n'est pas un lien"
                                                      << "";
    }
    void associationsAcrossKinds() {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, error);
        QFETCH(QString, stored);
        const int n = 6;
        const QString link = portLinkPath(ports, n);
        const QString file = portAddressPath(ports, n);
        QVERIFY(QDir().mkpath(ports));
        if (before == u"link") QVERIFY(QFile::link(dev->node("ttyUSB1"), link));
        if (before == u"file") QVERIFY(touch(link));
        if (before == u"address" || before == u"bad address") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before == u"address" ? "rfc2217://old:1\n" : "n'importe quoi\n");
        }
        const QString target = typed == u"ttyUSB0" ? dev->node("ttyUSB0") : typed;
        const auto refused = assignPort(ports, n, target);
        QCOMPARE(refused.value_or(QString()).contains(error) && refused.has_value(),
                 !error.isEmpty());
        const PortEntry entry = portEntries(ports, dev->devices)[n - 1];
        if (!error.isEmpty()) {
            // A refusal leaves the association as it was.
            QCOMPARE(QFileInfo(link).isSymLink(), before == u"link");
            QCOMPARE(QFileInfo::exists(link), before == u"link" || before == u"file");
            QVERIFY(!QFileInfo::exists(file));
        } else if (stored.isEmpty()) {
            QCOMPARE(QFileInfo(link).symLinkTarget(), dev->node("ttyUSB0"));
            QVERIFY(!QFileInfo::exists(file));
            QCOMPARE(entry.state, PortEntry::State::Present);
        } else {
            QVERIFY(!QFileInfo(link).isSymLink());
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), stored.toUtf8() + '\n');
            QCOMPARE(entry.state, PortEntry::State::Network);
            QCOMPARE(entry.target, stored);
            QCOMPARE(portNetworkAddress(ports, n)->text(), stored);
        }
        // Removing either kind leaves the devices and other files alone.
        if (error.isEmpty()) {
            QCOMPARE(unassignPort(ports, n), std::nullopt);
            QVERIFY(!QFileInfo(link).isSymLink());
            QVERIFY(!QFileInfo::exists(file));
            QCOMPARE(portEntries(ports, dev->devices)[n - 1].state, PortEntry::State::Unassigned);
        }
        QVERIFY(QFileInfo::exists(dev->node("ttyUSB0")));
        QVERIFY(QFileInfo::exists(dev->node("ttyUSB1")));
    }

    // What an address file holds; one that holds no address is told apart from none, so the
    // port fails instead of falling back to a device.
    void addressFileRead_data() {
        QTest::addColumn<QByteArray>("content");  // "<folder>": a folder by that name
        QTest::addColumn<QString>("address");     // empty: none read
        QTest::addColumn<QString>("error");
        QTest::newRow("one line") << QByteArray("tcp://h:5\n") << "tcp://h:5"
                                  << "";
        QTest::newRow("no newline, blanks")
            << QByteArray("  rfc2217://[::1]:4001 ") << "rfc2217://[::1]:4001"
            << "";
        QTest::newRow("first line only") << QByteArray("tcp://a:1\ntcp://b:2\n") << "tcp://a:1"
                                         << "";
        QTest::newRow("empty") << QByteArray() << ""
                               << "n'est pas une adresse";
        QTest::newRow("a path") << QByteArray("/dev/ttyS0\n") << ""
                                << "n'est pas une adresse";
        QTest::newRow("bad port") << QByteArray("tcp://h:0\n") << ""
                                  << "de 1 à 65535";
        QTest::newRow("a folder") << QByteArray("<folder>") << ""
                                  << "Impossible de lire";
    }
    void addressFileRead() {
        QFETCH(QByteArray, content);
        QFETCH(QString, address);
        QFETCH(QString, error);
        QVERIFY(QDir().mkpath(ports));
        const QString path = portAddressPath(ports, 2);
        if (content == "<folder>") {
            QVERIFY(QDir().mkpath(path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const StoredAddress stored = readPortAddress(ports, 2);
        QVERIFY(stored.exists);
        QCOMPARE(stored.address ? stored.address->text() : QString(), address);
        QVERIFY2(stored.error.contains(error), qPrintable(stored.error));
        const PortEntry entry = portEntries(ports, dev->devices)[1];
        QCOMPARE(entry.state,
                 address.isEmpty() ? PortEntry::State::BadAddress : PortEntry::State::Network);
        QVERIFY(!readPortAddress(ports, 3).exists);
        // A broken file is replaced without asking; a good one is asked about.
        QCOMPARE(replaceQuestion(entry, QStringLiteral("/dev/ttyS0")).has_value(),
                 !address.isEmpty());
    }

    // Typed targets: an address when written as one, else the device rules.
    void typedTargets_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kind");  // PortTarget::Kind
        QTest::addColumn<QString>("text");
        QTest::newRow("address") << " TCP://h:5 " << int(PortTarget::Kind::Network) << "tcp://h:5";
        QTest::newRow("bad address") << "tcp://h:99999" << int(PortTarget::Kind::Invalid)
                                     << "tcp://h:99999 : le port doit être un nombre de 1 à 65535.";
        QTest::newRow("unknown scheme") << "ssh://h:22" << int(PortTarget::Kind::Invalid)
                                        << "ssh://h:22 : protocole inconnu, écrivez "
                                           "rfc2217://hôte:port ou tcp://hôte:port.";
        QTest::newRow("relative path") << "ttyS0" << int(PortTarget::Kind::Invalid)
                                       << "ttyS0 n'est pas le chemin complet d'un appareil "
                                          "(/dev/…).";
        QTest::newRow("empty") << "" << int(PortTarget::Kind::Invalid)
                               << "Tapez le chemin d'un appareil, par exemple /dev/ttyUSB0.";
    }
    void typedTargets() {
        QFETCH(QString, typed);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const PortTarget t = parsePortTarget(typed);
        QCOMPARE(int(t.kind), kind);
        QCOMPARE(t.kind == PortTarget::Kind::Invalid ? t.error : t.text, text);
    }

    // The programs' port opens what the association names: the address through the network
    // factory, a link through the system's port; a broken address file opens nothing.
    void routedOpening_data() {
        QTest::addColumn<QByteArray>("file");  // the address file; empty: none
        QTest::addColumn<bool>("factory");     // a network factory is given
        QTest::addColumn<QString>("opened");   // "network", "local" or "" (refused)
        QTest::addColumn<QString>("cause");    // a part of the refusal's text
        QTest::newRow("address") << QByteArray("tcp://h:5") << true << "network"
                                 << "";
        QTest::newRow("link") << QByteArray() << true << "local"
                              << "";
        QTest::newRow("no network port yet")
            << QByteArray("tcp://h:5") << false << ""
            << "Erreur du système sur tcp://h:5 : ce programme n'ouvre pas encore les ports réseau";
        QTest::newRow("broken address file") << QByteArray("tcp:/h") << true << ""
                                             << "com4.adresse : tcp:/h n'est pas une adresse";
    }
    void routedOpening() {
        QFETCH(QByteArray, file);
        QFETCH(bool, factory);
        QFETCH(QString, opened);
        QFETCH(QString, cause);
        test::FakeClock clock;
        QString made;
        std::optional<NetworkAddress> asked;
        RoutedPort::NetworkFactory network;
        if (factory)
            network = [&](const NetworkAddress& a) {
                made = QStringLiteral("network");
                asked = a;
                return std::make_unique<test::FakePort>(clock);
            };
        RoutedPort port(
            network,
            [&] {
                made = QStringLiteral("local");
                return std::make_unique<test::FakePort>(clock);
            },
            [&](int n) { return readPortAddress(ports, n); });
        QVERIFY(QDir().mkpath(ports));
        if (!file.isEmpty()) {
            QFile f(portAddressPath(ports, 4));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        QCOMPARE(port.open(4), !opened.isEmpty());
        QCOMPARE(made, opened);
        QCOMPARE(port.portNumber(), 4);
        QCOMPARE(port.networkAddress().has_value(), file.startsWith("tcp://h:5"));
        if (asked) QCOMPARE(asked->text(), QStringLiteral("tcp://h:5"));
        const QString text = openFailureText(port.openFailure(), 4);
        QVERIFY2(text.contains(cause), qPrintable(text));
        QVERIFY(!port.write("x") || port.isOpen());

        // An address given directly: no number, and the next opening looks again.
        made.clear();
        const bool direct = port.openAddress(*parseNetworkAddress(QStringLiteral("tcp://d:9")));
        QCOMPARE(direct, factory);
        QCOMPARE(port.portNumber(), 0);
        QCOMPARE(port.networkAddress()->text(), QStringLiteral("tcp://d:9"));
        QFile::remove(portAddressPath(ports, 4));
        QVERIFY(port.open(4));
        QCOMPARE(made, QStringLiteral("local"));
        QVERIFY(!port.networkAddress());
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
        denied.entry = {true, 0, QStringLiteral("root"), 14, QStringLiteral("uucp"), 0660};
        denied.account = {1000, {1000}, {1000}};
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

    // Why this account may not open a device, from its entry and the account's groups: the
    // advice is the one that would help, never joining a group one is already in or root's.
    void permissionCauseReadsTheDevice_data() {
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("group");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QList<uint>>("groups");
        QTest::addColumn<QList<uint>>("session");
        QTest::addColumn<OpenFailure::Remedy>("remedy");
        QTest::addColumn<QString>("says");
        using R = OpenFailure::Remedy;
        const uint dialout = 20;
        const QList<uint> me{1000};
        const QList<uint> inDialout{1000, dialout};
        QTest::newRow("not in the group")
            << 0u << dialout << 0660u << me << me << R::JoinGroup
            << "Accès refusé à /dev/ttyUSB0. Ajoutez votre compte au groupe dialout";
        QTest::newRow("in the group, session older")
            << 0u << dialout << 0660u << inDialout << me << R::LogInAgain
            << "Votre compte est dans le groupe dialout, mais pas encore cette session : "
               "fermez la session et reconnectez-vous.";
        QTest::newRow("root only, mode 600")
            << 0u << 0u << 0600u << inDialout << inDialout << R::OwnerOnly
            << "Accès refusé à /dev/ttyUSB0 : accessible à root seulement (root:root, mode 600).";
        QTest::newRow("group root, mode 660")
            << 0u << 0u << 0660u << me << me << R::OwnerOnly << "accessible à root seulement";
        QTest::newRow("group may only read")
            << 0u << dialout << 0640u << me << me << R::OwnerOnly
            << "accessible à root seulement (root:dialout, mode 640)";
        QTest::newRow("another user's device")
            << 1001u << 1001u << 0600u << me << me << R::OwnerOnly << "accessible à bob seulement";
        QTest::newRow("in the group and the session")
            << 0u << dialout << 0660u << inDialout << inDialout << R::None
            << "ce compte n'a pas le droit de l'ouvrir";
        QTest::newRow("open to everyone")
            << 0u << dialout << 0666u << me << me << R::None << "n'a pas le droit";
        QTest::newRow("own device")
            << 1000u << 1000u << 0000u << me << me << R::None << "n'a pas le droit";
    }
    void permissionCauseReadsTheDevice() {
        QFETCH(uint, owner);
        QFETCH(uint, group);
        QFETCH(uint, mode);
        QFETCH(QList<uint>, groups);
        QFETCH(QList<uint>, session);
        QFETCH(OpenFailure::Remedy, remedy);
        QFETCH(QString, says);
        auto name = [](uint id) {
            return id == 0    ? QStringLiteral("root")
                   : id == 20 ? QStringLiteral("dialout")
                              : QStringLiteral("bob");
        };
        OpenFacts facts;
        facts.linkExists = true;
        facts.target = facts.device = QStringLiteral("/dev/ttyUSB0");
        facts.permissionError = facts.accessDenied = true;
        facts.entry = {true, owner, name(owner), group, name(group), mode};
        facts.account = {1000, groups, session};
        const OpenFailure f = classifyOpenFailure(facts);
        QCOMPARE(f.cause, Cause::PermissionDenied);
        QCOMPARE(f.remedy, remedy);
        const QString text = openFailureText(f, 5);
        QVERIFY2(text.contains(says), qPrintable(text));
        if (remedy != OpenFailure::Remedy::JoinGroup)
            QVERIFY2(!text.contains(QLatin1String("usermod")), qPrintable(text));
    }

    // The facts come from the device's real entry and this process's groups.
    void realEntryAndAccount() {
        QVERIFY(touch(dev->node("pts8")));
        QVERIFY(QFile::setPermissions(dev->node("pts8"),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const DeviceEntry e = readDeviceEntry(dev->node("pts8"));
        QVERIFY(e.known);
        QCOMPARE(e.uid, uint(::geteuid()));
        QCOMPARE(e.mode, 0600u);
        QCOMPARE(e.owner, QFileInfo(dev->node("pts8")).owner());
        QVERIFY(!readDeviceEntry(dev->node("gone")).known);
        const Account a = currentAccount();
        QCOMPARE(a.uid, uint(::geteuid()));
        QVERIFY(a.sessionGroups.contains(uint(::getegid())));
        QVERIFY(a.groups.contains(uint(::getgid())));
    }

    // What the Ports série window says of a device, without opening it.
    void deviceStatusWithoutOpening_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("says");
        QTest::newRow("free pseudo-terminal") << "free"
                                              << "libre";
        QTest::newRow("absent path") << "absent"
                                     << "absent";
        QTest::newRow("locked by this process")
            << "held"
            << QStringLiteral("tenu par le processus %1 (test_port_map)")
                   .arg(QCoreApplication::applicationPid());
        QTest::newRow("no permission") << "denied"
                                       << "permission refusée";
        QTest::newRow("serial node without a UART") << "no UART"
                                                    << "absent";
        QTest::newRow("serial node with a UART") << "UART"
                                                 << "libre";
    }
    void deviceStatusWithoutOpening() {
        QFETCH(QString, situation);
        QFETCH(QString, says);
        if (situation == QLatin1String("denied") && ::geteuid() == 0)
            QSKIP("the super-user opens a device whatever its mode");
        test::LinkedPty pty(4);
        QVERIFY(pty.ok());
        QString device = portDevice(4);
        const QStringList locks{dev->path()};
        if (situation == QLatin1String("absent")) device = dev->node("gone");
        if (situation == QLatin1String("held")) {
            QFile lock(dev->path() + QStringLiteral("/LCK..") + device.mid(5).replace(u'/', u'_'));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write(QByteArray::number(QCoreApplication::applicationPid()) + "\n");
        }
        if (situation == QLatin1String("denied"))
            QVERIFY(QFile::setPermissions(device, QFileDevice::Permissions()));
        // What the kernel tells of a ttyS node: type 0 when no UART is behind it.
        const QString tty = dev->path() + QStringLiteral("/class-tty");
        if (situation.endsWith(QLatin1String("UART"))) {
            device = dev->node("ttyS7");
            QVERIFY(touch(device));
            QVERIFY(QDir().mkpath(tty + QStringLiteral("/ttyS7")));
            QFile type(tty + QStringLiteral("/ttyS7/type"));
            QVERIFY(type.open(QIODevice::WriteOnly));
            type.write(situation == QLatin1String("UART") ? "4\n" : "0\n");
        }
        QCOMPARE(deviceStatusText(deviceStatus(device, locks, tty)), says);
    }

    void lockFileNamesItsHolder_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("held");
        const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
        QTest::newRow("Qt's lock") << self + "\ntest_port_map\nhost\n" << true;
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
        if (held) QCOMPARE(program, QStringLiteral("test_port_map"));
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
            QVERIFY(QFile::link(dev->node("gone"), portLinkPath(4)));
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
};

QTEST_GUILESS_MAIN(PortMapTest)
#include "test_port_map.moc"
