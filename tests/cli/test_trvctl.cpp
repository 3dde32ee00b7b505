// trvctl: its arguments and exit statuses, its JSON field by field, whole runs against
// simulated boards on their ports or behind ser2net, one and several at once, and a history it
// shares with an open window.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <thread>

#include "boards/board_window.h"
#include "command_line.h"
#include "image/image_file.h"
#include "image/image_history.h"
#include "link/link.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/qt_serial_port.h"
#include "ser2net.h"
#include "settings/image_diff.h"
#include "settings/parameter_map.h"
#include "sim/pty_board.h"
#include "test_support.h"
#include "trvctl.h"

using namespace trv;
using namespace trv::cli;

Q_DECLARE_METATYPE(trv::sim::Faults)
Q_DECLARE_METATYPE(trv::NetworkAddress::Kind)

namespace {
struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run trvctl(const QStringList& arguments, const std::atomic<bool>* stop = nullptr) {
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    Streams streams{out, err, false};
    streams.stop = stop;
    r.status = run(arguments, streams);
    return r;
}

sim::PtyBoard::Options boardOn(int port, sim::Preset preset = sim::Preset::Signed) {
    sim::PtyBoard::Options o;
    o.port = port;
    o.pacing = false;
    o.preset = preset;
    return o;
}

ImageBytes bytesOf(const sim::Eeprom& e) {
    ImageBytes b;
    std::copy(e.begin(), e.end(), b.begin());
    return b;
}

// The value at a path such as "0/reglages/Départ"; "#" counts, "*" lists the keys.
QJsonValue valueAt(QJsonValue v, const QString& path) {
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u'#') return v.isArray() ? v.toArray().size() : v.toObject().size();
        if (part == u'*') return v.toObject().keys().join(u',');
        v = v.isArray() ? v.toArray().at(part.toInt()) : v.toObject().value(part);
    }
    return v;
}

QString text(const QJsonValue& v) {
    if (v.isNull()) return QStringLiteral("null");
    if (v.isString()) return v.toString();
    if (v.isDouble()) return QString::number(v.toDouble());
    if (v.isBool()) return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.isUndefined()) return QStringLiteral("(absent)");
    return QStringLiteral("(%1)").arg(v.type());
}

QString typeName(const QJsonValue& v) {
    return v.isDouble()   ? QStringLiteral("number")
           : v.isString() ? QStringLiteral("string")
           : v.isBool()   ? QStringLiteral("bool")
           : v.isNull()   ? QStringLiteral("null")
                          : QStringLiteral("other");
}

// Every key of every object, however deep: scripts get ASCII names only.
void checkAsciiKeys(const QJsonValue& v) {
    static const QRegularExpression ascii(QStringLiteral("^[a-z0-9_]+$"));
    if (v.isArray())
        for (const QJsonValue& e : v.toArray()) checkAsciiKeys(e);
    if (!v.isObject()) return;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        QVERIFY2(ascii.match(it.key()).hasMatch(), qPrintable(it.key()));
        checkAsciiKeys(it.value());
    }
}

// The COMn link's device, as trvctl ports shows it.
QString deviceOf(int port) { return QFileInfo(portLinkPath(port)).symLinkTarget(); }

// A distinct image a board behind a server is given, with 0xFF bytes that the Telnet
// stream doubles.
ImageBytes servedImage(int seed) {
    ImageBytes b;
    for (int i = 0; i < kImageSize; ++i)
        b[std::size_t(i)] = quint8(i % 4 == 0 ? 0xFF : i * 7 + seed);
    return b;
}

sim::Eeprom eepromOf(const ImageBytes& b) {
    sim::Eeprom e{};
    std::copy(b.begin(), b.end(), e.begin());
    return e;
}

#define NEED_SER2NET() \
    if (test::Ser2net::program().isEmpty()) QSKIP("ser2net is not installed")

// How a run through a server ends badly.
enum class NetworkFault { Refused, SilentServer, ServerKilled, BoardGone };
}  // namespace

Q_DECLARE_METATYPE(NetworkFault)

class TrvctlTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    QTemporaryDir files;
    std::unique_ptr<sim::PtyBoard> board;  // COM3
    QString goodFile;

