#include "command_line.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

#include "port/port_map.h"
#include "settings/luminosity_codec.h"
#include "settings/vocabulary.h"

namespace trv::cli {
namespace {

namespace cm = counter;
namespace lc = luminosity;
namespace words = vocabulary;

constexpr int kMaxPort = 255;
constexpr int kMaxPings = 1000;

const QList<std::pair<QString, Command>>& commandNames() {
    static const QList<std::pair<QString, Command>> names{
        {QStringLiteral("ports"), Command::Ports}, {QStringLiteral("detect"), Command::Detect},
        {QStringLiteral("read"), Command::Read},   {QStringLiteral("write"), Command::Write},
        {QStringLiteral("show"), Command::Show},   {QStringLiteral("set"), Command::Set},
        {QStringLiteral("diff"), Command::Diff},   {QStringLiteral("ping"), Command::Ping},
    };
    return names;
}

std::optional<Command> commandNamed(const QString& name) {
    for (const auto& [n, c] : commandNames())
        if (n == name) return c;
    return std::nullopt;
}

bool isHelpOption(const QString& arg) {
    return arg == QLatin1String("-h") || arg == QLatin1String("--help") ||
           arg == QLatin1String("--aide");
}

// "12,00", "12.05", "12": at most `digits` integer digits, then none or two decimals. One
// decimal reads as hundredths on the board and as tenths to most people, so it is refused
// with both readings in *ambiguous ("12,5 : écrivez 12,05 ou 12,50").
std::optional<cm::ValueText> parseValue(const QString& text, int digits, QString* ambiguous) {
    static const QRegularExpression re(QStringLiteral("^([0-9]+)(?:([,.])([0-9]{1,2}))?$"));
    const auto m = re.match(text);
    if (!m.hasMatch() || m.captured(1).size() > digits) return std::nullopt;
    const QString decimals = m.captured(3);
    if (decimals.size() == 1) {
        const QString whole = m.captured(1) + m.captured(2);
        *ambiguous = QStringLiteral("%1 : écrivez %2 ou %3")
                         .arg(text, whole + u'0' + decimals, whole + decimals + u'0');
        return std::nullopt;
    }
    return cm::ValueText{m.captured(1), decimals.isEmpty() ? QStringLiteral("00") : decimals};
}

std::optional<int> parseInt(const QString& text, int minimum, int maximum) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < minimum || v > maximum) return std::nullopt;
    return v;
}

// "12", "12,5", "7.25": a number, whether or not it is one the setting takes.
bool isNumber(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^[0-9]+(?:[,.][0-9]+)?$"));
    return re.match(text).hasMatch();
}

// A number the setting does not take, and text that is no number, are told apart where the
// setting takes numbers; a setting that takes words only has words it does not take.
QString outOfRange(const QString& name, const QString& value, const QString& expected,
                   bool numeric = true) {
    if (numeric && !isNumber(value))
        return QStringLiteral("valeur non numérique pour %1 : « %2 » (attendu : %3)")
            .arg(name, value, expected);
    return QStringLiteral("valeur hors limites pour %1 : « %2 » (attendu : %3)")
        .arg(name, value, expected);
}

// The value of the option at args[i], which i then points at.
std::optional<QString> optionValue(const QStringList& args, qsizetype& i, QString* error) {
    if (i + 1 >= args.size()) {
        *error = QStringLiteral("l'option %1 demande une valeur").arg(args[i]);
        return std::nullopt;
    }
    return args[++i];
}

bool isPortOption(const QString& arg) {
    return arg == QLatin1String("-p") || arg == QLatin1String("--port");
}

// The port list after the -p at args[i] ("3", "3,4,5"), which i then points at.
std::optional<QList<PortChoice>> portList(const QStringList& args, qsizetype& i, QString* error) {
    const auto list = optionValue(args, i, error);
    if (!list) return std::nullopt;
    return parsePorts(*list, error);
}

struct Arguments {
    QList<PortChoice> ports;
    bool portsGiven = false;
    QString output;
    QStringList positional;
    bool noVerify = false;
    bool json = false;
    std::optional<int> count;
};

