// trv-board-sim: a TRV display board on a pseudo-terminal, for learning and testing the
// tool without the hardware. It links its device as port COMn and answers until stopped.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "program/folders.h"
#include "program/program.h"
#include "program/qt_french.h"
#include "sim/pty_board.h"

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signalNumber) {
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void print(const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void printError(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("trv-board-sim : ") + text + QLatin1Char('\n')), stderr);
}

// The control file: a named pipe whose every line replaces the board's faults while it runs.
class ControlPipe {
public:
    ~ControlPipe() {
        if (m_reader >= 0) ::close(m_reader);
        if (m_keeper >= 0) ::close(m_keeper);
        if (m_created) ::unlink(QFile::encodeName(m_path).constData());
    }

    bool open(const QString& path, trv::sim::PtyBoard* board) {
        m_path = path;
        const QByteArray name = QFile::encodeName(path);
        struct stat info {};
        if (::stat(name.constData(), &info) == 0) {
            if (!S_ISFIFO(info.st_mode)) {
                printError(QStringLiteral("%1 existe et n'est pas un tube nommé.").arg(path));
                return false;
            }
        } else if (::mkfifo(name.constData(), 0600) == 0) {
            m_created = true;
        } else {
            printError(QStringLiteral("impossible de créer le tube %1.").arg(path));
            return false;
        }
        m_reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Our own writer keeps the pipe open between two writers, so the reader never meets
        // the end of the file and never spins on it.
        m_keeper = m_reader < 0 ? -1 : ::open(name.constData(), O_WRONLY | O_CLOEXEC);
        if (m_keeper < 0) {
            printError(QStringLiteral("impossible d'ouvrir le tube %1.").arg(path));
            return false;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_reader, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, board] {
            char buffer[1024];
            const ssize_t n = ::read(m_reader, buffer, sizeof buffer);
            if (n > 0) m_pending.append(buffer, n);
            // A line without its end this long is no command: drop it rather than grow.
            if (m_pending.size() > 4096 && !m_pending.contains('\n')) m_pending.clear();
            for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0;) {
                apply(QString::fromUtf8(m_pending.first(end)), board);
                m_pending.remove(0, end + 1);
            }
        });
        return true;
    }

private:
    static void apply(const QString& line, trv::sim::PtyBoard* board) {
        QString error;
        if (const auto faults = trv::sim::parseFaults(line, &error)) {
            board->setFaults(*faults);
            print(QStringLiteral("Pannes : %1").arg(trv::sim::faultsText(*faults)));
        } else {
            printError(error);
        }
    }

    QString m_path;
    bool m_created = false;
    int m_reader = -1;
    int m_keeper = -1;
    QByteArray m_pending;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

