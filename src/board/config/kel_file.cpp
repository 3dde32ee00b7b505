#include "config/kel_file.h"

#include <climits>

namespace trv::kel {
namespace {

// Labels of the report lines, in file order; each ends with one blank.
const std::array<QString, kSettingCount> kLabels = {
    QStringLiteral("Connecté sur Port "), QStringLiteral("INTERFACE "), QStringLiteral("DIGIT "),
    QStringLiteral("Couleur "),           QStringLiteral("DCF77 "),     QStringLiteral("Relais 1 "),
    QStringLiteral("Relais 2 "),          QStringLiteral("Réponse "),
};

const QString kBlanks = QString(33, QLatin1Char(' '));
const QString kHyphens = QString(33, QLatin1Char('-'));

// The characters Windows-1252 places at 0x80 to 0x9F (0 where it has none).
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char windows1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
    // Some locales separate the time from its AM/PM mark by a narrow no-break space.
    if (c == 0x202F) return char(0xA0);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == c) return char(0x80 + i);
    return '?';
}

}  // namespace

QString reportTime(const QTime& time, const QLocale& locale) {
    // The locale's long time format carries the seconds; its time zone has no place here.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (quoted || c != u't') withoutZone += c;
    }
    withoutZone = withoutZone.trimmed();
    if (!withoutZone.contains(u's')) withoutZone = QStringLiteral("HH:mm:ss");
    return locale.toString(time, withoutZone);
}

QByteArray toWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (char32_t c : text.toUcs4()) bytes.append(windows1252(c));
    return bytes;
}

QByteArray writeKelFile(const Selections& selections, const QDateTime& now, const QLocale& locale) {
    QStringList lines;
    for (int index : selections.indexes) lines << QString::number(index);
    lines << QStringLiteral("             K E L               ") << kHyphens
          << QStringLiteral("DEBUT DU FICHIER DE CONFIGURATION") << kBlanks
          << QStringLiteral("Chronomètre au centième          ") << kHyphens;
    for (int i = 0; i < kSettingCount; ++i)
        lines << kLabels[std::size_t(i)] + selections.texts[std::size_t(i)];
    lines << kBlanks << kHyphens << kBlanks << QStringLiteral("FIN DU FICHIER DE CONFIGURATION  ")
          << kBlanks
          << QStringLiteral("crée le: ") + locale.toString(now.date(), QLocale::ShortFormat)
          << QStringLiteral("à ") + reportTime(now.time(), locale) << kHyphens << kBlanks;

    QByteArray bytes;
    for (const QString& line : lines) bytes += toWindows1252(line) + "\r\n";
    return bytes;
}

std::vector<int> readKelIndexes(QByteArrayView head) {
    std::vector<int> indexes;
    qsizetype pos = 0;
    while (indexes.size() < std::size_t(kSettingCount) && pos < head.size()) {
        const qsizetype lineEnd = [&] {
            const qsizetype lf = head.indexOf('\n', pos);
            return lf < 0 ? head.size() : lf;
        }();
        qsizetype i = pos;
        long long value = 0;
        for (; i < lineEnd && head[i] >= '0' && head[i] <= '9'; ++i) {
            value = value * 10 + (head[i] - '0');
            if (value > INT_MAX) return indexes;
        }
        if (i == pos) return indexes;
        indexes.push_back(int(value));
        pos = lineEnd + 1;
    }
    return indexes;
}

}  // namespace trv::kel