// Options shared by the commands; each command then says which of them it takes.
std::optional<Arguments> readArguments(const QStringList& args, QString* error) {
    Arguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (isPortOption(arg)) {
            if (a.portsGiven) {
                *error = QStringLiteral("l'option -p est donnée deux fois");
                return std::nullopt;
            }
            const auto ports = portList(args, i, error);
            if (!ports) return std::nullopt;
            a.ports = *ports;
            a.portsGiven = true;
        } else if (arg == QLatin1String("-o") || arg == QLatin1String("--sortie")) {
            const auto v = optionValue(args, i, error);
            if (!v) return std::nullopt;
            a.output = *v;
        } else if (arg == QLatin1String("-n")) {
            const auto v = optionValue(args, i, error);
            if (!v) return std::nullopt;
            a.count = parseInt(*v, 1, kMaxPings);
            if (!a.count) {
                *error = outOfRange(QStringLiteral("-n"), *v, QStringLiteral("1 à 1000"));
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--no-verify")) {
            a.noVerify = true;
        } else if (arg == QLatin1String("--json")) {
            a.json = true;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            *error = QStringLiteral("option inconnue : %1").arg(arg);
            return std::nullopt;
        } else {
            a.positional << arg;
        }
    }
    return a;
}

// diff takes two sources, each a file or "-p LIST".
std::optional<Invocation> parseDiff(const QStringList& args, QString* error) {
    Invocation inv;
    inv.command = Command::Diff;
    QList<Source> sources;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--json")) {
            inv.json = true;
        } else if (isPortOption(arg)) {
            const auto ports = portList(args, i, error);
            if (!ports) return std::nullopt;
            sources.append({QString(), *ports});
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            *error = QStringLiteral("option inconnue : %1").arg(arg);
            return std::nullopt;
        } else {
            sources.append({arg, {}});
        }
    }
    if (sources.size() != 2) {
        *error = QStringLiteral("diff compare deux images : un fichier ou -p N de chaque côté");
        return std::nullopt;
    }
    if (sources[0].ports.size() > 1 && sources[1].ports.size() > 1) {
        *error = QStringLiteral("diff : une liste de ports d'un seul côté");
        return std::nullopt;
    }
    inv.left = sources[0];
    inv.right = sources[1];
    return inv;
}

}  // namespace

QList<PortChoice> linkedPorts() {
    QList<int> numbers;
    const QStringList names =
        QDir(portsFolder()).entryList({QStringLiteral("com*")}, QDir::System | QDir::Files);
    const QString addressFile = QStringLiteral(".adresse");
    for (QString name : names) {
        // A port associated with an address is as much a port to work on as a linked one.
        if (name.endsWith(addressFile)) name.chop(addressFile.size());
        const auto n = parseInt(name.mid(3), 1, kMaxPort);
        if (n && name == QStringLiteral("com%1").arg(*n) && !numbers.contains(*n)) numbers << *n;
    }
    std::sort(numbers.begin(), numbers.end());
    QList<PortChoice> ports;
    for (int n : numbers) ports.append({n, std::nullopt});
    return ports;
}

QString PortChoice::name() const {
    return number > 0 || !address ? QStringLiteral("COM%1").arg(number) : address->text();
}

std::optional<QList<PortChoice>> parsePorts(const QString& text, QString* error) {
    if (text.trimmed() == QLatin1String("all")) {
        QList<PortChoice> ports = linkedPorts();
        if (ports.isEmpty())
            *error = QStringLiteral("-p all : aucun port n'a de lien dans %1 (voir trvctl ports)")
                         .arg(portsFolder());
        return ports.isEmpty() ? std::nullopt : std::optional(ports);
    }
    QList<PortChoice> ports;
    for (const QString& part : text.split(u',')) {
        if (looksLikeNetworkAddress(part)) {
            const auto address = parseNetworkAddress(part, error);
            if (!address) return std::nullopt;
            const PortChoice choice{0, address};
            // Host names know no case: one server written twice is one port, which two
            // threads must not share.
            const auto same = [&](const PortChoice& c) {
                return c.address &&
                       c.address->text().compare(address->text(), Qt::CaseInsensitive) == 0;
            };
            if (std::any_of(ports.begin(), ports.end(), same)) {
                *error = QStringLiteral("l'adresse %1 est donnée deux fois").arg(address->text());
                return std::nullopt;
            }
            ports << choice;
            continue;
        }
        const auto invalid = [&] {
            *error = QStringLiteral("numéro de port invalide : « %1 » (attendu : 1 à %2)")
                         .arg(part)
                         .arg(kMaxPort);
            return std::nullopt;
        };
        // "4-6": every number from the first to the last.
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2) return invalid();
        const auto first = parseInt(ends.front().trimmed(), 1, kMaxPort);
        const auto last = ends.size() == 2 ? parseInt(ends.back().trimmed(), 1, kMaxPort) : first;
        if (!first || !last) return invalid();
        if (*last < *first) {
            *error = QStringLiteral("plage de ports à l'envers : « %1 »").arg(part.trimmed());
            return std::nullopt;
        }
        for (int n = *first; n <= *last; ++n) {
            const PortChoice choice{n, std::nullopt};
            if (ports.contains(choice)) {
                *error = QStringLiteral("le port %1 est donné deux fois").arg(n);
                return std::nullopt;
            }
            ports << choice;
        }
    }
    return ports;
}