bool readCount(const QCommandLineParser& parser, const QString& name, int minimum, int* value) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    *value = parser.value(name).toInt(&ok);
    if (ok && *value >= minimum) return true;
    printError(QStringLiteral("--%1 attend un nombre entier à partir de %2, pas « %3 ».")
                   .arg(name)
                   .arg(minimum)
                   .arg(parser.value(name)));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    trv::nameProgram(QStringLiteral("trv-board-sim"));
    trv::installQtFrench(app);

    const QString defaultImage = trv::dataFolder() + QStringLiteral("/trv-compteur/sim-eeprom.bin");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simule une carte d'affichage TRV sur un pseudo-terminal, relié comme port COMn\n"
        "de trv-compteur. L'EEPROM de 128 octets est gardée dans un fichier image.\n"
        "Arrêt par Ctrl+C."));
    // Qt's own help and version options describe themselves in English whatever the
    // translation: these say the same in French.
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("help-all")},
        QStringLiteral("Affiche cette aide."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Affiche le nom et la version du programme."));
    parser.addOptions({help, version});
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Numéro du port COM simulé (défaut : 3)."),
         QStringLiteral("N"), QStringLiteral("3")},
        {QStringLiteral("image"),
         QStringLiteral("Fichier de l'EEPROM, 128 octets bruts (défaut : %1).").arg(defaultImage),
         QStringLiteral("FICHIER"), defaultImage},
        {QStringLiteral("preset"),
         QStringLiteral("Contenu d'un fichier image créé : blank (carte vierge, tout à FF) ou "
                        "signed (compteur configuré et signé, défaut)."),
         QStringLiteral("blank|signed"), QStringLiteral("signed")},
        {QStringLiteral("force"),
         QStringLiteral("Remplace un lien comN existant le temps de la simulation ; il est "
                        "rétabli à l'arrêt.")},
        {QStringLiteral("received"),
         QStringLiteral("Ajoute à FICHIER (vidé au départ) chaque octet reçu, dès son arrivée."),
         QStringLiteral("FICHIER")},
        {QStringLiteral("no-pacing"),
         QStringLiteral("Répond sans attendre le débit réel de la ligne (9600 bauds).")},
        {QStringLiteral("silent"), QStringLiteral("Panne : ne répond à rien.")},
        {QStringLiteral("cut"),
         QStringLiteral("Panne : répond à chaque salve de trames d'un bloc, sans ses N derniers "
                        "octets."),
         QStringLiteral("N")},
        {QStringLiteral("extra"),
         QStringLiteral("Panne : répond à chaque salve de trames d'un bloc, suivi de N octets "
                        "ACK en trop."),
         QStringLiteral("N")},
        {QStringLiteral("garbage"),
         QStringLiteral("Panne : les réponses de lecture portent « G0 » au lieu de l'octet.")},
        {QStringLiteral("drop"),
         QStringLiteral("Panne : ne répond pas à une trame sur N (liaison radio qui perd des "
                        "réponses)."),
         QStringLiteral("N")},
        {QStringLiteral("delay"),
         QStringLiteral("Panne : chaque réponse part avec MS millisecondes de retard."),
         QStringLiteral("MS")},
        {QStringLiteral("unwritten"),
         QStringLiteral("Panne : l'octet de l'adresse N (0 à 127) n'est jamais écrit, bien que "
                        "l'écriture soit acquittée."),
         QStringLiteral("N")},
        {QStringLiteral("wrong-probe"),
         QStringLiteral("Panne : une trame RRR seule reçoit d'abord une réponse fausse (NAK), "
                        "la bonne 300 ms plus tard.")},
        {QStringLiteral("faults"),
         QStringLiteral("Pannes au départ, en mots (voir --control), par ex. \"delay=950 cut=6\"."),
         QStringLiteral("MOTS")},
        {QStringLiteral("control"),
         QStringLiteral(
             "Tube nommé (créé s'il manque) dont chaque ligne remplace les pannes en cours, "
             "par ex. echo \"pause=1200\" > FICHIER. Mots : silent (ne répond à rien), "
             "cut=N (N octets de moins), extra=N (N octets ACK en trop), garbage (« G0 » au "
             "lieu des octets lus), drop=N (pas de réponse à une trame sur N), noise=N (N octets "
             "parasites au milieu de la réponse), "
             "delay=MS (chaque réponse part MS ms plus tard), frame-delay=MS (MS ms par "
             "trame, une trame après l'autre : les réponses d'une série prennent du retard), "
             "pause=MS (la réponse "
             "s'interrompt à moitié pendant MS ms), unwritten=ADRESSE (cet octet de "
             "l'EEPROM ne prend plus l'écriture), vanish=OCTETS,MS (le port disparaît après OCTETS "
             "octets reçus et revient MS ms plus tard), wrong-probe, none (aucune panne)."),
         QStringLiteral("FICHIER")},
    });
    parser.process(app);
    if (parser.isSet(help)) parser.showHelp(0);
    if (parser.isSet(version)) parser.showVersion();

    trv::sim::PtyBoardOptions options;
    if (parser.isSet(QStringLiteral("faults"))) {
        QString error;
        const auto faults = trv::sim::parseFaults(parser.value(QStringLiteral("faults")), &error);
        if (!faults) {
            printError(QStringLiteral("--faults : %1").arg(error));
            return 2;
        }
        options.faults = *faults;
    }
    if (!readCount(parser, QStringLiteral("port"), 1, &options.port) ||
        !readCount(parser, QStringLiteral("cut"), 0, &options.faults.cut) ||
        !readCount(parser, QStringLiteral("extra"), 0, &options.faults.extra) ||
        !readCount(parser, QStringLiteral("drop"), 0, &options.faults.dropEvery) ||
        !readCount(parser, QStringLiteral("delay"), 0, &options.faults.delayMs) ||
        !readCount(parser, QStringLiteral("unwritten"), 0, &options.faults.unwritten))
        return 2;
    if (options.faults.unwritten >= trv::sim::kEepromSize) {
        printError(QStringLiteral("--unwritten attend une adresse de 0 à 127, pas « %1 ».")
                       .arg(options.faults.unwritten));
        return 2;
    }
    options.imagePath = parser.value(QStringLiteral("image"));
    options.receivedPath = parser.value(QStringLiteral("received"));
    const QString preset = parser.value(QStringLiteral("preset"));
    if (preset == QLatin1String("blank")) {
        options.preset = trv::sim::Preset::Blank;
    } else if (preset == QLatin1String("signed")) {
        options.preset = trv::sim::Preset::Signed;
    } else {
        printError(QStringLiteral("--preset attend blank ou signed, pas « %1 ».").arg(preset));
        return 2;
    }
    options.pacing = !parser.isSet(QStringLiteral("no-pacing"));
    options.force = parser.isSet(QStringLiteral("force"));
    options.faults.silent |= parser.isSet(QStringLiteral("silent"));
    options.faults.garbage |= parser.isSet(QStringLiteral("garbage"));
    options.faults.wrongProbe |= parser.isSet(QStringLiteral("wrong-probe"));

    // Signals only wake the event loop; the board is stopped and the link removed below,
    // outside the handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        printError(QStringLiteral("impossible de préparer l'arrêt par signal."));
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    // A reader of the output that went away must not end the simulator before it has taken
    // its link away.
    ::signal(SIGPIPE, SIG_IGN);

    const bool imageExisted = QFileInfo::exists(options.imagePath);
    trv::sim::PtyBoard board(options);
    if (!board.start()) {
        printError(board.errorString());
        return 1;
    }
    if (!board.leftoverLinkTarget().isEmpty())
        printError(QStringLiteral("le lien COM%1 menait à %2, un pseudo-terminal qui n'existe "
                                  "plus ; il est remplacé.")
                       .arg(options.port)
                       .arg(board.leftoverLinkTarget()));
    print(QStringLiteral("Carte TRV simulée sur COM%1 : %2")
              .arg(options.port)
              .arg(board.devicePath()));
    print(QStringLiteral("Lien : %1").arg(board.linkPath()));
    print(QStringLiteral("Image EEPROM : %1 (%2)")
              .arg(options.imagePath, imageExisted
                                          ? QStringLiteral("chargée")
                                          : QStringLiteral("créée, préréglage %1").arg(preset)));
    if (!options.pacing) print(QStringLiteral("Réponses sans attente du débit de la ligne."));
    if (options.faults != trv::sim::Faults{})
        print(QStringLiteral("Pannes : %1").arg(trv::sim::faultsText(options.faults)));
    ControlPipe control;
    if (parser.isSet(QStringLiteral("control"))) {
        if (!control.open(parser.value(QStringLiteral("control")), &board)) return 1;
        print(QStringLiteral("Commande des pannes : %1")
                  .arg(parser.value(QStringLiteral("control"))));
    }
    print(QStringLiteral("Ctrl+C pour arrêter."));

    const int status = app.exec();
    const QString replaced = board.replacedLinkTarget();
    board.stop();
    print(replaced.isEmpty() ? QStringLiteral("Arrêté ; lien COM%1 retiré.").arg(options.port)
                             : QStringLiteral("Arrêté ; lien COM%1 rétabli vers %2.")
                                   .arg(options.port)
                                   .arg(replaced));
    return status;
}
