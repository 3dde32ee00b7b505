#include "trvctl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <variant>

#ifdef Q_OS_UNIX
#include <csignal>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "command_line.h"
#include "image/image_file.h"
#include "image/image_history.h"
#include "image/system_error.h"
#include "port/open_failure.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/routed_port.h"
#include "port/serial_devices.h"
#include "port/traffic_tap.h"
#include "protocol/board_operations.h"
#include "protocol/exchange.h"
#include "protocol/history_observer.h"
#include "protocol/link_probe.h"
#include "settings/image_diff.h"
#include "settings/vocabulary.h"
#include "trace/format.h"
#include "trace/trace_log.h"

namespace trv::cli {

// --trace: every port's traffic in a trace of its own, written as one file at the end.
class Tracer {
public:
    explicit Tracer(QString command) : m_command(std::move(command)) {}
    const QString& command() const { return m_command; }

    trace::TraceLog* newLog() {
        QMutexLocker lock(&m_mutex);
        m_logs.push_back(std::make_unique<trace::TraceLog>());
        return m_logs.back().get();
    }

    bool save(const QString& path, QString* error) const {
        QList<const trace::TraceLog*> logs;
        for (const auto& log : m_logs) logs << log.get();
        return trace::saveTraces(logs, path, error);
    }

private:
    QString m_command;
    QMutex m_mutex;
    std::vector<std::unique_ptr<trace::TraceLog>> m_logs;
};

namespace {

const QString kHistoryWindow = QStringLiteral("trvctl");

QString com(int port) { return QStringLiteral("COM%1").arg(port); }
QString com(const PortChoice& port) { return port.name(); }

// The address a port reaches, given directly or through its COM number's association.
std::optional<NetworkAddress> reachedAddress(const PortChoice& port) {
    return port.address ? port.address : portNetworkAddress(port.number);
}

// What one port's run gives: its status, its result line and any further lines, its JSON.
struct PortReport {
    PortChoice port;
    QString source;  // what the result is about, when not the port: a file, two images
    int status = kOk;
    QString line;
    QStringList details;
    QJsonObject json;
    std::optional<ImageBytes> image;
};

PortReport failure(const PortChoice& port, int status, const QString& why) {
    PortReport r;
    r.port = port;
    r.status = status;
    r.line = QStringLiteral("%1 : %2").arg(com(port), why);
    return r;
}

// Why a port did not open, under its result line and in its JSON.
void withCause(PortReport& r, const QString& cause) {
    if (cause.isEmpty()) return;
    for (const QString& line : cause.split(u'\n')) r.details << QStringLiteral("  ") + line;
    r.json.insert(QStringLiteral("cause"), cause);
}

// The phase each port is in, for the progress line.
class Progress {
public:
    explicit Progress(const QList<PortChoice>& ports) : m_ports(ports), m_phases(ports.size()) {}
    void set(int index, const QString& phase) {
        QMutexLocker lock(&m_mutex);
        m_phases[index] = phase;
    }
    QString line() const {
        QMutexLocker lock(&m_mutex);
        QStringList parts;
        for (qsizetype i = 0; i < m_ports.size(); ++i)
            parts << QStringLiteral("%1 %2").arg(com(m_ports[i]), m_phases[i]);
        return parts.join(QStringLiteral(" | "));
    }

private:
    QList<PortChoice> m_ports;
    QStringList m_phases;
    mutable QMutex m_mutex;
};

// The one history of a run, which the ports' exchanges keep their images in from their
// threads, one record at a time.
struct RunHistory {
    history::ImageHistory images;
    QMutex lock;
};

// A port that went away, in the windows' words for a COM number.
QString lostText(const PortChoice& port) {
    if (port.number > 0 || !port.address) return portLostReason(port.number);
    return QStringLiteral("le port %1 a été perdu").arg(port.address->text());
}

// A port that went away during the command, whatever the command made of it.
PortReport lostPort(const PortChoice& port) { return failure(port, kPortClosed, lostText(port)); }

// A run stopped by Ctrl+C: "interrompu pendant la lecture".
PortReport interrupted(const PortChoice& port, const QString& what) {
    return failure(port, kInterrupted, QStringLiteral("interrompu ") + what);
}

// Why a port did not open. A port without a link is made in the link folder from a shell,
// where the windows' menu is out of reach.
QString openCause(const OpenFailure& failure, const PortChoice& choice) {
    const int port = choice.number;
    if (failure.cause != OpenFailure::Cause::NoLink) return openFailureText(failure, port);
    return QStringLiteral(
               "Aucun appareil n'est associé à %1 : créez le lien %2 vers le périphérique\n"
               "(ln -s /dev/ttyUSB0 %2) ; « trvctl ports » montre les liens et les "
               "périphériques série.")
        .arg(com(port), portLinkPath(port));
}

// What a port's report says happened, for the trace: its line without the port's name.
std::pair<QString, bool> traceOutcome(const PortReport& r) {
    return {r.line.section(QStringLiteral(" : "), 1), r.status != kOk};
}

// The trace of one port's run, or null without --trace. Any thread.
trace::TraceLog* traceFor(const Streams& s) { return s.tracer ? s.tracer->newLog() : nullptr; }

// Runs an operation on a tapped port; with a trace, it is named after the port and the
// command line and ends with what run() answers.
void beginTraced(const Streams& s, TrafficTap& port, trace::TraceLog* log, const QString& name) {
    port.setObserver(log);
    if (log) port.beginOperation(QStringLiteral("%1 : %2").arg(name, s.tracer->command()));
}
void endTraced(TrafficTap& port, trace::TraceLog* log, const std::pair<QString, bool>& outcome) {
    if (log) port.endOperation(outcome.first, outcome.second);
    port.setObserver(nullptr);
}
template <typename Run>
void traced(const Streams& s, TrafficTap& port, trace::TraceLog* log, const QString& name,
            Run run) {
    beginTraced(s, port, log, name);
    endTraced(port, log, run());
}

// Tells the progress line what a port is doing.
using Phase = std::function<void(QString)>;

// What a task knows of its port's run besides the exchange.
struct PortRun {
    PortChoice port;
    Phase phase;
    const HistoryObserver* history = nullptr;  // the images kept, with a history
    const std::atomic<bool>* stop = nullptr;