std::optional<SettingChanges> parseSettings(const QStringList& assignments, QString* error) {
    SettingChanges c;
    QStringList seen;
    for (const QString& assignment : assignments) {
        const qsizetype eq = assignment.indexOf(u'=');
        if (eq <= 0) {
            *error =
                QStringLiteral("réglage attendu sous la forme nom=valeur : « %1 »").arg(assignment);
            return std::nullopt;
        }
        const QString name = assignment.left(eq).toLower();
        const QString value = assignment.mid(eq + 1).trimmed().toLower();
        if (seen.contains(name)) {
            *error = QStringLiteral("le réglage %1 est donné deux fois").arg(name);
            return std::nullopt;
        }
        seen << name;

        bool known = false;
        for (std::size_t i = 0; i < words::kValueSettings.size(); ++i) {
            if (name != QLatin1String(words::kValueSettings[i].name)) continue;
            known = true;
            const int digits = words::kValueSettings[i].integerDigits;
            QString ambiguous;
            const auto v = parseValue(value, digits, &ambiguous);
            if (!v) {
                *error = ambiguous.isEmpty()
                             ? outOfRange(name, value, words::valueExpected(digits))
                             : QStringLiteral("%1=%2 (une décimale seule est ambiguë)")
                                   .arg(name, ambiguous);
                return std::nullopt;
            }
            c.counter.values[i] = *v;
        }
        if (known) {
            c.anyCounter = true;
            continue;
        }
        if (const auto range = words::colourSettingRange(name)) {
            const auto code = words::colourOfWord(value);
            if (!code) {
                *error = outOfRange(name, value, words::colourExpected(), false);
                return std::nullopt;
            }
            c.counter.colours[std::size_t(*range)] = *code;
            c.anyCounter = true;
        } else if (const auto relay = words::polaritySettingRelay(name)) {
            const auto on = words::yesNoOfWord(value);
            if (!on) {
                *error = outOfRange(name, value, words::yesNoExpected(), false);
                return std::nullopt;
            }
            (*relay == 1 ? c.counter.polrel1 : c.counter.polrel2) = *on;
            c.anyCounter = true;
        } else if (name == words::kModeSetting) {
            c.luminosity.mode = words::modeOfWord(value);
            if (!c.luminosity.mode) {
                *error = outOfRange(name, value, words::modeExpected(), false);
                return std::nullopt;
            }
            c.anyLuminosity = true;
        } else if (name == words::kPeriodSetting) {
            c.luminosity.period = parseInt(value, lc::kPeriodMin, lc::kPeriodMax);
            if (!c.luminosity.period) {
                *error = outOfRange(name, value, words::periodExpected());
                return std::nullopt;
            }
            c.anyLuminosity = true;
        } else if (name == words::kThresholdSetting) {
            c.luminosity.threshold = parseInt(value, lc::kThresholdMin, lc::kThresholdMax);
            if (!c.luminosity.threshold) {
                *error = outOfRange(name, value, words::thresholdExpected());
                return std::nullopt;
            }
            c.anyLuminosity = true;
        } else {
            *error = QStringLiteral("réglage inconnu : %1").arg(name);
            return std::nullopt;
        }
    }
    const auto& k = c.counter;
    c.counterComplete = k.polrel1 && k.polrel2 &&
                        std::all_of(k.values.begin(), k.values.end(),
                                    [](const auto& v) { return v.has_value(); }) &&
                        std::all_of(k.colours.begin(), k.colours.end(),
                                    [](const auto& v) { return v.has_value(); });
    return c;
}

