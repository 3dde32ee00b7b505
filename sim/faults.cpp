#include "sim/faults.h"

#include <QStringList>

namespace trv::sim {

namespace {

// Upper bounds keep a typing slip from freezing the board for hours or filling memory.
constexpr int kMaxBytes = 1'000'000;
constexpr int kMaxMs = 60'000;

struct Number {
    const char* name;
    int Faults::*field;
    int minimum;
    int maximum;
};

constexpr Number kNumbers[] = {
    {"cut", &Faults::cut, 0, kMaxBytes},        {"extra", &Faults::extra, 0, kMaxBytes},
    {"drop", &Faults::dropEvery, 0, kMaxBytes}, {"delay", &Faults::delayMs, 0, kMaxMs},
    {"pause", &Faults::pauseMs, 0, kMaxMs},     {"noise", &Faults::noise, 0, kMaxBytes},
    {"unwritten", &Faults::unwritten, 0, 127},  {"frame-delay", &Faults::frameDelayMs, 0, kMaxMs},
};

struct Flag {
    const char* name;
    bool Faults::*field;
};

constexpr Flag kFlags[] = {
    {"silent", &Faults::silent},
    {"garbage", &Faults::garbage},
    {"wrong-probe", &Faults::wrongProbe},
};

std::optional<int> number(QStringView text, int minimum, int maximum) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum || value > maximum) return std::nullopt;
    return value;
}

}  // namespace

QString faultsText(const Faults& faults) {
    QStringList words;
    for (const Flag& flag : kFlags)
        if (faults.*flag.field) words << QLatin1String(flag.name);
    const Faults none;
    for (const Number& n : kNumbers)
        if (faults.*n.field != none.*n.field)
            words << QStringLiteral("%1=%2").arg(QLatin1String(n.name)).arg(faults.*n.field);
    if (faults.vanishAfter > 0)
        words << QStringLiteral("vanish=%1,%2").arg(faults.vanishAfter).arg(faults.vanishMs);
    return words.isEmpty() ? QStringLiteral("none") : words.join(u' ');
}

std::optional<Faults> parseFaults(QStringView line, QString* error) {
    Faults faults;
    const QList<QStringView> words = line.split(u' ', Qt::SkipEmptyParts);
    for (QStringView word : words) {
        word = word.trimmed();
        if (word.isEmpty() || word == u"none") continue;
        const qsizetype equals = word.indexOf(u'=');
        const QStringView name = equals < 0 ? word : word.first(equals);
        const QStringView value = equals < 0 ? QStringView() : word.sliced(equals + 1);
        bool known = false;
        for (const Flag& flag : kFlags) {
            if (name != QLatin1String(flag.name)) continue;
            known = true;
            if (equals >= 0) {
                *error = QStringLiteral("« %1 » ne prend pas de valeur.").arg(name);
                return std::nullopt;
            }
            faults.*flag.field = true;
        }
        for (const Number& n : kNumbers) {
            if (name != QLatin1String(n.name)) continue;
            known = true;
            const std::optional<int> v = number(value, n.minimum, n.maximum);
            if (!v) {
                *error = QStringLiteral("« %1 » attend un nombre entier de %2 à %3.")
                             .arg(name)
                             .arg(n.minimum)
                             .arg(n.maximum);
                return std::nullopt;
            }
            faults.*n.field = *v;
        }
        if (name == u"vanish") {
            known = true;
            const qsizetype comma = value.indexOf(u',');
            const std::optional<int> after =
                comma < 0 ? std::nullopt : number(value.first(comma), 1, kMaxBytes);
            const std::optional<int> ms =
                comma < 0 ? std::nullopt : number(value.sliced(comma + 1), 0, kMaxMs);
            if (!after || !ms) {
                *error = QStringLiteral(
                    "« vanish » attend OCTETS,MS : le port disparaît après OCTETS octets "
                    "reçus et revient MS millisecondes plus tard.");
                return std::nullopt;
            }
            faults.vanishAfter = *after;
            faults.vanishMs = *ms;
        }
        if (!known) {
            *error = QStringLiteral("Panne inconnue : « %1 ».").arg(word);
            return std::nullopt;
        }
    }
    return faults;
}

}  // namespace trv::sim