    bool stopAsked() const { return stop && stop->load(); }
    bool wrote() const {
        if (!history) return false;
        const auto& t = history->transfers();
        return std::any_of(t.begin(), t.end(), [](const auto& x) { return x.written; });
    }
    // Where the board's image read before the first write is kept.
    QString imageBefore() const {
        QString path;
        if (history)
            for (const auto& t : history->transfers()) {
                if (t.written) break;
                path = t.path;
            }
        return path.isEmpty() ? QStringLiteral("(non gardée : historique non écrit)") : path;
    }
};
using Task = std::function<PortReport(Exchange&, const PortRun&)>;

void noteHistory(PortReport& r, const QString& error) {
    if (!error.isEmpty()) r.details << QStringLiteral("  (historique non écrit : %1)").arg(error);
}

// The same task on every port at once: each port on a thread of its own with a port object
// of its own. Reports come back in the order of the ports. With a history, every image the
// exchanges move is kept in it, as the windows keep theirs.
QList<PortReport> onPorts(const QList<PortChoice>& ports, const Task& task, Streams& s,
                          RunHistory* kept = nullptr) {
    QList<PortReport> reports(ports.size());
    Progress progress(ports);
    std::vector<std::unique_ptr<QThread>> threads;
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const PortChoice port = ports[i];
        progress.set(i, QStringLiteral("ouverture"));
        trace::TraceLog* log = traceFor(s);
        threads.emplace_back(QThread::create([&, i, port, log] {
            auto routed = std::make_unique<RoutedPort>();
            RoutedPort* router = routed.get();
            TrafficTap serial(std::move(routed));
            // The trace and the history name the server behind a port, as the windows do.
            const std::optional<NetworkAddress> address = reachedAddress(port);
            traced(s, serial, log, portName(port.number, address), [&] {
                const bool opened =
                    port.address
                        ? serial.openThrough([&] { return router->openAddress(*port.address); })
                        : serial.open(port.number);
                if (!opened) {
                    reports[i] =
                        failure(port, kPortClosed, QStringLiteral("le port ne s'ouvre pas"));
                    withCause(reports[i], openCause(serial.openFailure(), port));
                    progress.set(i, QStringLiteral("port fermé"));
                    return traceOutcome(reports[i]);
                }
                std::optional<HistoryObserver> keeper;
                if (kept)
                    keeper.emplace([kept]() -> history::ImageHistory& { return kept->images; },
                                   port.number, kHistoryWindow, &kept->lock);
                if (keeper) keeper->nameAddress(serial.networkAddress());
                {
                    Exchange exchange(serial, steadyClock(), keeper ? &*keeper : nullptr);
                    exchange.stopWhen(s.stop);
                    const PortRun run{port, [&, i](const QString& p) { progress.set(i, p); },
                                      keeper ? &*keeper : nullptr, s.stop};
                    reports[i] = task(exchange, run);
                    // A lost port may say what ended it (a server that closed the
                    // connection): under the lost message, which stays as it is.
                    if (reports[i].status == kPortClosed && exchange.portLost())
                        withCause(reports[i], serial.lostReason());
                    // A stop that came after the last transaction had begun cut nothing.
                    if (run.stopAsked() && reports[i].status != kInterrupted) {
                        reports[i].status = kInterrupted;
                        reports[i].details << QStringLiteral(
                            "  interrompu après la dernière transaction : rien n'a été coupé");
                    }
                }
                // The port is closed and released before the run reports.
                serial.close();
                if (keeper)
                    for (const QString& error : keeper->failures()) noteHistory(reports[i], error);
                reports[i].port = port;
                progress.set(i, QStringLiteral("terminé"));
                return traceOutcome(reports[i]);
            });
        }));
        threads.back()->start();
    }
    for (auto& t : threads) {
        while (!t->wait(QDeadlineTimer(200))) {
            if (s.progress) s.err << "\r" << progress.line() << "\x1b[K" << Qt::flush;
        }
    }
    if (s.progress) s.err << "\r\x1b[K" << Qt::flush;
    return reports;
}

int worst(const QList<PortReport>& reports) {
    int status = kOk;
    for (const PortReport& r : reports) status = std::max(status, r.status);
    return status;
}

// Every result has the same frame: what it is about ("source": "COM3", a file, or
// "bon.hex / COM3"), its port (null for a file), its status and its line.
QJsonObject baseJson(const PortReport& r) {
    QJsonObject o = r.json;
    o.insert(QStringLiteral("source"), r.source.isEmpty() ? com(r.port) : r.source);
    o.insert(QStringLiteral("port"), r.port.number > 0 ? QJsonValue(r.port.number)
                                     : r.port.address  ? QJsonValue(r.port.address->text())
                                                       : QJsonValue::Null);
    o.insert(QStringLiteral("statut"), r.status);
    o.insert(QStringLiteral("message"), r.line);
    return o;
}

void printJson(Streams& s, const QJsonValue& value) {
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    s.out << doc.toJson(QJsonDocument::Indented) << Qt::flush;
}

// Result lines (and their details) or a JSON array, one entry per port.
int printReports(Streams& s, const QList<PortReport>& reports, bool json) {
    if (json) {
        QJsonArray array;
        for (const PortReport& r : reports) array.append(baseJson(r));
        printJson(s, array);
    } else {
        for (const PortReport& r : reports) {
            s.out << r.line << "\n";
            for (const QString& d : r.details) s.out << d << "\n";
        }
        s.out << Qt::flush;
    }
    return worst(reports);
}

QString hexString(const ImageBytes& bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
            .toHex()
            .toUpper());
}