private slots:
    void initTestCase() {
        home = std::make_unique<test::TempDataHome>();
        board = std::make_unique<sim::PtyBoard>(boardOn(3));
        QVERIFY(board->start());
        // COM10 leads to an adapter that is unplugged.
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/ttyUSB7"), portLinkPath(10)));
        goodFile = files.filePath(QStringLiteral("bon.hex"));
        QVERIFY(imagefile::writeFile(goodFile, bytesOf(sim::presetImage(sim::Preset::Signed)))
                    .isEmpty());
    }
    void cleanupTestCase() {
        board.reset();
        home.reset();
    }
    void init() { board->setFaults({}); }

    // Everything refused before a port is opened gives 2 and a French reason.
    void usage_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        // clang-format off
        QTest::newRow("no command") << QStringList{} << "commande manquante";
        QTest::newRow("unknown command") << QStringList{"lire"} << "commande inconnue : lire";
        QTest::newRow("read without port") << QStringList{"read"} << "l'option -p N est requise";
        QTest::newRow("bad port") << QStringList{"read", "-p", "3,x"} << "numéro de port invalide";
        QTest::newRow("port 0") << QStringList{"ping", "-p", "0"} << "numéro de port invalide";
        QTest::newRow("port twice") << QStringList{"read", "-p", "3,3"} << "le port 3 est donné deux fois";
        QTest::newRow("unknown option") << QStringList{"read", "-p", "3", "--vite"} << "option inconnue : --vite";
        QTest::newRow("no-verify on read") << QStringList{"read", "-p", "3", "--no-verify"} << "--no-verify ne s'applique pas";
        QTest::newRow("write without file") << QStringList{"write", "-p", "3"} << "un fichier image attendu";
        QTest::newRow("show both") << QStringList{"show", "a.hex", "-p", "3"} << "un fichier image ou -p N attendu";
        QTest::newRow("set nothing") << QStringList{"set", "-p", "3"} << "réglage nom=valeur attendu";
        QTest::newRow("unknown setting") << QStringList{"set", "-p", "3", "vitesse=3"} << "réglage inconnu : vitesse";
        QTest::newRow("not an assignment") << QStringList{"set", "-p", "3", "depart"} << "nom=valeur";
        QTest::newRow("setting twice") << QStringList{"set", "-p", "3", "fin=5", "fin=6"} << "donné deux fois";
        QTest::newRow("start too long") << QStringList{"set", "-p", "3", "depart=12345678901"} << "hors limites pour depart";
        QTest::newRow("step over 4 digits") << QStringList{"set", "-p", "3", "pas=12345"} << "hors limites pour pas";
        QTest::newRow("three decimals") << QStringList{"set", "-p", "3", "fin=1,234"} << "hors limites pour fin";
        QTest::newRow("letters") << QStringList{"set", "-p", "3", "relais1=1A"} << "valeur non numérique pour relais1 : « 1a »";
        QTest::newRow("start not a number") << QStringList{"set", "-p", "3", "depart=1a"} << "valeur non numérique pour depart : « 1a » (attendu : jusqu'à 10 chiffres";
        QTest::newRow("period not a number") << QStringList{"set", "-p", "3", "periode=dix"} << "valeur non numérique pour periode : « dix » (attendu : 1 à 128 secondes)";
        QTest::newRow("period out of range") << QStringList{"set", "-p", "3", "periode=200"} << "valeur hors limites pour periode : « 200 » (attendu : 1 à 128 secondes)";
        QTest::newRow("threshold not a number") << QStringList{"set", "-p", "3", "seuil=-1"} << "valeur non numérique pour seuil";
        QTest::newRow("ping count not a number") << QStringList{"ping", "-p", "3", "-n", "abc"} << "valeur non numérique pour -n : « abc » (attendu : 1 à 1000)";
        QTest::newRow("ping count too large") << QStringList{"ping", "-p", "3", "-n", "1001"} << "valeur hors limites pour -n : « 1001 » (attendu : 1 à 1000)";
        QTest::newRow("read into a folder") << QStringList{"read", "-p", "3", "-o", "@dir"} << "Impossible d'écrire @dir : c'est un dossier";
        QTest::newRow("read into a missing folder") << QStringList{"read", "-p", "3", "-o", "/nonexistent/a.hex"} << "Impossible d'écrire /nonexistent/a.hex : fichier ou dossier introuvable";
        QTest::newRow("read, second port's file") << QStringList{"read", "-p", "3,4", "-o", "@dir/sub"} << "Impossible d'écrire @dir/sub_COM3 : c'est un dossier";
        QTest::newRow("write, trace into a folder") << QStringList{"write", "-p", "3", "@", "--trace", "@dir"} << "Impossible d'écrire @dir : c'est un dossier";
        QTest::newRow("set, trace into a missing folder") << QStringList{"set", "-p", "3", "seuil=2", "--trace", "/nonexistent/t.txt"} << "Impossible d'écrire /nonexistent/t.txt : fichier ou dossier introuvable";
        QTest::newRow("period 129") << QStringList{"set", "-p", "3", "periode=129"} << "hors limites pour periode";
        QTest::newRow("period 0") << QStringList{"set", "-p", "3", "periode=0"} << "hors limites pour periode";
        QTest::newRow("threshold 16") << QStringList{"set", "-p", "3", "seuil=16"} << "hors limites pour seuil";
        QTest::newRow("20 % only from a board") << QStringList{"set", "-p", "3", "luminosite=20"} << "hors limites pour luminosite";
        QTest::newRow("colour") << QStringList{"set", "-p", "3", "couleur6=rouge"} << "réglage inconnu : couleur6";
        QTest::newRow("colour name") << QStringList{"set", "-p", "3", "couleur2=bleu"} << "hors limites pour couleur2";
        QTest::newRow("one decimal") << QStringList{"set", "-p", "3", "depart=12,5"} << "depart=12,5 : écrivez 12,05 ou 12,50 (une décimale seule est ambiguë)";
        QTest::newRow("one decimal after a dot") << QStringList{"set", "-p", "3", "fin=50", "pas=3.5"} << "pas=3.5 : écrivez 3.05 ou 3.50";
        QTest::newRow("ping count") << QStringList{"ping", "-p", "3", "-n", "0"} << "hors limites pour -n";
        QTest::newRow("trace without file") << QStringList{"ping", "-p", "3", "--trace"} << "l'option --trace demande une valeur";
        QTest::newRow("trace twice") << QStringList{"--trace", "a", "ping", "-p", "3", "--trace", "b"} << "l'option --trace est donnée deux fois";
        QTest::newRow("trace to a folder that does not exist") << QStringList{"show", "@", "--trace", "/nonexistent/t.txt"} << "Impossible d'écrire /nonexistent/t.txt : fichier ou dossier introuvable";
        QTest::newRow("help on an unknown command") << QStringList{"help", "lire"} << "commande inconnue : lire";
        QTest::newRow("diff one side") << QStringList{"diff", "a.hex"} << "diff compare deux images";
        QTest::newRow("diff two lists") << QStringList{"diff", "-p", "3,4", "-p", "5,6"} << "une liste de ports d'un seul côté";
        QTest::newRow("missing file") << QStringList{"write", "-p", "3", "/nonexistent/a.hex"} << "a.hex";
        QTest::newRow("show missing file") << QStringList{"show", "/nonexistent/b.bin"} << "b.bin";
        // clang-format on
    }
    void usage() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        const QString dir = files.filePath(QStringLiteral("dossier"));
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/sub_COM3")));
        arguments.replaceInStrings(QStringLiteral("@dir"), dir);
        arguments.replaceInStrings(QStringLiteral("@"), goodFile);
        reason.replace(QStringLiteral("@dir"), dir);
        board->clearReceived();
        const Run r = trvctl(arguments);
        QCOMPARE(r.status, int(kUsage));
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        // A file the run cannot write stops it before it starts.
        QCOMPARE(r.out, QString());
        QTest::qWait(50);
        QCOMPARE(board->received(), QByteArray());  // nothing reached the board
    }

    void settingValues_data() {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("integer");
        QTest::addColumn<QString>("decimals");
        QTest::newRow("comma") << "depart=12,00"
                               << "12"
                               << "00";
        QTest::newRow("no decimals") << "depart=50"
                                     << "50"
                                     << "00";
        QTest::newRow("hundredths") << "depart=7,05"
                                    << "7"
                                    << "05";
        QTest::newRow("dot") << "depart=7.25"
                             << "7"
                             << "25";
    }
    void settingValues() {
        QFETCH(QString, assignment);
        QFETCH(QString, integer);
        QFETCH(QString, decimals);
        QString error;
        const auto c =
            parseSettings({assignment, QStringLiteral("luminosite=Capteur"),
                           QStringLiteral("couleur5=vert"), QStringLiteral("polrel2=oui")},
                          &error);
        QVERIFY2(c, qPrintable(error));
        QCOMPARE(c->counter.values[0]->integer, integer);
        QCOMPARE(c->counter.values[0]->decimals, decimals);
        QVERIFY(!c->counter.values[1]);
        QCOMPARE(c->luminosity.mode, std::optional(0));
        QCOMPARE(c->counter.colours[4], std::optional(counter::ColourCode::Green));
        QCOMPARE(c->counter.polrel2, std::optional(true));
        QVERIFY(c->anyCounter && c->anyLuminosity && !c->counterComplete);
    }

    // -p reads one way wherever it stands: after a command or on either side of diff.
    void portLists_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<int>>("ports");  // diff: the left side's, then the right's
        QTest::addColumn<QString>("error");
        const QList<int> none;
        // clang-format off
        QTest::newRow("one") << QStringList{"read", "-p", "3"} << QList<int>{3} << "";
        QTest::newRow("three, in the order given") << QStringList{"ping", "--port", "5,3,4"} << QList<int>{5, 3, 4} << "";
        QTest::newRow("blanks around numbers") << QStringList{"read", "-p", " 7 , 255"} << QList<int>{7, 255} << "";
        QTest::newRow("diff, both sides") << QStringList{"diff", "-p", "3", "--port", "4,5"} << QList<int>{3, 4, 5} << "";
        QTest::newRow("diff, right side") << QStringList{"diff", "a.hex", "-p", "9"} << QList<int>{9} << "";
        QTest::newRow("a range") << QStringList{"read", "-p", "1-3"} << QList<int>{1, 2, 3} << "";
        QTest::newRow("a number and a range") << QStringList{"ping", "-p", "1,4-6"} << QList<int>{1, 4, 5, 6} << "";
        QTest::newRow("a range of one") << QStringList{"read", "-p", "7-7"} << QList<int>{7} << "";
        QTest::newRow("all: every linked port") << QStringList{"show", "-p", "all"} << QList<int>{3, 10} << "";
        QTest::newRow("diff, all on one side") << QStringList{"diff", "a.hex", "-p", "all"} << QList<int>{3, 10} << "";
        QTest::newRow("reversed range") << QStringList{"read", "-p", "3-1"} << none << "plage de ports à l'envers : « 3-1 »";
        QTest::newRow("range overlapping") << QStringList{"read", "-p", "1-3,2"} << none << "le port 2 est donné deux fois";
        QTest::newRow("open range") << QStringList{"read", "-p", "3-"} << none << "numéro de port invalide : « 3- » (attendu : 1 à 255)";
        QTest::newRow("range past 255") << QStringList{"read", "-p", "250-256"} << none << "numéro de port invalide : « 250-256 » (attendu : 1 à 255)";
        QTest::newRow("two dashes") << QStringList{"read", "-p", "1-2-3"} << none << "numéro de port invalide : « 1-2-3 » (attendu : 1 à 255)";
        QTest::newRow("no list") << QStringList{"read", "-p"} << none << "l'option -p demande une valeur";
        QTest::newRow("diff, no list") << QStringList{"diff", "a.hex", "--port"} << none << "l'option --port demande une valeur";
        QTest::newRow("empty item") << QStringList{"read", "-p", "3,,4"} << none << "numéro de port invalide : «  » (attendu : 1 à 255)";
        QTest::newRow("256") << QStringList{"read", "-p", "256"} << none << "numéro de port invalide : « 256 » (attendu : 1 à 255)";
        QTest::newRow("negative") << QStringList{"read", "-p", "-1"} << none << "numéro de port invalide : « -1 » (attendu : 1 à 255)";
        QTest::newRow("semicolon") << QStringList{"show", "-p", "3;4"} << none << "numéro de port invalide : « 3;4 » (attendu : 1 à 255)";
        QTest::newRow("diff, a port twice") << QStringList{"diff", "b.hex", "-p", "4,4"} << none << "le port 4 est donné deux fois";
        QTest::newRow("option twice") << QStringList{"read", "-p", "3", "-p", "4"} << none << "l'option -p est donnée deux fois";
        // clang-format on
    }
    void portLists() {
        QFETCH(QStringList, arguments);
        QFETCH(QList<int>, ports);
        QFETCH(QString, error);
        const Parsed p = parse(arguments);
        QCOMPARE(p.error, error);
        if (!error.isEmpty()) return;
        const Invocation& inv = *p.invocation;
        QList<int> numbers;
        for (const PortChoice& c :
             inv.command == Command::Diff ? inv.left.ports + inv.right.ports : inv.ports) {
            QVERIFY(!c.address);
            numbers << c.number;
        }
        QCOMPARE(numbers, ports);
    }

    // Addresses stand among COM numbers in -p; they are named by their address, in the order
    // given. "all" takes the ports associated with an address too.
    void addressesInPortLists_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("names");  // empty: refused
        QTest::addColumn<QString>("error");
        // clang-format off
        QTest::newRow("mixed") << "3,rfc2217://10.0.0.5:4001,TCP://h:5" << QStringList{"COM3", "rfc2217://10.0.0.5:4001", "tcp://h:5"} << "";
        QTest::newRow("IPv6 and a range") << "tcp://[::1]:7,1-2" << QStringList{"tcp://[::1]:7", "COM1", "COM2"} << "";
        QTest::newRow("all with an address file") << "all" << QStringList{"COM3", "COM10", "COM12"} << "";
        QTest::newRow("one server, two spellings") << "tcp://h:5,TCP://H:5" << QStringList{} << "l'adresse tcp://H:5 est donnée deux fois";
        QTest::newRow("one address twice") << "tcp://h:5, tcp://h:5" << QStringList{} << "l'adresse tcp://h:5 est donnée deux fois";
        QTest::newRow("bad port") << "3,rfc2217://h:65536" << QStringList{} << "rfc2217://h:65536 : le port doit être un nombre de 1 à 65535.";
        QTest::newRow("unknown scheme") << "ssh://h:22" << QStringList{} << "ssh://h:22 : protocole inconnu, écrivez rfc2217://hôte:port ou tcp://hôte:port.";
        // clang-format on
    }
    void addressesInPortLists() {
        QFETCH(QString, list);
        QFETCH(QStringList, names);
        QFETCH(QString, error);
        QCOMPARE(assignPort(portsFolder(), 12, QStringLiteral("tcp://h:5")), std::nullopt);
        const Parsed p = parse({QStringLiteral("read"), QStringLiteral("-p"), list});
        QFile::remove(portAddressPath(portsFolder(), 12));
        QCOMPARE(p.error, error);
        if (!error.isEmpty()) return;
        QStringList got;
        for (const PortChoice& c : p.invocation->ports) got << c.name();
        QCOMPARE(got, names);
    }

    // A port that leads to an address never falls back to a device, and the results name an
    // address given directly; COM numbers read as before beside it.
    void networkTargets_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("detail");  // the start of the line under it, if any
        // clang-format off
        QTest::newRow("ports, an association") << QStringList{"ports"} << 0 << "  COM10 -> /nonexistent/ttyUSB7 (absent)" << "  COM12 -> réseau rfc2217://127.0.0.1:4001";
        QTest::newRow("ports, an address before a link") << QStringList{"ports"} << 0 << "  COM12 -> réseau rfc2217://127.0.0.1:4001" << "  COM13 -> réseau, adresse invalide (@ports/com13.adresse : ";
        QTest::newRow("an address given") << QStringList{"read", "-p", "tcp://127.0.0.1:9"} << 3 << "tcp://127.0.0.1:9 : le port ne s'ouvre pas" << "  ";
        QTest::newRow("a COM number beside an address") << QStringList{"read", "-p", "tcp://127.0.0.1:9,3"} << 3 << "COM3 : image lue" << "";
        QTest::newRow("associated port") << QStringList{"read", "-p", "12"} << 3 << "COM12 : le port ne s'ouvre pas" << "  ";
        QTest::newRow("broken address file, no fallback") << QStringList{"read", "-p", "13"} << 3 << "COM13 : le port ne s'ouvre pas" << "  Erreur du système sur COM13 : @ports/com13.adresse : ";
        // clang-format on
    }
    void networkTargets() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, detail);
        for (QString* t : {&line, &detail}) t->replace(QStringLiteral("@ports"), portsFolder());
        QCOMPARE(assignPort(portsFolder(), 12, QStringLiteral("rfc2217://127.0.0.1:4001")),
                 std::nullopt);
        {
            QFile broken(portAddressPath(portsFolder(), 13));
            QVERIFY(broken.open(QIODevice::WriteOnly));
            broken.write("rfc2217://\n");
        }
        // COM13 also has a link to the board: the broken address must not fall back to it.
        QVERIFY(QFile::link(deviceOf(3), portLinkPath(13)));
        const sim::Eeprom before = board->eeprom();
        const Run r = trvctl(arguments);
        QFile::remove(portAddressPath(portsFolder(), 12));
        QFile::remove(portAddressPath(portsFolder(), 13));
        QFile::remove(portLinkPath(13));
        QCOMPARE(r.status, status);
        const QStringList lines = r.out.split(u'\n');
        QVERIFY2(lines.contains(line), qPrintable(r.out));
        if (!detail.isEmpty())
            QVERIFY2(lines.value(lines.indexOf(line) + 1).startsWith(detail), qPrintable(r.out));
        QCOMPARE(board->eeprom(), before);
        if (arguments.contains(QStringLiteral("tcp://127.0.0.1:9"))) {
            // In JSON the port given as an address is that address.
            const Run json = trvctl(arguments << QStringLiteral("--json"));
            const QJsonArray a = QJsonDocument::fromJson(json.out.toUtf8()).array();
            QCOMPARE(a.first().toObject().value(QStringLiteral("port")).toString(),
                     QStringLiteral("tcp://127.0.0.1:9"));
            QCOMPARE(a.first().toObject().value(QStringLiteral("source")).toString(),
                     QStringLiteral("tcp://127.0.0.1:9"));
        }
    }

    // The same commands through ser2net as on a local port, for both kinds of address:
    // read, write (an image holding 0xFF bytes), set and diff.
    void commandsThroughAServer_data() {
        QTest::addColumn<NetworkAddress::Kind>("kind");
        QTest::newRow("rfc2217") << NetworkAddress::Kind::Rfc2217;
        QTest::newRow("tcp") << NetworkAddress::Kind::Tcp;
    }
    void commandsThroughAServer() {
        NEED_SER2NET();
        QFETCH(NetworkAddress::Kind, kind);
        sim::PtyBoard served(boardOn(20));
        QVERIFY2(served.start(), qPrintable(served.errorString()));
        test::Ser2net server({served.devicePath()});
        QVERIFY2(server.start(), qPrintable(server.error()));
        const QString address = server.address(0, kind).text();

        const QString saved = files.filePath(QStringLiteral("reseau.hex"));
        Run r = trvctl(
            {QStringLiteral("read"), QStringLiteral("-p"), address, QStringLiteral("-o"), saved});
        QCOMPARE(r.status, int(kOk));
        QCOMPARE(r.out, address + QStringLiteral(" : image lue, écrite dans %1\n").arg(saved));
        QCOMPARE(imagefile::readFile(saved).bytes, std::optional(bytesOf(served.eeprom())));

        const ImageBytes image = servedImage(kind == NetworkAddress::Kind::Tcp ? 3 : 5);
        const QString file = files.filePath(QStringLiteral("reseau-ff.bin"));
        QVERIFY(imagefile::writeFile(file, image).isEmpty());
        r = trvctl({QStringLiteral("write"), QStringLiteral("-p"), address, file});
        QCOMPARE(r.status, int(kOk));
        QCOMPARE(r.out, address + QStringLiteral(" : image écrite et vérifiée\n"));
        QCOMPARE(bytesOf(served.eeprom()), image);

        served.setEeprom(sim::presetImage(sim::Preset::Signed));
        r = trvctl(
            {QStringLiteral("set"), QStringLiteral("-p"), address, QStringLiteral("depart=12,00")});
        QCOMPARE(r.status, int(kOk));
        QCOMPARE(r.out, address + QStringLiteral(" : réglages programmés et vérifiés\n"));
        QCOMPARE(counter::decodeField(cellTexts(bytesOf(served.eeprom())), 0)->integer,
                 QStringLiteral("0000000012"));

        r = trvctl({QStringLiteral("diff"), saved, QStringLiteral("-p"), address});
        QCOMPARE(r.status, int(kBoardFailed));
        QVERIFY2(r.out.contains(QStringLiteral("Départ : reseau.hex ")) &&
                     r.out.contains(address + QStringLiteral(" 12,00")),
                 qPrintable(r.out));
    }

    // Three boards behind one server, all at once: each gets the file, then each one's own
    // image lands in the file named after its address.
    void threeBoardsBehindOneServer_data() {
        using K = NetworkAddress::Kind;
        QTest::addColumn<QList<K>>("kinds");
        QTest::newRow("rfc2217") << QList<K>{K::Rfc2217, K::Rfc2217, K::Rfc2217};
        QTest::newRow("tcp") << QList<K>{K::Tcp, K::Tcp, K::Tcp};
        QTest::newRow("both kinds") << QList<K>{K::Tcp, K::Rfc2217, K::Tcp};
    }
    void threeBoardsBehindOneServer() {
        NEED_SER2NET();
        QFETCH(QList<NetworkAddress::Kind>, kinds);
        std::vector<std::unique_ptr<sim::PtyBoard>> boards;
        QStringList devices;
        for (int i = 0; i < 3; ++i) {
            boards.push_back(std::make_unique<sim::PtyBoard>(boardOn(21 + i, sim::Preset::Blank)));
            QVERIFY2(boards.back()->start(), qPrintable(boards.back()->errorString()));
            devices << boards.back()->devicePath();
        }
        test::Ser2net server(devices);
        QVERIFY2(server.start(), qPrintable(server.error()));
        QStringList addresses;
        for (int i = 0; i < 3; ++i) addresses << server.address(i, kinds[i]).text();

        const ImageBytes image = servedImage(1);
        const QString file = files.filePath(QStringLiteral("trois.bin"));
        QVERIFY(imagefile::writeFile(file, image).isEmpty());
        Run r = trvctl({QStringLiteral("write"), QStringLiteral("-p"), addresses.join(u','), file});
        QCOMPARE(r.status, int(kOk));
        QStringList lines;
        for (const QString& a : addresses)
            lines << a + QStringLiteral(" : image écrite et vérifiée");
        QCOMPARE(r.out, lines.join(u'\n') + u'\n');
        for (const auto& b : boards) QCOMPARE(bytesOf(b->eeprom()), image);

        for (int i = 0; i < 3; ++i)
            boards[std::size_t(i)]->setEeprom(eepromOf(servedImage(10 + i)));
        const QString out = files.filePath(QStringLiteral("trois.hex"));
        r = trvctl({QStringLiteral("read"), QStringLiteral("-p"), addresses.join(u','),
                    QStringLiteral("-o"), out});
        QCOMPARE(r.status, int(kOk));
        for (int i = 0; i < 3; ++i) {
            QString name = addresses[i];
            name.replace(QStringLiteral("://"), QStringLiteral("-")).replace(u':', u'-');
            QCOMPARE(
                imagefile::readFile(files.filePath(QStringLiteral("trois_%1.hex").arg(name))).bytes,
                std::optional(servedImage(10 + i)));
        }
    }

    // Servers that do not open, or that go away during the board's read: each says which
    // address and why, and nothing is written after a read that was cut.
    void networkFailures_data() {
        using K = NetworkAddress::Kind;
        using F = NetworkFault;
        QTest::addColumn<QString>("command");  // "read", "write" or "set"
        QTest::addColumn<K>("kind");
        QTest::addColumn<F>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");    // @a: the address, @e: the server's host:port
        QTest::addColumn<QString>("detail");  // the line under it
        // clang-format off
        QTest::newRow("refused, rfc2217") << "read" << K::Rfc2217 << F::Refused << int(kPortClosed) << "@a : le port ne s'ouvre pas" << "  Connexion refusée par @e";
        QTest::newRow("refused, tcp, set") << "set" << K::Tcp << F::Refused << int(kPortClosed) << "@a : le port ne s'ouvre pas" << "  Connexion refusée par @e";
        QTest::newRow("silent server, rfc2217") << "read" << K::Rfc2217 << F::SilentServer << int(kPortClosed) << "@a : le port ne s'ouvre pas" << "  Le serveur @e ne répond pas.";
        QTest::newRow("silent server, rfc2217, write") << "write" << K::Rfc2217 << F::SilentServer << int(kPortClosed) << "@a : le port ne s'ouvre pas" << "  Le serveur @e ne répond pas.";
        QTest::newRow("silent server, tcp") << "read" << K::Tcp << F::SilentServer << int(kBoardFailed) << "@a : la carte ne répond pas" << "";
        QTest::newRow("ser2net killed, read") << "read" << K::Rfc2217 << F::ServerKilled << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("ser2net killed, tcp, read") << "read" << K::Tcp << F::ServerKilled << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("ser2net killed, set") << "set" << K::Rfc2217 << F::ServerKilled << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("ser2net killed, write") << "write" << K::Tcp << F::ServerKilled << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("board gone, read") << "read" << K::Rfc2217 << F::BoardGone << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("board gone, set") << "set" << K::Tcp << F::BoardGone << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        QTest::newRow("board gone, write") << "write" << K::Rfc2217 << F::BoardGone << int(kPortClosed) << "@a : le port @a a été perdu" << "  Le serveur @e a fermé la connexion";
        // clang-format on
    }
    void networkFailures() {
        NEED_SER2NET();
        QFETCH(QString, command);
        QFETCH(NetworkAddress::Kind, kind);
        QFETCH(NetworkFault, fault);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, detail);
        sim::PtyBoard served(boardOn(24));
        QVERIFY2(served.start(), qPrintable(served.errorString()));
        const sim::Eeprom before = served.eeprom();
        test::Ser2net server({served.devicePath()});
        QTcpServer silent;
        NetworkAddress address;
        if (fault == NetworkFault::Refused) {
            address = {kind, QStringLiteral("127.0.0.1"), test::freeLocalPort()};
        } else if (fault == NetworkFault::SilentServer) {
            // The system accepts the connection; the server never says a word.
            QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
            address = {kind, QStringLiteral("127.0.0.1"), silent.serverPort()};
        } else {
            QVERIFY2(server.start(), qPrintable(server.error()));
            address = server.address(0, kind);
        }
        if (fault == NetworkFault::ServerKilled) {
            // A board that takes its time over each frame: the read is still going when the
            // server is killed, however quick the machine.
            sim::Faults f;
            f.frameDelayMs = 3;
            served.setFaults(f);
        }
        if (fault == NetworkFault::BoardGone) {
            // Gone some frames into the board's read, for longer than the run.
            sim::Faults f;
            f.vanishAfter = 60;
            f.vanishMs = 60000;
            served.setFaults(f);
        }
        const qint64 serverPid = server.pid();
        std::atomic<bool> done{false};
        std::thread killer([&] {
            if (fault != NetworkFault::ServerKilled) return;
            while (!done && served.received().count("X1X") < 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (!done) ::kill(pid_t(serverPid), SIGKILL);
        });
        QStringList arguments{command, QStringLiteral("-p"), address.text()};
        if (command == u"write") arguments << goodFile;
        if (command == u"set") arguments << QStringLiteral("depart=12,00");
        const Run r = trvctl(arguments);
        done = true;
        killer.join();
        server.kill();

        for (QString* t : {&line, &detail})
            t->replace(QStringLiteral("@a"), address.text())
                .replace(QStringLiteral("@e"), address.endpoint());
        QCOMPARE(r.status, status);
        const QStringList lines = r.out.split(u'\n');
        QVERIFY2(lines.contains(line), qPrintable(r.out));
        if (!detail.isEmpty()) QCOMPARE(lines.value(lines.indexOf(line) + 1), detail);
        // Whatever the board got stops with the read: no write frame followed it.
        QCOMPARE(served.received().count("WWW"), 0);
        QCOMPARE(served.eeprom(), before);
        if (fault == NetworkFault::ServerKilled) QVERIFY(served.received().contains("X1X"));
    }

    // Board outcomes: a silent board and a verification that fails give 1, a port that does
    // not open 3; the worst status of several ports wins.
    void boardStatuses_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("detail");  // a line under it, if any
        // clang-format off
        QTest::newRow("read, silent board") << QStringList{"read", "-p", "3"} << sim::Faults{true, 0, 0, false, false} << 1 << "COM3 : la carte ne répond pas" << "";
        QTest::newRow("read, garbage") << QStringList{"read", "-p", "3"} << sim::Faults{false, 0, 0, true, false} << 1 << "COM3 : la carte a répondu des caractères qui ne sont pas des octets : liaison perturbée ? (adresse 0x00 : « G0 »)" << "";
        QTest::newRow("read, port closed") << QStringList{"read", "-p", "9"} << sim::Faults{} << 3 << "COM9 : le port ne s'ouvre pas" << "  Aucun appareil n'est associé à COM9 : créez le lien @ports/com9 vers le périphérique";
        QTest::newRow("read, dangling link") << QStringList{"read", "-p", "10"} << sim::Faults{} << 3 << "COM10 : le port ne s'ouvre pas" << "  COM10 mène à /nonexistent/ttyUSB7, qui est absent (adaptateur débranché ?).";
        QTest::newRow("read, worst of two") << QStringList{"read", "-p", "3,9"} << sim::Faults{true, 0, 0, false, false} << 3 << "COM3 : la carte ne répond pas" << "";
        QTest::newRow("write, silent board") << QStringList{"write", "-p", "3", "@"} << sim::Faults{true, 0, 0, false, false} << 1 << "COM3 : la carte ne répond pas ; rien n'a été écrit" << "";
        QTest::newRow("write, extra reply bytes, board holds it") << QStringList{"write", "-p", "3", "@"} << sim::Faults{false, 0, 3, false, false} << 1 << "COM3 : la carte n'a pas acquitté l'écriture" << "  La carte contient pourtant l'image envoyée (relue et vérifiée).";
        QTest::newRow("write, one reply byte short") << QStringList{"write", "-p", "3", "@"} << sim::Faults{false, 1, 0, false, false} << 1 << "COM3 : la carte n'a pas acquitté l'écriture" << "";
        QTest::newRow("set, silent board") << QStringList{"set", "-p", "3", "fin=5"} << sim::Faults{true, 0, 0, false, false} << 1 << "COM3 : la carte ne répond pas ; rien n'a été programmé" << "";
        QTest::newRow("set, garbage") << QStringList{"set", "-p", "3", "fin=5"} << sim::Faults{false, 0, 0, true, false} << 1 << "COM3 : la carte a répondu des caractères qui ne sont pas des octets : liaison perturbée ? ; rien n'a été programmé" << "";
        QTest::newRow("ping, silent") << QStringList{"ping", "-p", "3", "-n", "2"} << sim::Faults{true, 0, 0, false, false} << 1 << "COM3 : Aucune réponse ; Réponses : 0 / 2 ; Aller-retour : —" << "";
        QTest::newRow("diff, silent") << QStringList{"diff", "@", "-p", "3"} << sim::Faults{true, 0, 0, false, false} << 1 << "COM3 : la carte ne répond pas" << "";
        QTest::newRow("diff, one side does not open") << QStringList{"diff", "@", "-p", "3,9"} << sim::Faults{} << 3 << "COM9 : le port ne s'ouvre pas" << "  Aucun appareil n'est associé à COM9 : créez le lien @ports/com9 vers le périphérique";
        QTest::newRow("unlinked port, what to do") << QStringList{"read", "-p", "9"} << sim::Faults{} << 3 << "  (ln -s /dev/ttyUSB0 @ports/com9) ; « trvctl ports » montre les liens et les périphériques série." << "";
        QTest::newRow("diff, the readable side") << QStringList{"diff", "@", "-p", "3,9"} << sim::Faults{} << 3 << "bon.hex / COM3 : identiques" << "COM9 : le port ne s'ouvre pas";
        QTest::newRow("ports, the folder") << QStringList{"ports"} << sim::Faults{} << 0 << "Ports COMn (liens dans @ports) :" << "  COM3 -> @dev";
        QTest::newRow("ports, by number") << QStringList{"ports"} << sim::Faults{} << 0 << "  COM3 -> @dev" << "  COM10 -> /nonexistent/ttyUSB7 (absent)";
        QTest::newRow("detect") << QStringList{"detect"} << sim::Faults{} << 0 << "COM3 : carte" << "COM4 : absent";
        QTest::newRow("detect, silent board") << QStringList{"detect"} << sim::Faults{true, 0, 0, false, false} << 0 << "COM3 : libre" << "COM4 : absent";
        QTest::newRow("detect, dangling link") << QStringList{"detect"} << sim::Faults{} << 0 << "COM10 : absent" << "COM11 : absent";
        // clang-format on
    }
    void boardStatuses() {
        QFETCH(QStringList, arguments);
        QFETCH(sim::Faults, faults);
        QFETCH(int, status);
        QFETCH(QString, line);
        QFETCH(QString, detail);
        arguments.replaceInStrings(QStringLiteral("@"), goodFile);
        for (QString* t : {&line, &detail})
            t->replace(QStringLiteral("@ports"), portsFolder())
                .replace(QStringLiteral("@dev"), deviceOf(3));
        const sim::Eeprom before = board->eeprom();
        board->setFaults(faults);
        const Run r = trvctl(arguments);
        QCOMPARE(r.status, status);
        const QStringList lines = r.out.split(u'\n');
        QVERIFY2(lines.contains(line), qPrintable(r.out));
        if (!detail.isEmpty())
            QVERIFY2(lines.value(lines.indexOf(line) + 1).startsWith(detail), qPrintable(r.out));
        QCOMPARE(board->eeprom(), before);
    }

    // ping's forecast under its verdict, from the round trips it measured, and the whole read
    // that follows on the same board doing as it said.
    void pingForecast_data() {
        QTest::addColumn<int>("frameDelayMs");
        QTest::addColumn<QString>("forecast");  // how the line under the verdict begins
        QTest::addColumn<int>("readStatus");
        QTest::newRow("quick board") << 0 << "  Lecture et écriture complètes possibles : " << 0;
        QTest::newRow("3 ms a frame") << 3 << "  Lecture et écriture complètes possibles : " << 0;
        QTest::newRow("20 ms a frame")
            << 20 << "  Liaison trop lente pour une lecture complète : " << int(kBoardFailed);
    }
    void pingForecast() {
        QFETCH(int, frameDelayMs);
        QFETCH(QString, forecast);
        QFETCH(int, readStatus);
        sim::Faults faults;
        faults.frameDelayMs = frameDelayMs;
        board->setFaults(faults);
        const Run ping = trvctl({"ping", "-p", "3", "-n", "5"});
        QCOMPARE(ping.status, int(kOk));
        const QStringList lines = ping.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("COM3 : Liaison bonne ; ")),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(forecast), qPrintable(lines[1]));
        QCOMPARE(trvctl({"read", "-p", "3"}).status, readStatus);
        // The answers the read gave up on are still on their way: they go before the next test.
        if (readStatus != kOk) QTest::qWait(1500);
    }

    // Every image a command moves is kept in the history as the exchange reports it, as the
    // windows keep theirs: the board's image before a write, what it took, and the read-back.
    void historyOfARun_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("records");  // oldest first: direction, then which image
        // clang-format off
        QTest::newRow("read") << QStringList{"read", "-p", "3"} << QStringList{"lue before"};
        QTest::newRow("write") << QStringList{"write", "-p", "3", "@"} << QStringList{"lue avant programmation before", "écrite after", "vérification after"};
        QTest::newRow("write, no read-back") << QStringList{"write", "-p", "3", "@", "--no-verify"} << QStringList{"lue avant programmation before", "écrite after"};
        QTest::newRow("set") << QStringList{"set", "-p", "3", "seuil=9"} << QStringList{"lue avant programmation before", "écrite after", "vérification after"};
        QTest::newRow("show keeps nothing") << QStringList{"show", "-p", "3"} << QStringList{};
        // clang-format on
    }
    void historyOfARun() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, records);
        arguments.replaceInStrings(QStringLiteral("@"), goodFile);
        const QString folder = history::defaultFolder();
        QVERIFY(QDir(folder).removeRecursively());
        board->setEeprom(sim::presetImage(sim::Preset::Blank));
        const ImageBytes before = bytesOf(board->eeprom());
        QCOMPARE(trvctl(arguments).status, int(kOk));
        const ImageBytes after = bytesOf(board->eeprom());
        QList<history::Entry> entries = history::ImageHistory(folder).entries();
        std::reverse(entries.begin(), entries.end());
        QStringList found;
        for (const history::Entry& e : entries) {
            QCOMPARE(e.port, 3);
            QCOMPARE(e.window, QStringLiteral("trvctl"));
            const auto bytes = imagefile::readFile(e.path).bytes;
            found << history::directionText(e.direction) + u' ' +
                         (bytes == before  ? QStringLiteral("before")
                          : bytes == after ? QStringLiteral("after")
                                           : QStringLiteral("other"));
        }
        QCOMPARE(found, records);
    }

    // --trace writes the traffic monitor's rows, for a run that worked and one that did not.
    void traceOfTheTraffic() {
        const QString path = files.filePath(QStringLiteral("trace.txt"));
        auto lines = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n')
                                               : QStringList();
        };
        QCOMPARE(trvctl({"read", "-p", "3", "--trace", path}).status, int(kOk));
        QStringList l = lines();
        QVERIFY2(
            l[0].startsWith(QStringLiteral("=== ")) &&
                l[0].endsWith(QStringLiteral("COM3 : trvctl read -p 3 — ") +
                              l[0].section(u'—', 1, 1).trimmed() + QStringLiteral(" — image lue")),
            qPrintable(l[0]));
        QCOMPARE(l.filter(QStringLiteral("→ carte  X1X lecture ")).size(), 128);
        const sim::Eeprom image = board->eeprom();
        QVERIFY(l.filter(QStringLiteral("← carte  octet 0x")).size() == 128);
        QVERIFY(l[l.indexOf(l.filter(QStringLiteral("← carte  octet 0x")).front())].contains(
            QStringLiteral("octet 0x%1 lu").arg(QLatin1String(test::hexByte(image[0])))));
        QVERIFY(l.filter(QRegularExpression(QStringLiteral("^!"))).isEmpty());

        board->setFaults({true, 0, 0, false, false});
        QCOMPARE(trvctl({"ping", "-p", "3", "-n", "2", "--trace", path}).status, int(kBoardFailed));
        l = lines();
        QVERIFY2(l[0].endsWith(QStringLiteral("Aucune réponse ; Réponses : 0 / 2 ; "
                                              "Aller-retour : —")),
                 qPrintable(l[0]));
        QCOMPARE(l.filter(QStringLiteral("RRR mise en veille — sans réponse")).size(), 2);
    }

    // --json, field by field: "path=value" lines; "#" counts an array or object, "*" lists an
    // object's keys (so no field comes unannounced). @image is the board's image in hex,
    // @settings every setting it holds. Board 3 holds the signed preset, its start at 10,25
    // when `changed`; a second board on COM4 holds the preset as it is.
    void jsonFields_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("com4");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("fields");
        const sim::Faults none{};
        const sim::Faults silent{true, 0, 0, false, false};
        // clang-format off
        QTest::newRow("show a board") << QStringList{"show", "-p", "3"} << none << false << false << 0 << QStringList{
            "#=1", "0/#=46", "0/source=COM3", "0/port:number=3", "0/statut:number=0", "0/message=COM3 :",
            "0/image=@image", "0=@settings", "0/depart:number=10", "0/fin:number=50",
            "0/relais2:number=7", "0/pas:number=1", "0/fin_max:number=9999", "0/couleur1:string=orange",
            "0/polrel1:bool=false", "0/decompte:bool=false", "0/signature:bool=true",
            "0/periode_s:number=5", "0/seuil:number=4", "0/luminosite:string=100",
            "0/luminosite_pct:number=100", "0/sw3_1:bool=true", "0/sw3_2:bool=false",
            "0/variante:string=trois couleurs"};
        QTest::newRow("show a blank board") << QStringList{"show", "-p", "3"} << none << false << false << 0 << QStringList{
            "@blank", "0/depart:null=null", "0/fin_max:null=null", "0/signature:bool=false",
            "0/couleur1:string=orange", "0/luminosite:string=capteur", "0/luminosite_pct:null=null", "0/seuil:null=null", "0/variante:null=null"};
        QTest::newRow("show a file") << QStringList{"show", "@"} << none << false << false << 0 << QStringList{
            "#=1", "0/#=46", "0/source=@file", "0/port:null=null", "0/statut:number=0",
            "0/message=@file :", "0/image=@image", "0=@settings", "0/depart:number=10"};
        QTest::newRow("show a start with decimals") << QStringList{"show", "-p", "3"} << none << true << false << 0 << QStringList{
            "0/depart:number=10.25", "0/fin:number=50"};
        QTest::newRow("show two boards") << QStringList{"show", "-p", "3-4"} << none << true << true << 0 << QStringList{
            "#=2", "0/source=COM3", "0/depart:number=10.25", "1/source=COM4", "1/port:number=4",
            "1/depart:number=10"};
        QTest::newRow("read") << QStringList{"read", "-p", "3"} << none << true << false << 0 << QStringList{
            "#=1", "0/*=image,message,port,source,statut", "0/source=COM3", "0/port=3", "0/statut=0",
            "0/message=COM3 : image lue", "0/image=@image"};
        QTest::newRow("read into a file") << QStringList{"read", "-p", "3", "-o", "@out"} << none << false << false << 0 << QStringList{
            "0/*=fichier,image,message,port,source,statut", "0/fichier=@out",
            "0/message=COM3 : image lue, écrite dans @out", "0/image=@image"};
        QTest::newRow("read, a port that does not open") << QStringList{"read", "-p", "9"} << none << false << false << 3 << QStringList{
            "#=1", "0/*=cause,message,port,source,statut", "0/source=COM9", "0/port=9", "0/statut=3",
            "0/message=COM9 : le port ne s'ouvre pas"};
        QTest::newRow("read, silent board") << QStringList{"read", "-p", "3"} << silent << false << false << 1 << QStringList{
            "0/*=message,port,source,statut", "0/statut=1", "0/message=COM3 : la carte ne répond pas"};
        QTest::newRow("ping") << QStringList{"ping", "-p", "3", "-n", "3"} << none << false << false << 0 << QStringList{
            "#=1", "0/*=brouillees,envoyees,max_ms,mediane_ms,message,min_ms,port,reponses,source,statut,verdict",
            "0/source=COM3", "0/port=3", "0/statut=0", "0/envoyees:number=3", "0/reponses:number=3",
            "0/brouillees:number=0", "0/min_ms:number=@any", "0/verdict=Liaison bonne"};
        QTest::newRow("ping, silent board") << QStringList{"ping", "-p", "3", "-n", "2"} << silent << false << false << 1 << QStringList{
            "0/*=brouillees,envoyees,message,port,reponses,source,statut,verdict", "0/statut=1",
            "0/envoyees=2", "0/reponses=0", "0/verdict=Aucune réponse",
            "0/message=COM3 : Aucune réponse ; Réponses : 0 / 2 ; Aller-retour : —"};
        QTest::newRow("diff, identical") << QStringList{"diff", "@", "-p", "3"} << none << false << false << 0 << QStringList{
            "#=1", "0/*=differences,droite,gauche,message,port,source,statut", "0/port=3", "0/statut=0",
            "0/source=bon.hex / COM3", "0/gauche=bon.hex", "0/droite=COM3", "0/differences/#=0",
            "0/message=bon.hex / COM3 : identiques"};
        QTest::newRow("diff, one setting apart") << QStringList{"diff", "@", "-p", "3"} << none << true << false << 1 << QStringList{
            "0/statut=1", "0/message=bon.hex / COM3 : 1 différence(s)", "0/differences/#=1",
            "0/differences/0/*=adresses,droite,gauche,libelle,reglage", "0/differences/0/reglage=depart",
            "0/differences/0/libelle=Départ", "0/differences/0/gauche:number=10",
            "0/differences/0/droite:number=10.25", "0/differences/0/adresses/#=1",
            "0/differences/0/adresses/0:number=0"};
        QTest::newRow("diff, two files") << QStringList{"diff", "@", "@changed"} << none << false << false << 1 << QStringList{
            "#=1", "0/source=bon.hex / change.hex", "0/port:null=null", "0/statut=1",
            "0/differences/0/reglage=depart", "0/differences/0/droite:number=10.25"};
        QTest::newRow("diff, a port list") << QStringList{"diff", "@", "-p", "3,4"} << none << true << true << 1 << QStringList{
            "#=2", "0/port=3", "0/statut=1", "0/differences/0/droite=10.25", "1/port=4",
            "1/statut=0", "1/droite=COM4", "1/source=bon.hex / COM4", "1/differences/#=0",
            "1/message=bon.hex / COM4 : identiques"};
        QTest::newRow("diff, two boards") << QStringList{"diff", "-p", "4", "-p", "3"} << none << true << true << 1 << QStringList{
            "#=1", "0/gauche=COM4", "0/droite=COM3", "0/differences/0/gauche=10",
            "0/differences/0/droite=10.25"};
        QTest::newRow("diff, a port that does not open") << QStringList{"diff", "@", "-p", "3,9"} << none << false << false << 3 << QStringList{
            "#=2", "0/statut=0", "0/droite=COM3", "1/*=cause,message,port,source,statut", "1/port=9",
            "1/source=COM9", "1/statut=3", "1/message=COM9 : le port ne s'ouvre pas"};
        QTest::newRow("diff, a silent side") << QStringList{"diff", "-p", "4", "-p", "3"} << silent << false << true << 1 << QStringList{
            "#=1", "0/*=message,port,source,statut", "0/port=3", "0/statut=1",
            "0/message=COM3 : la carte ne répond pas"};
        QTest::newRow("ports") << QStringList{"ports"} << none << false << false << 0 << QStringList{
            "*=liens,peripheriques", "liens/#=2", "liens/0/*=cible,port,present", "liens/0/port=3",
            "liens/0/cible=@dev", "liens/0/present=true", "liens/1/port=10",
            "liens/1/cible=/nonexistent/ttyUSB7", "liens/1/present=false"};
        QTest::newRow("detect") << QStringList{"detect"} << none << false << false << 0 << QStringList{
            "#=14", "0/*=etat,port,source", "0/source=COM1", "0/port=1", "0/etat=absent", "2/port=3", "2/etat=carte",
            "3/etat=absent", "9/port=10", "9/etat=absent", "13/port=14"};
        QTest::newRow("detect, silent board") << QStringList{"detect"} << silent << false << false << 0 << QStringList{
            "2/port=3", "2/etat=libre"};
        // clang-format on
    }
    void jsonFields() {
        QFETCH(QStringList, arguments);
        QFETCH(sim::Faults, faults);
        QFETCH(bool, changed);
        QFETCH(bool, com4);
        QFETCH(int, status);
        QFETCH(QStringList, fields);
        // "@blank" first: board 3 holds a blank EEPROM.
        const bool blank = fields.front() == QLatin1String("@blank");
        if (blank) fields.removeFirst();
        sim::Eeprom image = sim::presetImage(blank ? sim::Preset::Blank : sim::Preset::Signed);
        if (changed) image[0] = 0x25;  // the start's decimals
        board->setEeprom(image);
        board->setFaults(faults);
        std::unique_ptr<sim::PtyBoard> second;
        if (com4) {
            second = std::make_unique<sim::PtyBoard>(boardOn(4));
            QVERIFY(second->start());
        }
        const QString out = files.filePath(QStringLiteral("json.hex"));
        const QString changedFile = files.filePath(QStringLiteral("change.hex"));
        sim::Eeprom changedImage = sim::presetImage(sim::Preset::Signed);
        changedImage[0] = 0x25;
        QVERIFY(imagefile::writeFile(changedFile, bytesOf(changedImage)).isEmpty());
        arguments.replaceInStrings(QStringLiteral("@out"), out);
        arguments.replaceInStrings(QStringLiteral("@changed"), changedFile);
        arguments.replaceInStrings(QStringLiteral("@"), goodFile);
        const Run r = trvctl(arguments << QStringLiteral("--json"));
        QCOMPARE(r.status, status);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out));
        const QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        const ImageBytes bytes = bytesOf(image);
        checkAsciiKeys(root);
        for (const QString& field : fields) {
            QString path = field.section(u'=', 0, 0);
            QString expected = field.section(u'=', 1);
            QString type = path.section(u':', 1);
            path = path.section(u':', 0, 0);
            const QJsonValue found = valueAt(root, path);
            // Every setting the text form shows is a field of the result, under its key.
            if (expected == QLatin1String("@settings")) {
                for (const diff::SettingValue& v : diff::settingValues(bytes))
                    for (const QString& key : v.fields.keys())
                        QVERIFY2(found.toObject().contains(key), qPrintable(key));
                continue;
            }
            if (!type.isEmpty())
                QVERIFY2(typeName(found) == type,
                         qPrintable(QStringLiteral("%1: %2").arg(field, typeName(found))));
            if (expected == QLatin1String("@any")) continue;
            expected
                .replace(QStringLiteral("@image"),
                         QString::fromLatin1(
                             QByteArray(reinterpret_cast<const char*>(bytes.data()), kImageSize)
                                 .toHex()
                                 .toUpper()))
                .replace(QStringLiteral("@file"), goodFile)
                .replace(QStringLiteral("@out"), out)
                .replace(QStringLiteral("@dev"), deviceOf(3));
            QVERIFY2(text(found) == expected,
                     qPrintable(QStringLiteral("%1: %2").arg(field, text(found))));
        }
        // Round trips come in order wherever they are given.
        for (const QJsonValue& entry : root.toArray()) {
            const QJsonObject o = entry.toObject();
            if (!o.contains(QStringLiteral("min_ms"))) continue;
            QVERIFY(o[QStringLiteral("min_ms")].toDouble() <=
                    o[QStringLiteral("mediane_ms")].toDouble());
            QVERIFY(o[QStringLiteral("mediane_ms")].toDouble() <=
                    o[QStringLiteral("max_ms")].toDouble());
        }
        QCOMPARE(board->eeprom(), image);  // none of these writes
    }

    // A window and trvctl keep their records in one history while the window stays open:
    // the kept number counts both, and the oldest records go first, whoever wrote them.
    void historySharedWithAWindow() {
        const QString folder = history::defaultFolder();
        QVERIFY(QDir(folder).removeRecursively());
        const QString old = folder + QStringLiteral("/2020-01-01");
        QVERIFY(QDir().mkpath(old));
        const int preset = history::kKeptRecords - 1;
        for (int i = 0; i < preset; ++i) {
            QFile f(old + u'/' + QTime(0, 0).addSecs(i).toString(QStringLiteral("HH-mm-ss-zzz")) +
                    QStringLiteral("_COM9_ancienne_lue.hex"));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        board->setEeprom(sim::presetImage(sim::Preset::Signed));
        sim::PtyBoard second(boardOn(4));
        QVERIFY(second.start());
        Link link(std::make_unique<QtSerialPort>());
        link.setPortOpen(link.port().open(3));
        link.setPortNumber(3);
        QVERIFY(link.portOpen());
        test::MessageRecorder prompts;
        BoardWindow w(
            link, prompts, [] { return board::ReplyControl::Oui; }, {3360, true, true},
            ReadVariant::Plain, nullptr);

        w.grid().butRd->click();
        QCOMPARE(trvctl({QStringLiteral("read"), QStringLiteral("-p"), QStringLiteral("4")}).status,
                 int(kOk));
        w.grid().butRd->click();
        QCOMPARE(prompts.texts(), QStringList());

        const QList<history::Entry> kept = history::ImageHistory(folder).entries();
        QCOMPARE(kept.size(), history::kKeptRecords);
        QCOMPARE(kept[0].port, 3);
        QCOMPARE(kept[1].port, 4);
        QCOMPARE(kept[1].window, QStringLiteral("trvctl"));
        QCOMPARE(kept[2].port, 3);
        QCOMPARE(kept[3].port, 9);
        QCOMPARE(QDir(old).entryList(QDir::Files).size(), history::kKeptRecords - 3);
        QVERIFY(!QFileInfo::exists(old + QStringLiteral("/00-00-01-000_COM9_ancienne_lue.hex")));
        QVERIFY(QFileInfo::exists(old + QStringLiteral("/00-00-02-000_COM9_ancienne_lue.hex")));
    }

    // What a new user tries: read to a file, program the start, compare, show.
    void readSetDiffShow() {
        board->setEeprom(sim::presetImage(sim::Preset::Signed));
        const QString saved = files.filePath(QStringLiteral("a.hex"));
        Run r = trvctl({QStringLiteral("read"), QStringLiteral("-p"), QStringLiteral("3"),
                        QStringLiteral("-o"), saved});
        QCOMPARE(r.status, 0);
        QCOMPARE(imagefile::readFile(saved).bytes, std::optional(bytesOf(board->eeprom())));

        r = trvctl({QStringLiteral("set"), QStringLiteral("-p"), QStringLiteral("3"),
                    QStringLiteral("depart=12,00"), QStringLiteral("seuil=9")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("COM3 : réglages programmés et vérifiés\n"));
        CellTexts cells = cellTexts(bytesOf(board->eeprom()));
        QCOMPARE(counter::decodeField(cells, 0)->integer, QStringLiteral("0000000012"));
        QCOMPARE(cells[62], QStringLiteral("09"));

        r = trvctl({QStringLiteral("diff"), saved, QStringLiteral("-p"), QStringLiteral("3")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(QStringLiteral("Départ : a.hex ")) &&
                     r.out.contains(QStringLiteral("COM3 12,00")),
                 qPrintable(r.out));

        r = trvctl({QStringLiteral("show"), QStringLiteral("-p"), QStringLiteral("3")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains(QStringLiteral("  Départ : 12,00\n")));
        QVERIFY(r.out.contains(QStringLiteral("  Signature : présente\n")));
    }

    // Help without a manual: the whole help, or one command's, asked either way.
    void helpPerCommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("usage");     // the first line
        QTest::addColumn<QString>("mentions");  // a line further down
        // clang-format off
        QTest::newRow("help") << QStringList{"help"} << "Usage : trvctl <commande> [options]" << "trvctl help COMMANDE ou trvctl COMMANDE --help : l'aide d'une commande.";
        QTest::newRow("help read") << QStringList{"help", "read"} << "Usage : trvctl read -p PORTS [-o FICHIER] [--json]" << "  -o FICHIER   avec plusieurs ports, « _COMn » est ajouté avant l'extension";
        QTest::newRow("read --help") << QStringList{"read", "--help"} << "Usage : trvctl read -p PORTS [-o FICHIER] [--json]" << "  -p PORTS     3 ; 3,4 ; 1-3 ; 1,4-6 ; all (chaque port qui a un lien)";
        QTest::newRow("write -h among options") << QStringList{"write", "-p", "3", "-h"} << "Usage : trvctl write -p PORTS FICHIER [--no-verify] [--json]" << "  130 interrompu (Ctrl+C) : le message dit ce que la carte peut contenir.";
        QTest::newRow("set --aide") << QStringList{"set", "--aide"} << "Usage : trvctl set -p PORTS nom=valeur... [--no-verify] [--json]" << "Réglages de set :";
        QTest::newRow("show --help") << QStringList{"show", "--help"} << "Usage : trvctl show (FICHIER | -p PORTS) [--json]" << "les noms de set (depart, fin, couleur1, periode_s…), les nombres des nombres.";
        QTest::newRow("diff --help") << QStringList{"diff", "a.hex", "--help"} << "Usage : trvctl diff A B [--json]" << "fichier ou -p PORTS (une liste de ports d'un seul côté). Sortie 1 quand des";
        QTest::newRow("help ping") << QStringList{"help", "ping"} << "Usage : trvctl ping -p PORTS [-n NOMBRE] [--json]" << "  -n NOMBRE    le nombre de sondes";
        QTest::newRow("help ports") << QStringList{"help", "ports"} << "Usage : trvctl ports [--json]" << "créez le lien : ln -s /dev/ttyUSB0 @ports/comN";
        QTest::newRow("help detect") << QStringList{"help", "detect"} << "Usage : trvctl detect [--json]" << "Recherche de COM1 à COM14, un port après l'autre : absent, libre (le port";
        // clang-format on
    }
    void helpPerCommand() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, usage);
        QFETCH(QString, mentions);
        mentions.replace(QStringLiteral("@ports"), portsFolder());
        board->clearReceived();
        const Run r = trvctl(arguments);
        QCOMPARE(r.status, int(kOk));
        QCOMPARE(r.err, QString());
        const QStringList lines = r.out.split(u'\n');
        QCOMPARE(lines.front(), usage);
        QVERIFY2(lines.contains(mentions), qPrintable(r.out));
        QCOMPARE(board->received(), QByteArray());
    }

    // Ctrl+C during a write, at three moments: while the board's image is read first, while
    // the write transaction runs, and while the image is read back. The transaction under way
    // runs to its end and nothing follows it; the port is let go, the trace is written, the
    // history holds what went through, the status is 130 and the message says what the board
    // may hold.
    void interruptedWrite_data() {
        QTest::addColumn<QByteArray>("frame");  // SIGINT once the board has received it...
        QTest::addColumn<int>("times");         // ...this many times
        QTest::addColumn<bool>("written");      // the board then holds the file's image
        QTest::addColumn<int>("reads");         // whole-image reads sent
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("line");  // @before: the record of the image before
        QTest::addColumn<QString>("detail");
        // clang-format off
        QTest::newRow("before the write") << QByteArray("X1X") << 1 << false << 1 << QStringList{"lue avant programmation before"}
            << "COM3 : interrompu avant l'écriture ; rien n'a été écrit" << "";
        QTest::newRow("during the write") << QByteArray("WWW") << 1 << true << 1 << QStringList{"lue avant programmation before", "écrite after"}
            << "COM3 : interrompu pendant l'écriture : la carte peut contenir une image partielle ; l'image d'avant est dans @before"
            << "  la carte a acquitté l'image entière ; elle n'a pas été relue";
        QTest::newRow("after the write") << QByteArray("X1X") << 129 << true << 2 << QStringList{"lue avant programmation before", "écrite after", "vérification after"}
            << "COM3 : image écrite et vérifiée" << "  interrompu après la dernière transaction : rien n'a été coupé";
        // clang-format on
    }
    void interruptedWrite() {
        QFETCH(QByteArray, frame);
        QFETCH(int, times);
        QFETCH(bool, written);
        QFETCH(int, reads);
        QFETCH(QStringList, records);
        QFETCH(QString, line);
        QFETCH(QString, detail);
        const QString folder = history::defaultFolder();
        QVERIFY(QDir(folder).removeRecursively());
        board->setEeprom(sim::presetImage(sim::Preset::Blank));
        const ImageBytes before = bytesOf(board->eeprom());
        const ImageBytes file = *imagefile::readFile(goodFile).bytes;
        const QString tracePath = files.filePath(QStringLiteral("interrompu.txt"));
        QFile::remove(tracePath);
        board->clearReceived();

        const std::atomic<bool>* stop = stopOnInterruption();
        std::atomic<bool> done{false};
        std::thread watcher([&] {
            while (!done && board->received().count(frame) < times)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (!done) std::raise(SIGINT);
        });
        const Run r = trvctl({"write", "-p", "3", goodFile, "--trace", tracePath}, stop);
        done = true;
        watcher.join();

        QCOMPARE(r.status, int(kInterrupted));
        QCOMPARE(bytesOf(board->eeprom()), written ? file : before);
        QList<history::Entry> entries = history::ImageHistory(folder).entries();
        std::reverse(entries.begin(), entries.end());
        QStringList found;
        for (const history::Entry& e : entries) {
            const auto bytes = imagefile::readFile(e.path).bytes;
            found << history::directionText(e.direction) + u' ' +
                         (bytes == before ? QStringLiteral("before")
                          : bytes == file ? QStringLiteral("after")
                                          : QStringLiteral("other"));
        }
        QCOMPARE(found, records);
        if (!entries.isEmpty()) line.replace(QStringLiteral("@before"), entries.front().path);
        const QStringList lines = r.out.split(u'\n');
        QCOMPARE(lines.front(), line);
        QCOMPARE(lines.value(1), detail);

        // Whole transactions only, and none after the stop.
        const QByteArray sent = board->received();
        QCOMPARE(sent.count("WWW"), written ? 8 : 0);
        QCOMPARE(sent.count("X1X"), 128 * reads);

        // The trace holds the run up to the stop and ends with the same words.
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QStringList t = QString::fromUtf8(trace.readAll()).split(u'\n');
        QVERIFY2(t[0].endsWith(line.section(QStringLiteral(" : "), 1)), qPrintable(t[0]));
        QCOMPARE(t.filter(QStringLiteral("→ carte  WWW")).size(), written ? 8 : 0);

        // The port was let go: the next run opens it.
        QCOMPARE(trvctl({"ping", "-p", "3", "-n", "1"}).status, int(kOk));
    }

    // A trace that can no longer be written at the end (its folder gone, a full disk) is a
    // warning: the board's outcome stands.
    void traceLostAfterTheRun() {
        const QString folder = files.filePath(QStringLiteral("traces"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/t.txt");
        board->clearReceived();
        std::thread remover([&] {
            while (!board->received().contains("X1X"))
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            QDir(folder).removeRecursively();
        });
        const Run r = trvctl({"read", "-p", "3", "--trace", path});
        remover.join();
        QCOMPARE(r.status, int(kOk));
        QVERIFY2(r.out.startsWith(QStringLiteral("COM3 : image lue\n")), qPrintable(r.out));
        QCOMPARE(r.err, QStringLiteral("trvctl : avertissement : trace non écrite : Impossible "
                                       "d'écrire %1 : fichier ou dossier introuvable\n")
                            .arg(path));
    }

    // A blank board is only programmed when nothing of the counter comes from it.
    void blankBoardNeedsEverySetting() {
        board->setEeprom(sim::presetImage(sim::Preset::Blank));
        QStringList set{QStringLiteral("set"), QStringLiteral("-p"), QStringLiteral("3"),
                        QStringLiteral("depart=1")};
        Run r = trvctl(set);
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.contains(QStringLiteral("EEPROM vièrge ou corrompue")));
        QCOMPARE(board->eeprom(), sim::presetImage(sim::Preset::Blank));
        set << QStringLiteral("fin=2") << QStringLiteral("relais1=3") << QStringLiteral("relais2=4")
            << QStringLiteral("plage2=5") << QStringLiteral("plage3=6")
            << QStringLiteral("plage4=7") << QStringLiteral("plage5=8") << QStringLiteral("pas=1")
            << QStringLiteral("polrel1=non") << QStringLiteral("polrel2=non");
        for (int k = 1; k <= 5; ++k) set << QStringLiteral("couleur%1=orange").arg(k);
        r = trvctl(set);
        QCOMPARE(r.status, 0);
        QVERIFY(counter::hasSignature(cellTexts(bytesOf(board->eeprom()))));
    }

    // Two boards at once: each gets the file and each is verified; both images are read back.
    void parallelWriteAndRead() {
        sim::PtyBoard second(boardOn(4, sim::Preset::Blank));
        QVERIFY(second.start());
        board->setEeprom(sim::presetImage(sim::Preset::Blank));
        ImageBytes image;
        for (int i = 0; i < kImageSize; ++i) image[std::size_t(i)] = quint8(i * 5 + 1);
        const QString file = files.filePath(QStringLiteral("parallele.bin"));
        QVERIFY(imagefile::writeFile(file, image).isEmpty());

        Run r =
            trvctl({QStringLiteral("write"), QStringLiteral("-p"), QStringLiteral("3,4"), file});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("COM3 : image écrite et vérifiée\n"
                                       "COM4 : image écrite et vérifiée\n"));
        QCOMPARE(bytesOf(board->eeprom()), image);
        QCOMPARE(bytesOf(second.eeprom()), image);

        const QString out = files.filePath(QStringLiteral("lue.hex"));
        r = trvctl({QStringLiteral("read"), QStringLiteral("-p"), QStringLiteral("4,3"),
                    QStringLiteral("-o"), out, QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        for (const char* name : {"lue_COM3.hex", "lue_COM4.hex"})
            QCOMPARE(imagefile::readFile(files.filePath(QLatin1String(name))).bytes,
                     std::optional(image));
        QVERIFY(r.out.indexOf(QStringLiteral("\"port\": 4")) <
                r.out.indexOf(QStringLiteral("\"port\": 3")));
    }
};

QTEST_MAIN(TrvctlTest)
#include "test_trvctl.moc"