namespace {
Parsed parseCommand(const QStringList& arguments) {
    Parsed p;
    if (arguments.isEmpty()) {
        p.error = QStringLiteral("commande manquante");
        return p;
    }
    const QString first = arguments.front();
    if (isHelpOption(first) || first == QLatin1String("aide") || first == QLatin1String("help")) {
        Invocation inv;
        if (arguments.size() > 2) {
            p.error = QStringLiteral("%1 : une seule commande attendue").arg(first);
            return p;
        }
        if (arguments.size() == 2) {
            inv.helpOn = commandNamed(arguments[1]);
            if (!inv.helpOn) {
                p.error = QStringLiteral("commande inconnue : %1").arg(arguments[1]);
                return p;
            }
        }
        p.invocation = inv;
        return p;
    }
    if (first == QLatin1String("--version")) {
        Invocation inv;
        inv.command = Command::Version;
        p.invocation = inv;
        return p;
    }
    const auto command = commandNamed(first);
    if (!command) {
        p.error = QStringLiteral("commande inconnue : %1").arg(first);
        return p;
    }
    const QStringList rest = arguments.mid(1);
    // "read --help": the command's help, whatever else is on the line.
    if (std::any_of(rest.begin(), rest.end(), isHelpOption)) {
        Invocation inv;
        inv.helpOn = *command;
        p.invocation = inv;
        return p;
    }
    if (*command == Command::Diff) {
        p.invocation = parseDiff(rest, &p.error);
        return p;
    }
    const auto a = readArguments(rest, &p.error);
    if (!a) return p;

    Invocation inv;
    inv.command = *command;
    inv.ports = a->ports;
    inv.output = a->output;
    inv.json = a->json;
    inv.verify = !a->noVerify;
    inv.count = a->count.value_or(inv.count);

    // What each command takes beyond -p and --json.
    const bool needsPorts = *command == Command::Read || *command == Command::Write ||
                            *command == Command::Set || *command == Command::Ping;
    const bool takesPorts = needsPorts || *command == Command::Show;
    const bool takesVerify = *command == Command::Write || *command == Command::Set;
    const auto refuse = [&](const QString& what) {
        p.error = QStringLiteral("%1 : %2").arg(first, what);
        return p;
    };
    if (a->portsGiven && !takesPorts)
        return refuse(QStringLiteral("l'option -p ne s'applique pas"));
    if (needsPorts && !a->portsGiven) return refuse(QStringLiteral("l'option -p N est requise"));
    if (!a->output.isEmpty() && *command != Command::Read)
        return refuse(QStringLiteral("l'option -o ne s'applique pas"));
    if (a->noVerify && !takesVerify)
        return refuse(QStringLiteral("l'option --no-verify ne s'applique pas"));
    if (a->count && *command != Command::Ping)
        return refuse(QStringLiteral("l'option -n ne s'applique pas"));

    switch (*command) {
        case Command::Write:
            if (a->positional.size() != 1)
                return refuse(QStringLiteral("un fichier image attendu"));
            inv.file = a->positional.front();
            break;
        case Command::Show:
            if (a->portsGiven == !a->positional.isEmpty() || a->positional.size() > 1)
                return refuse(QStringLiteral("un fichier image ou -p N attendu"));
            if (!a->positional.isEmpty()) inv.file = a->positional.front();
            break;
        case Command::Set: {
            if (a->positional.isEmpty())
                return refuse(QStringLiteral("réglage nom=valeur attendu"));
            QString error;
            const auto changes = parseSettings(a->positional, &error);
            if (!changes) return refuse(error);
            inv.changes = *changes;
            break;
        }
        default:
            if (!a->positional.isEmpty())
                return refuse(QStringLiteral("argument inattendu : %1").arg(a->positional.front()));
            break;
    }
    p.invocation = inv;
    return p;
}
}  // namespace

Parsed parse(const QStringList& arguments) {
    // --trace FILE goes with any command, anywhere on the line.
    QStringList rest = arguments;
    QString trace;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] != QLatin1String("--trace")) continue;
        Parsed p;
        if (i + 1 >= rest.size())
            p.error = QStringLiteral("l'option --trace demande une valeur");
        else if (!trace.isEmpty())
            p.error = QStringLiteral("l'option --trace est donnée deux fois");
        else if (rest[i + 1].isEmpty())
            p.error = QStringLiteral("l'option --trace demande un nom de fichier");
        if (!p.error.isEmpty()) return p;
        trace = rest.takeAt(i + 1);
        rest.removeAt(i--);
    }
    Parsed p = parseCommand(rest);
    if (p.invocation) p.invocation->trace = trace;
    return p;
}