// The 8 × 16 table, rows labelled like the grid's ("0xh").
QStringList table(const ImageBytes& bytes) {
    QStringList lines;
    QString header = QStringLiteral("    ");
    for (int c = 0; c < 16; ++c)
        header += QStringLiteral(" %1 ").arg(QString::number(c, 16).toUpper());
    lines << header.trimmed().prepend(QStringLiteral("     "));
    for (int r = 0; r < 8; ++r) {
        QString line = QStringLiteral("%1xh ").arg(r);
        for (int c = 0; c < 16; ++c)
            line += QStringLiteral(" ") + cellText(bytes[std::size_t(16 * r + c)]);
        lines << line;
    }
    return lines;
}

// The image read on a port, or why there is none.
std::variant<ImageBytes, PortReport> readBytes(Exchange& exchange, const PortChoice& port,
                                               history::Direction kind = history::Direction::Read) {
    CellTexts cells;
    const ReadOutcome read = readImage(exchange, cells, ReadVariant::Plain, kind);
    if (exchange.stopped()) return interrupted(port, QStringLiteral("avant la lecture"));
    if (read == ReadOutcome::Lost) return lostPort(port);
    if (read != ReadOutcome::Read)
        return failure(port, kBoardFailed, QStringLiteral("la carte ne répond pas"));
    const auto bytes = imageBytes(cells);
    if (!bytes) {
        const int bad = *firstNonByteCell(cells);
        return failure(port, kBoardFailed,
                       notBytesReason() + QStringLiteral(" (adresse 0x%1 : « %2 »)")
                                              .arg(cellText(quint8(bad)), cellAt(cells, bad)));
    }
    return *bytes;
}

using AfterRead =
    std::function<PortReport(Exchange&, const PortRun&, PortReport, const ImageBytes&)>;

// A task that begins by reading the port's image: a failed read is the port's report, with
// `unread` after its reason; otherwise `then` goes on from the image and a report that names
// the port. kind: what the image read is to the history.
Task afterRead(AfterRead then, const QString& unread = {},
               history::Direction kind = history::Direction::Read) {
    return [=, then = std::move(then)](Exchange& exchange, const PortRun& run) {
        run.phase(QStringLiteral("lecture"));
        auto read = readBytes(exchange, run.port, kind);
        if (auto* f = std::get_if<PortReport>(&read)) {
            if (f->status != kPortClosed) f->line += unread;
            return *f;
        }
        PortReport r;
        r.port = run.port;
        return then(exchange, run, r, std::get<ImageBytes>(read));
    };
}

// "lu.hex" becomes "lu_COM3.hex", or "lu_rfc2217-10.0.0.5-4001.hex" for an address: a name
// every system takes.
QString withPort(const QString& path, const PortChoice& port) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString base = path.left(path.size() - suffix.size());
    QString name = com(port);
    if (port.number <= 0 && port.address) {
        name = port.address->text();
        name.replace(QStringLiteral("://"), QStringLiteral("-"));
        for (QChar c : {u'[', u']'}) name.remove(c);
        name.replace(u':', u'-');
    }
    return QStringLiteral("%1_%2%3").arg(base, name, suffix);
}

// ---- commands ----

