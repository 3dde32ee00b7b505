#include "command_line.h"

#include <QRegularExpression>

#include "settings/luminosity_codec.h"
#include "settings/vocabulary.h"

namespace trv::cli {
namespace {

namespace cm = counter;
namespace lc = luminosity;
namespace words = vocabulary;

constexpr int kMaxPort = 255;
constexpr int kMaxPings = 1000;

std::optional<Command> commandNamed(const QString& name) {
    static const QList<std::pair<QString, Command>> names{
        {QStringLiteral("ports"), Command::Ports}, {QStringLiteral("detect"), Command::Detect},
        {QStringLiteral("read"), Command::Read},   {QStringLiteral("write"), Command::Write},
        {QStringLiteral("show"), Command::Show},   {QStringLiteral("set"), Command::Set},
        {QStringLiteral("diff"), Command::Diff},   {QStringLiteral("ping"), Command::Ping},
    };
    for (const auto& [n, c] : names)
        if (n == name) return c;
    return std::nullopt;
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

QString outOfRange(const QString& name, const QString& value, const QString& expected) {
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
std::optional<QList<int>> portList(const QStringList& args, qsizetype& i, QString* error) {
    const auto list = optionValue(args, i, error);
    if (!list) return std::nullopt;
    return parsePorts(*list, error);
}

struct Arguments {
    QList<int> ports;
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

std::optional<QList<int>> parsePorts(const QString& text, QString* error) {
    QList<int> ports;
    for (const QString& part : text.split(u',')) {
        const auto n = parseInt(part.trimmed(), 1, kMaxPort);
        if (!n) {
            *error = QStringLiteral("numéro de port invalide : « %1 » (attendu : 1 à %2)")
                         .arg(part)
                         .arg(kMaxPort);
            return std::nullopt;
        }
        if (ports.contains(*n)) {
            *error = QStringLiteral("le port %1 est donné deux fois").arg(*n);
            return std::nullopt;
        }
        ports << *n;
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
                *error = outOfRange(name, value, words::colourExpected());
                return std::nullopt;
            }
            c.counter.colours[std::size_t(*range)] = *code;
            c.anyCounter = true;
        } else if (const auto relay = words::polaritySettingRelay(name)) {
            const auto on = words::yesNoOfWord(value);
            if (!on) {
                *error = outOfRange(name, value, words::yesNoExpected());
                return std::nullopt;
            }
            (*relay == 1 ? c.counter.polrel1 : c.counter.polrel2) = *on;
            c.anyCounter = true;
        } else if (name == words::kModeSetting) {
            c.luminosity.mode = words::modeOfWord(value);
            if (!c.luminosity.mode) {
                *error = outOfRange(name, value, words::modeExpected());
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
    if (first == QLatin1String("-h") || first == QLatin1String("--help") ||
        first == QLatin1String("--aide") || first == QLatin1String("aide")) {
        p.invocation = Invocation{};
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
        "  -p N[,N...]    le ou les ports ; avec plusieurs ports, la même opération se fait\n"
        "                 sur tous à la fois, une ligne de résultat par port\n"
        "  -o FICHIER     read : le fichier image ; avec plusieurs ports, « _COMn » est\n"
        "                 ajouté avant l'extension\n"
        "  --json         résultats en JSON pour les scripts\n"
        "  --no-verify    write, set : pas de relecture après l'écriture\n"
        "  --trace FICHIER  écrit dans FICHIER les trames envoyées et les réponses reçues,\n"
        "                 en clair, comme la fenêtre « Trafic série »\n"
        "  -h, --aide     cette aide ; --version : la version\n"
        "\n");
    const QString ports = QStringLiteral(
        "Port n : le lien ~/.local/share/trv-compteur/ports/comN vers le périphérique.\n"
        "\n"
        "Code de sortie (le plus grave de tous les ports) :\n"
        "  0 succès ; 1 une carte n'a pas répondu, la vérification a échoué ou diff a trouvé\n"
        "  des différences ; 2 mauvais usage ou fichier illisible ; 3 un port ne s'ouvre pas.\n");
    return commands + vocabulary::settingsHelp() + u'\n' + ports;
}

}  // namespace trv::cli