namespace {
QString portsAndStatuses() {
    return QStringLiteral(
               "Port n : le lien %1/comN vers le périphérique (trvctl ports les montre).\n"
               "Un port associé à un serveur série en réseau (fenêtre Ports série) a le fichier\n"
               "comN.adresse à la place du lien ; -p accepte aussi l'adresse du serveur\n"
               "directement : rfc2217://HÔTE:PORT (RFC 2217) ou tcp://HÔTE:PORT (TCP brut).\n"
               "\n"
               "Code de sortie (le plus grave de tous les ports) :\n"
               "  0 succès ; 1 une carte n'a pas répondu, la vérification a échoué ou diff a "
               "trouvé\n"
               "  des différences ; 2 mauvais usage ou fichier illisible ; 3 un port ne s'ouvre "
               "pas ;\n"
               "  130 interrompu (Ctrl+C) : le message dit ce que la carte peut contenir.\n")
        .arg(portsFolder());
}
}  // namespace

QString helpText() {
    const QString commands = QStringLiteral(
        "Usage : trvctl <commande> [options]\n"
        "\n"
        "Lit, programme et compare les cartes TRV (compteur / décompteur) sur une liaison\n"
        "série, comme le font les fenêtres de trv-compteur.\n"
        "\n"
        "Commandes :\n"
        "  ports                        les ports COMn avec leurs liens, et les périphériques\n"
        "                               série de la machine\n"
        "                               (et les ports associés à une adresse réseau)\n"
        "  detect                       recherche de COM1 à COM14 : absent, libre ou carte\n"
        "  read -p N [-o FICHIER]       lit l'image entière (128 octets) ; l'écrit dans\n"
        "                               FICHIER (.hex ou .bin) ou affiche le tableau 8 × 16\n"
        "  write -p N FICHIER           écrit une image entière, après avoir gardé l'image\n"
        "                               de la carte dans l'historique, puis la relit et la\n"
        "                               compare (--no-verify : sans relecture)\n"
        "  show (FICHIER | -p N)        les réglages décodés : paramètres de comptage,\n"
        "                               couleurs, relais, luminosité, microswitches, signature\n"
        "  set -p N nom=valeur...       programme des réglages comme les fenêtres, puis\n"
        "                               vérifie (--no-verify : sans relecture)\n"
        "  diff A B                     différences réglage par réglage ; A et B sont des\n"
        "                               fichiers ou -p N\n"
        "  ping -p N [-n NOMBRE]        la sonde de détection répétée (4 fois par défaut) :\n"
        "                               réponses et temps aller-retour\n"
        "\n"
        "Options :\n"
        "  -p PORTS       le ou les ports : 3 ; 3,4 ; 1-3 ; 1,4-6 ; all (chaque port qui a\n"
        "                 un lien) ; avec plusieurs ports, la même opération se fait sur\n"
        "                 tous à la fois, une ligne de résultat par port ; une adresse\n"
        "                 réseau vaut un port : 3,rfc2217://10.0.0.5:4001,tcp://hôte:4002\n"
        "  -o FICHIER     read : le fichier image ; avec plusieurs ports, « _COMn » est\n"
        "                 ajouté avant l'extension\n"
        "  --json         résultats en JSON pour les scripts\n"
        "  --no-verify    write, set : pas de relecture après l'écriture\n"
        "  --trace FICHIER  écrit dans FICHIER les trames envoyées et les réponses reçues,\n"
        "                 en clair, comme la fenêtre « Trafic série »\n"
        "  -h, --aide     cette aide ; --version : la version\n"
        "\n"
        "trvctl help COMMANDE ou trvctl COMMANDE --help : l'aide d'une commande.\n"
        "\n");
    return commands + vocabulary::settingsHelp() + u'\n' + portsAndStatuses();
}

QString commandName(Command command) {
    for (const auto& [n, c] : commandNames())
        if (c == command) return n;
    return QStringLiteral("help");
}