int commandPorts(Streams& s, bool json) {
    QJsonArray links;
    QStringList lines;
    lines << QStringLiteral("Ports COMn (liens dans %1) :").arg(portsFolder());
    // Ports associated with a server's address, on every system.
    struct Listed {
        int n;
        QString line;
        QJsonObject json;
    };
    QList<Listed> network;
    QList<int> numbers;
    for (const QString& name : QDir(portsFolder()).entryList({QStringLiteral("com*.adresse")})) {
        bool ok = false;
        const int n = name.section(u'.', 0, 0).mid(3).toInt(&ok);
        if (ok && n > 0 && portAddressPath(portsFolder(), n).endsWith(u'/' + name)) numbers << n;
    }
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers) {
        const StoredAddress stored = readPortAddress(portsFolder(), n);
        if (!stored.exists) continue;
        const QString target = stored.address ? stored.address->text() : stored.error;
        network.append(
            {n,
             stored.address
                 ? QStringLiteral("  %1 -> réseau %2").arg(com(n), target)
                 : QStringLiteral("  %1 -> réseau, adresse invalide (%2)").arg(com(n), target),
             QJsonObject{{QStringLiteral("port"), n},
                         {QStringLiteral("cible"), target},
                         {QStringLiteral("present"), stored.address.has_value()},
                         {QStringLiteral("reseau"), true}}});
    }
    QList<Listed> listed = network;
#ifdef Q_OS_WIN
    lines << QStringLiteral("  sous Windows, le port n est COMn");
#else
    QList<std::pair<int, QFileInfo>> found;
    const QFileInfoList entries =
        QDir(portsFolder()).entryInfoList({QStringLiteral("com*")}, QDir::System | QDir::Files);
    for (const QFileInfo& info : entries) {
        bool ok = false;
        const int n = info.fileName().mid(3).toInt(&ok);
        if (ok && n > 0) found.append({n, info});
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [n, info] : found) {
        const QString device = portDevice(n);
        const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
        listed.append({n,
                       device.isEmpty() ? QStringLiteral("  %1 -> %2 (absent)").arg(com(n), target)
                                        : QStringLiteral("  %1 -> %2").arg(com(n), device),
                       QJsonObject{{QStringLiteral("port"), n},
                                   {QStringLiteral("cible"), target},
                                   {QStringLiteral("present"), !device.isEmpty()}}});
    }
    if (listed.isEmpty()) lines << QStringLiteral("  aucun lien");
#endif
    // In COM order, an address before a link of the same number: the address is what opens.
    std::stable_sort(listed.begin(), listed.end(),
                     [](const Listed& a, const Listed& b) { return a.n < b.n; });
    for (const Listed& l : listed) {
        lines << l.line;
        links.append(l.json);
    }
    QJsonArray devices;
    lines << QStringLiteral("Périphériques série de la machine :");
    const QList<SerialDevice> infos = listSerialDevices();
    for (const SerialDevice& info : infos) {
        QStringList fields{info.location, info.description, info.manufacturer, info.serialNumber};
        fields.removeAll(QString());
        lines << QStringLiteral("  ") + fields.join(QStringLiteral("  "));
        devices.append(QJsonObject{{QStringLiteral("peripherique"), info.location},
                                   {QStringLiteral("description"), info.description},
                                   {QStringLiteral("fabricant"), info.manufacturer},
                                   {QStringLiteral("numero_de_serie"), info.serialNumber}});
    }
    if (infos.isEmpty()) lines << QStringLiteral("  aucun");
    if (json)
        printJson(s, QJsonObject{{QStringLiteral("liens"), links},
                                 {QStringLiteral("peripheriques"), devices}});
    else
        s.out << lines.join(u'\n') << "\n" << Qt::flush;
    return kOk;
}

int commandDetect(Streams& s, bool json) {
    TrafficTap serial(std::make_unique<RoutedPort>());
    Exchange exchange(serial, steadyClock());
    exchange.stopWhen(s.stop);
    QJsonArray array;
    QStringList lines;
    trace::TraceLog* log = traceFor(s);
    board::DetectionSteps steps;
    steps.trying = [&](int n) {
        if (s.progress) s.err << "\rdétection " << com(n) << "\x1b[K" << Qt::flush;
        beginTraced(s, serial, log, portName(n, portNetworkAddress(n)));
    };
    steps.done = [&](int n, board::PortState state) {
        serial.close();
        if (exchange.stopped()) {
            endTraced(serial, log, {QStringLiteral("interrompu"), true});
            return;
        }
        const QString name = state == board::PortState::Board  ? QStringLiteral("carte")
                             : state == board::PortState::Free ? QStringLiteral("libre")
                                                               : QStringLiteral("absent");
        lines << QStringLiteral("%1 : %2").arg(com(n), name);
        array.append(QJsonObject{{QStringLiteral("source"), com(n)},
                                 {QStringLiteral("port"), n},
                                 {QStringLiteral("etat"), name}});
        endTraced(serial, log, {name, false});
    };
    board::detectPorts(exchange, steps);
    if (s.progress) s.err << "\r\x1b[K" << Qt::flush;
    if (exchange.stopped()) s.err << "trvctl : détection interrompue\n" << Qt::flush;
    if (json)
        printJson(s, array);
    else
        s.out << lines.join(u'\n') << "\n" << Qt::flush;
    return exchange.stopped() ? kInterrupted : kOk;
}

int commandRead(Streams& s, const Invocation& inv) {
    RunHistory history;
    const auto reports = onPorts(
        inv.ports, afterRead([&](Exchange&, const PortRun&, PortReport r, const ImageBytes& bytes) {
            const PortChoice port = r.port;
            r.image = bytes;
            r.json.insert(QStringLiteral("image"), hexString(bytes));
            if (inv.output.isEmpty()) {
                r.line = QStringLiteral("%1 : image lue").arg(com(port));
                r.details = table(bytes);
            } else {
                const QString path = inv.ports.size() > 1 ? withPort(inv.output, port) : inv.output;
                if (const QString error = imagefile::writeFile(path, bytes); !error.isEmpty())
                    return failure(port, kUsage, error);
                r.line = QStringLiteral("%1 : image lue, écrite dans %2").arg(com(port), path);
                r.json.insert(QStringLiteral("fichier"), path);
            }
            return r;
        }),
        s, &history);
    return printReports(s, reports, inv.json);
}

QString verificationFailure(const board::Verification& v, const CellTexts& sent) {
    if (v.outcome != board::Verification::Outcome::Differs)
        return QStringLiteral("vérification impossible : la carte ne répond pas à la relecture");
    const int a = *v.firstDifference;
    return QStringLiteral("vérification échouée : la case %1 (adresse 0x%2) vaut %3 au lieu de %4")
        .arg(a)
        .arg(cellText(quint8(a)), v.found[std::size_t(a)],
             sent[std::size_t(a)].rightJustified(2, u'0'));
}

// What a board may hold after a write that a stop cut short.
PortReport interruptedWrite(const PortChoice& port, const PortRun& run) {
    return interrupted(port, QStringLiteral("pendant l'écriture : la carte peut contenir une image "
                                            "partielle ; l'image d'avant est dans %1")
                                 .arg(run.imageBefore()));
}
PortReport interruptedBeforeVerification(const PortChoice& port, const PortRun& run) {
    return interrupted(port, QStringLiteral("avant la vérification : l'image a été écrite et "
                                            "acquittée mais pas relue ; l'image d'avant est "
                                            "dans %1")
                                 .arg(run.imageBefore()));
}

int commandWrite(Streams& s, const Invocation& inv) {
    const imagefile::Parsed file = imagefile::readFile(inv.file);
    if (!file.bytes) {
        s.err << "trvctl : " << file.error << "\n" << Qt::flush;
        return kUsage;
    }
    const CellTexts sent = cellTexts(*file.bytes);
    RunHistory history;
    const auto reports = onPorts(
        inv.ports,
        // The board's image is kept (in the history) before it is replaced.
        afterRead(
            [&](Exchange& exchange, const PortRun& run, PortReport r, const ImageBytes&) {
                const PortChoice port = r.port;
                run.phase(QStringLiteral("écriture"));
                const WriteOutcome written = writeImage(exchange, sent);
                if (exchange.stopped())
                    return interrupted(port,
                                       QStringLiteral("avant l'écriture ; rien n'a été écrit"));
                // Asked during the write, which went on to its end: nothing follows it.
                if (run.stopAsked() && written != WriteOutcome::Lost) {
                    PortReport stopped = interruptedWrite(port, run);
                    stopped.details << (written == WriteOutcome::Written
                                            ? QStringLiteral("  la carte a acquitté l'image "
                                                             "entière ; elle n'a pas été relue")
                                            : QStringLiteral("  la carte n'a pas acquitté "
                                                             "l'écriture"));
                    return stopped;
                }
                if (written == WriteOutcome::Lost) return lostPort(port);
                if (written != WriteOutcome::Written) {
                    PortReport failed = failure(
                        port, kBoardFailed, QStringLiteral("la carte n'a pas acquitté l'écriture"));
                    if (!inv.verify) return failed;
                    // A miscounted acknowledgement does not say what the board took: the
                    // read-back does, so a technician knows whether to write again.
                    run.phase(QStringLiteral("vérification"));
                    const board::Verification v = board::verifyImage(exchange, sent);
                    if (exchange.stopped()) return interruptedBeforeVerification(port, run);
                    if (v.outcome == board::Verification::Outcome::PortLost) return lostPort(port);
                    failed.details << (v.outcome == board::Verification::Outcome::Matches
                                           ? QStringLiteral("  La carte contient pourtant l'image "
                                                            "envoyée (relue et vérifiée).")
                                           : QStringLiteral("  ") + verificationFailure(v, sent));
                    return failed;
                }
                if (!inv.verify) {
                    r.line = QStringLiteral("%1 : image écrite (sans vérification)").arg(com(port));
                    return r;
                }
                run.phase(QStringLiteral("vérification"));
                const board::Verification v = board::verifyImage(exchange, sent);
                if (exchange.stopped()) return interruptedBeforeVerification(port, run);
                if (v.outcome == board::Verification::Outcome::PortLost) return lostPort(port);
                if (v.outcome != board::Verification::Outcome::Matches)
                    return failure(port, kBoardFailed, verificationFailure(v, sent));
                r.line = QStringLiteral("%1 : image écrite et vérifiée").arg(com(port));
                return r;
            },
            QStringLiteral(" ; rien n'a été écrit"), history::Direction::ReadBeforeWrite),
        s, &history);
    return printReports(s, reports, inv.json);
}