QString commandHelp(Command command) {
    QString usage;
    QString what;
    QString options;
    switch (command) {
        case Command::Help:
        case Command::Version:
            return helpText();
        case Command::Ports:
            usage = QStringLiteral("trvctl ports [--json]");
            what =
                QStringLiteral(
                    "Les ports COMn avec leurs liens (dans le dossier des liens) et les\n"
                    "périphériques série de la machine. Pour associer un périphérique au port n,\n"
                    "créez le lien : ln -s /dev/ttyUSB0 %1/comN\n"
                    "Un port associé à un serveur série en réseau est montré « réseau » avec son\n"
                    "adresse (fichier comN.adresse).\n")
                    .arg(portsFolder());
            break;
        case Command::Detect:
            usage = QStringLiteral("trvctl detect [--json]");
            what = QStringLiteral(
                "Recherche de COM1 à COM14, un port après l'autre : absent, libre (le port\n"
                "s'ouvre mais aucune carte ne répond) ou carte.\n");
            break;
        case Command::Read:
            usage = QStringLiteral("trvctl read -p PORTS [-o FICHIER] [--json]");
            what = QStringLiteral(
                "Lit l'image entière (128 octets) de la carte et l'écrit dans FICHIER (.hex ou\n"
                ".bin), ou affiche le tableau 8 × 16. L'image lue est gardée dans l'historique.\n"
                "Le fichier est ouvert avant la première trame : s'il ne peut pas être écrit,\n"
                "rien n'est envoyé.\n");
            options = QStringLiteral(
                "  -o FICHIER   avec plusieurs ports, « _COMn » est ajouté avant l'extension\n");
            break;
        case Command::Write:
            usage = QStringLiteral("trvctl write -p PORTS FICHIER [--no-verify] [--json]");
            what = QStringLiteral(
                "Lit l'image de la carte (gardée dans l'historique), écrit l'image entière de\n"
                "FICHIER, puis la relit et la compare. Ctrl+C arrête à la fin de la transaction\n"
                "en cours : une écriture commencée va jusqu'à son acquittement, rien ne suit.\n");
            options = QStringLiteral("  --no-verify  pas de relecture après l'écriture\n");
            break;
        case Command::Show:
            usage = QStringLiteral("trvctl show (FICHIER | -p PORTS) [--json]");
            what = QStringLiteral(
                "Les réglages décodés d'un fichier image ou des cartes : paramètres de comptage,\n"
                "couleurs, relais, luminosité, microswitches, signature. En JSON, les clés sont\n"
                "les noms de set (depart, fin, couleur1, periode_s…), les nombres des nombres.\n");
            break;
        case Command::Set:
            usage = QStringLiteral("trvctl set -p PORTS nom=valeur... [--no-verify] [--json]");
            what = QStringLiteral(
                       "Programme des réglages comme les fenêtres (le compteur comme « Programme\n"
                       "les paramètres », la luminosité comme son « Envoi »), puis relit et\n"
                       "vérifie. Ctrl+C arrête à la fin de la transaction en cours.\n\n") +
                   vocabulary::settingsHelp();
            options = QStringLiteral("  --no-verify  pas de relecture après la programmation\n");
            break;
        case Command::Diff:
            usage = QStringLiteral("trvctl diff A B [--json]");
            what = QStringLiteral(
                "Différences réglage par réglage entre deux images ; A et B sont chacun un\n"
                "fichier ou -p PORTS (une liste de ports d'un seul côté). Sortie 1 quand des\n"
                "différences sont trouvées.\n");
            break;
        case Command::Ping:
            usage = QStringLiteral("trvctl ping -p PORTS [-n NOMBRE] [--json]");
            what = QStringLiteral(
                "La sonde de détection répétée NOMBRE fois (4 par défaut, 1 à 1000) : réponses\n"
                "et temps aller-retour.\n");
            options = QStringLiteral("  -n NOMBRE    le nombre de sondes\n");
            break;
    }
    QString text = QStringLiteral("Usage : %1\n\n%2").arg(usage, what);
    const bool onPorts = command == Command::Read || command == Command::Write ||
                         command == Command::Show || command == Command::Set ||
                         command == Command::Diff || command == Command::Ping;
    if (onPorts)
        options.prepend(QStringLiteral(
            "  -p PORTS     3 ; 3,4 ; 1-3 ; 1,4-6 ; all (chaque port qui a un lien)\n"
            "               ou des adresses : 3,rfc2217://10.0.0.5:4001,tcp://hôte:4002\n"));
    options += QStringLiteral(
        "  --json       résultats en JSON pour les scripts\n"
        "  --trace FICHIER  les trames envoyées et les réponses reçues, en clair\n");
    text += QStringLiteral("\nOptions :\n") + options + u'\n' + portsAndStatuses();
    return text;
}

}  // namespace trv::cli