// The settings as lines, and as fields at the top of the result's JSON.
QStringList settingLines(const ImageBytes& bytes, QJsonObject* json) {
    QStringList lines;
    for (const diff::SettingValue& v : diff::settingValues(bytes)) {
        lines << QStringLiteral("  %1 : %2").arg(v.setting, v.value);
        for (auto f = v.fields.begin(); f != v.fields.end(); ++f) json->insert(f.key(), f.value());
    }
    json->insert(QStringLiteral("image"), hexString(bytes));
    return lines;
}

int commandShow(Streams& s, const Invocation& inv) {
    if (!inv.file.isEmpty()) {
        const imagefile::Parsed file = imagefile::readFile(inv.file);
        if (!file.bytes) {
            s.err << "trvctl : " << file.error << "\n" << Qt::flush;
            return kUsage;
        }
        PortReport r;
        r.source = inv.file;
        r.line = inv.file + QStringLiteral(" :");
        r.details = settingLines(*file.bytes, &r.json);
        return printReports(s, {r}, inv.json);
    }
    const auto reports = onPorts(
        inv.ports, afterRead([](Exchange&, const PortRun&, PortReport r, const ImageBytes& bytes) {
            r.line = QStringLiteral("%1 :").arg(com(r.port));
            r.details = settingLines(bytes, &r.json);
            return r;
        }),
        s);
    return printReports(s, reports, inv.json);
}

QString programmingFailure(const board::Result& r, const PortChoice& port) {
    switch (r.outcome) {
        case board::Outcome::BoardSilent:
            return QStringLiteral("la carte ne répond pas ; rien n'a été programmé");
        case board::Outcome::SignatureMismatch:
            return QStringLiteral(
                       "EEPROM vièrge ou corrompue : donnez tous les réglages du compteur (%1) "
                       "pour la programmer ; rien n'a été programmé")
                .arg(vocabulary::counterSettingNames());
        case board::Outcome::NotBytes:
            return notBytesReason() + QStringLiteral(" ; rien n'a été programmé");
        case board::Outcome::CellRefused:
            return unsendableCellMessage(r.refusedCell.value_or(0));
        case board::Outcome::WriteFailed:
            return QStringLiteral("la carte n'a pas acquitté la programmation");
        case board::Outcome::PortLost:
            // Named after the port this run opened: an address given directly has no number.
            return lostText(port);
        case board::Outcome::Cancelled:  // trvctl never declines a write
        case board::Outcome::Done:
            break;
    }
    return {};
}

int commandSet(Streams& s, const Invocation& inv) {
    const SettingChanges& c = inv.changes;
    RunHistory history;
    const auto reports = onPorts(
        inv.ports,
        [&](Exchange& exchange, const PortRun& run) {
            const PortChoice port = run.port;
            PortReport r;
            r.port = port;
            board::Result result;
            const auto failed = [&] {
                const bool lost = result.outcome == board::Outcome::PortLost;
                return failure(port, lost ? kPortClosed : kBoardFailed,
                               programmingFailure(result, port));
            };
            // A stop asked before any programming leaves the board as it was; one asked
            // during a programming lets it end and nothing follows.
            const auto stoppedHere = [&]() -> std::optional<PortReport> {
                if (!run.stopAsked()) return std::nullopt;
                if (!run.wrote())
                    return interrupted(
                        port, QStringLiteral("avant la programmation ; rien n'a été programmé"));
                PortReport stopped = interruptedWrite(port, run);
                stopped.details << QStringLiteral(
                    "  la carte a acquitté la programmation ; elle n'a pas été relue");
                return stopped;
            };
            // Counter settings as "Programme les paramètres" does, luminosity as its "Envoi".
            // Each programming runs whole, from its read to the board's return to sleep.
            run.phase(QStringLiteral("programmation"));
            if (c.anyCounter) {
                if (const auto stopped = stoppedHere()) return *stopped;
                const Exchange::Unstoppable whole(exchange);
                result = board::programCounter(exchange, board::ReplyControl::Oui, c.counter,
                                               !c.counterComplete);
                if (result.outcome != board::Outcome::Done) return failed();
            }
            if (c.anyLuminosity) {
                if (const auto stopped = stoppedHere()) return *stopped;
                const Exchange::Unstoppable whole(exchange);
                result = board::programLuminosity(exchange, board::ReplyControl::Oui, c.luminosity);
                if (result.outcome != board::Outcome::Done) return failed();
            }
            if (const auto stopped = stoppedHere()) return *stopped;
            if (!inv.verify) {
                r.line =
                    QStringLiteral("%1 : réglages programmés (sans vérification)").arg(com(port));
                return r;
            }
            run.phase(QStringLiteral("vérification"));
            result = board::readBack(exchange, std::move(result), false);
            if (result.outcome != board::Outcome::Done) return failed();
            if (result.verification->outcome != board::Verification::Outcome::Matches)
                return failure(port, kBoardFailed,
                               verificationFailure(*result.verification, result.cells));
            r.line = QStringLiteral("%1 : réglages programmés et vérifiés").arg(com(port));
            return r;
        },
        s, &history);
    return printReports(s, reports, inv.json);
}

int commandPing(Streams& s, const Invocation& inv) {
    const auto reports = onPorts(
        inv.ports,
        [&](Exchange& exchange, const PortRun& run) {
            const PortChoice port = run.port;
            run.phase(QStringLiteral("ping"));
            const LinkTally t = measureLink(exchange, inv.count);
            if (exchange.stopped()) return interrupted(port, QStringLiteral("pendant le ping"));
            if (t.lostPort()) return lostPort(port);
            PortReport r;
            r.port = port;
            // A probe without its acknowledgement is a board that did not answer.
            r.status = t.lost() == 0 ? kOk : kBoardFailed;
            QStringList parts{t.verdict(), t.answeredText(), t.roundTripText()};
            if (t.garbled() > 0) parts << t.garbledText();
            r.line = QStringLiteral("%1 : %2").arg(com(port), parts.join(QStringLiteral(" ; ")));
            // Whether a whole-image read and write can fit on this link, under the verdict.
            const QString forecast = t.transferVerdict(exchange.port().baudRate());
            if (!forecast.isEmpty()) r.details << QStringLiteral("  ") + forecast;
            r.json = {{QStringLiteral("envoyees"), t.sent()},
                      {QStringLiteral("reponses"), t.answered()},
                      {QStringLiteral("brouillees"), t.garbled()},
                      {QStringLiteral("verdict"), t.verdict()}};
            if (t.answered() > 0) {
                r.json.insert(QStringLiteral("min_ms"), qint64(t.fastest()->count()));
                r.json.insert(QStringLiteral("mediane_ms"), qint64(t.median()->count()));
                r.json.insert(QStringLiteral("max_ms"), qint64(t.slowest()->count()));
            }
            return r;
        },
        s);
    return printReports(s, reports, inv.json);
}

int commandDiff(Streams& s, const Invocation& inv) {
    QList<PortChoice> ports = inv.left.ports;
    for (const PortChoice& p : inv.right.ports)
        if (!ports.contains(p)) ports << p;
    // Files first: a bad file stops everything before any port is opened.
    QMap<QString, ImageBytes> files;
    for (const Source* src : {&inv.left, &inv.right}) {
        if (src->file.isEmpty()) continue;
        const imagefile::Parsed parsed = imagefile::readFile(src->file);
        if (!parsed.bytes) {
            s.err << "trvctl : " << parsed.error << "\n" << Qt::flush;
            return kUsage;
        }
        files.insert(src->file, *parsed.bytes);
    }
    QList<PortReport> reads;
    if (!ports.isEmpty())
        reads = onPorts(
            ports, afterRead([](Exchange&, const PortRun&, PortReport r, const ImageBytes& bytes) {
                r.image = bytes;
                return r;
            }),
            s);
    auto images = [&](const Source& src) {
        QList<std::pair<QString, const PortReport*>> list;
        if (!src.file.isEmpty()) list.append({QFileInfo(src.file).fileName(), nullptr});
        for (const PortChoice& p : src.ports)
            for (const PortReport& r : reads)
                if (r.port == p) list.append({com(p), &r});
        return list;
    };
    const auto left = images(inv.left);
    const auto right = images(inv.right);

    QList<PortReport> results;
    for (const auto& [leftName, leftRead] : left) {
        for (const auto& [rightName, rightRead] : right) {
            PortReport r;
            r.port = leftRead ? leftRead->port : rightRead ? rightRead->port : PortChoice{};
            // A side that could not be read ends this comparison with its reason.
            if (const PortReport* bad = leftRead && !leftRead->image     ? leftRead
                                        : rightRead && !rightRead->image ? rightRead
                                                                         : nullptr) {
                results.append(*bad);
                continue;
            }
            const ImageBytes a = leftRead ? *leftRead->image : files.value(inv.left.file);
            const ImageBytes b = rightRead ? *rightRead->image : files.value(inv.right.file);
            const QList<diff::Difference> found = diff::differences(a, b);
            r.source = QStringLiteral("%1 / %2").arg(leftName, rightName);
            r.status = found.isEmpty() ? kOk : kBoardFailed;
            r.line = found.isEmpty()
                         ? QStringLiteral("%1 / %2 : identiques").arg(leftName, rightName)
                         : QStringLiteral("%1 / %2 : %3 différence(s)")
                               .arg(leftName, rightName)
                               .arg(found.size());
            for (const QString& line : diff::describeAll(found, leftName, rightName))
                r.details << QStringLiteral("  ") + line;
            QJsonArray list;
            for (const diff::Difference& d : found) {
                QJsonArray addresses;
                for (int a : d.addresses) addresses.append(a);
                list.append(QJsonObject{{QStringLiteral("reglage"), d.key},
                                        {QStringLiteral("libelle"), d.setting},
                                        {QStringLiteral("gauche"), d.leftData},
                                        {QStringLiteral("droite"), d.rightData},
                                        {QStringLiteral("adresses"), addresses}});
            }
            r.json = {{QStringLiteral("gauche"), leftName},
                      {QStringLiteral("droite"), rightName},
                      {QStringLiteral("differences"), list}};
            results.append(r);
        }
    }
    return printReports(s, results, inv.json);
}

}  // namespace

namespace {
int runCommand(const Invocation& inv, Streams& s) {
    switch (inv.command) {
        case Command::Help:
            s.out << (inv.helpOn ? commandHelp(*inv.helpOn) : helpText()) << Qt::flush;
            return kOk;
        case Command::Version:
            s.out << "trvctl " << QCoreApplication::applicationVersion() << "\n" << Qt::flush;
            return kOk;
        case Command::Ports:
            return commandPorts(s, inv.json);
        case Command::Detect:
            return commandDetect(s, inv.json);
        case Command::Read:
            return commandRead(s, inv);
        case Command::Write:
            return commandWrite(s, inv);
        case Command::Show:
            return commandShow(s, inv);
        case Command::Set:
            return commandSet(s, inv);
        case Command::Diff:
            return commandDiff(s, inv);
        case Command::Ping:
            return commandPing(s, inv);
    }
    return kUsage;
}
}  // namespace

namespace {
// Opens path for writing as the command will, before any frame is sent, and leaves no file
// behind that was not there. Empty when it can be written, else why not.
QString unwritable(const QString& path) {
    const bool existed = QFileInfo::exists(path);
    QFile file(path);
    errno = 0;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::Append)) {
        return QStringLiteral("Impossible d'écrire %1 : %2")
            .arg(path, fileErrorText(file, path, errno));
    }
    file.close();
    if (!existed) file.remove();
    return {};
}

// The files a run will write: the trace, and read's image files.
QStringList filesWritten(const Invocation& inv) {
    QStringList paths;
    if (!inv.trace.isEmpty()) paths << inv.trace;
    if (inv.command == Command::Read && !inv.output.isEmpty())
        for (const PortChoice& port : inv.ports)
            paths << (inv.ports.size() > 1 ? withPort(inv.output, port) : inv.output);
    return paths;
}

std::atomic<bool> interruption{false};
#ifdef Q_OS_UNIX
extern "C" void onInterruption(int) { interruption.store(true); }
#endif
#ifdef Q_OS_WIN
// Called on a thread of its own. Ctrl+C and Ctrl+Break ask the run to stop; a second one gets
// the system's default, which ends the program, as the second SIGINT does on Unix. For the
// console's closing, a logoff or a shutdown the system ends the program once this returns,
// so it waits instead: the run stops at its next frame boundary and leaves main (which ends
// the process, this thread with it), unless the system's own grace time runs out first.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool first = !interruption.exchange(true);
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return first ? TRUE : FALSE;
        default:
            ::Sleep(INFINITE);
            return TRUE;
    }
}
#endif
}  // namespace

const std::atomic<bool>* stopOnInterruption() {
#ifdef Q_OS_UNIX
    interruption.store(false);
    struct sigaction action = {};
    action.sa_handler = onInterruption;
    sigemptyset(&action.sa_mask);
    // The second Ctrl+C kills as it always did, for a run that would not stop.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signalNumber : {SIGINT, SIGTERM}) ::sigaction(signalNumber, &action, nullptr);
    return &interruption;
#elif defined(Q_OS_WIN)
    interruption.store(false);
    if (!::SetConsoleCtrlHandler(onConsoleEvent, TRUE)) return nullptr;
    return &interruption;
#else
    return nullptr;
#endif
}

int run(const QStringList& arguments, Streams s) {
    const Parsed parsed = parse(arguments);
    if (!parsed.invocation) {
        s.err << "trvctl : " << parsed.error << "\n"
              << "Essayez « trvctl --aide ».\n"
              << Qt::flush;
        return kUsage;
    }
    const Invocation& inv = *parsed.invocation;
    // A file that cannot be written stops the run before anything reaches a board.
    for (const QString& path : filesWritten(inv)) {
        if (const QString error = unwritable(path); !error.isEmpty()) {
            s.err << "trvctl : " << error << "\n" << Qt::flush;
            return kUsage;
        }
    }
    if (inv.trace.isEmpty()) return runCommand(inv, s);

    // The trace is written whatever the outcome: a failed run is when it is wanted most.
    QStringList line = arguments;
    const qsizetype at = line.indexOf(QStringLiteral("--trace"));
    if (at >= 0) line.remove(at, 2);
    Tracer tracer(QStringLiteral("trvctl ") + line.join(u' '));
    s.tracer = &tracer;
    const int status = runCommand(inv, s);
    // The boards' outcome stands: a trace lost afterwards (a full disk) is only a warning.
    QString error;
    if (!tracer.save(inv.trace, &error))
        s.err << "trvctl : avertissement : trace non écrite : " << error << "\n" << Qt::flush;
    return status;
}

}  // namespace trv::cli
