#include "settings/vocabulary.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <utility>

#include "settings/luminosity_codec.h"

namespace trv::vocabulary {
namespace {

namespace cm = counter;
namespace lc = luminosity;

constexpr std::array<cm::ColourCode, 4> kColourCodes{cm::ColourCode::None, cm::ColourCode::Red,
                                                     cm::ColourCode::Green, cm::ColourCode::Orange};

// "a, b, c ou d".
QString choices(QStringList words) {
    const QString last = words.takeLast();
    return words.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + last;
}

// The levels the window lets the user pick, by option, as percentages without their sign.
QList<std::pair<int, QString>> offeredLevels() {
    QList<std::pair<int, QString>> levels;
    for (int option = 0; option < lc::kOptionCount; ++option) {
        if (option == lc::kSensorOption || option == lc::kLowestOption) continue;
        QString caption = lc::optionCaption(option);
        caption.chop(1);
        levels.append({option, caption});
    }
    return levels;
}

const QString kSensorWord = QStringLiteral("capteur");

}  // namespace

std::optional<int> colourSettingRange(const QString& name) {
    static const QRegularExpression colourName(QStringLiteral("^couleur([1-5])$"));
    const auto m = colourName.match(name);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toInt() - 1;
}

std::optional<int> polaritySettingRelay(const QString& name) {
    if (name == QLatin1String("polrel1")) return 1;
    if (name == QLatin1String("polrel2")) return 2;
    return std::nullopt;
}

QString colourWord(cm::ColourCode code) {
    switch (code) {
        case cm::ColourCode::Red:
            return QStringLiteral("rouge");
        case cm::ColourCode::Green:
            return QStringLiteral("vert");
        case cm::ColourCode::Orange:
            return QStringLiteral("orange");
        case cm::ColourCode::None:
            break;
    }
    return QStringLiteral("aucune");
}

std::optional<cm::ColourCode> colourOfWord(const QString& word) {
    for (cm::ColourCode code : kColourCodes)
        if (word == colourWord(code)) return code;
    return std::nullopt;
}

std::optional<bool> yesNoOfWord(const QString& word) {
    if (word == QLatin1String("oui") || word == QLatin1String("1")) return true;
    if (word == QLatin1String("non") || word == QLatin1String("0")) return false;
    return std::nullopt;
}

std::optional<int> modeOfWord(QString word) {
    if (word == kSensorWord) return lc::kSensorOption;
    if (word.endsWith(u'%')) word.chop(1);
    for (const auto& [option, level] : offeredLevels())
        if (level == word) return option;
    return std::nullopt;
}

QString valueExpected(int integerDigits) {
    return QStringLiteral("jusqu'à %1 chiffres, puis, s'il y en a, « , » et deux décimales")
        .arg(integerDigits);
}

QString colourExpected() {
    QStringList words;
    for (cm::ColourCode code : kColourCodes) words << colourWord(code);
    return choices(words);
}

QString yesNoExpected() { return QStringLiteral("oui ou non"); }

QString modeExpected() {
    QStringList words;
    for (const auto& [option, level] : offeredLevels()) words << level;
    return choices(words << kSensorWord);
}

QString periodExpected() {
    return QStringLiteral("%1 à %2 secondes").arg(lc::kPeriodMin).arg(lc::kPeriodMax);
}

QString thresholdExpected() {
    return QStringLiteral("%1 à %2").arg(lc::kThresholdMin).arg(lc::kThresholdMax);
}

QString settingsHelp() {
    const QString help = QStringLiteral(
        "Réglages de set :\n"
        "  depart, fin, relais1, relais2, plage2 ... plage5   valeur « 12,00 » (10 chiffres\n"
        "                 au plus avant la virgule, 2 après)\n"
        "  pas            pas de comptage, 4 chiffres au plus avant la virgule\n"
        "  couleur1 ... couleur5   %1\n"
        "  polrel1, polrel2        polarité des relais : %2\n"
        "  luminosite     %3\n"
        "  periode        fréquence de commutation, %4\n"
        "  seuil          commutation jour/nuit, 0 (jour) à 15 (nuit)\n"
        "  Les réglages du compteur non donnés gardent la valeur de la carte ; une carte\n"
        "  sans signature n'est programmée que si tous les réglages du compteur sont donnés.\n");
    return help.arg(colourExpected(), yesNoExpected(), modeExpected(), periodExpected());
}

QString counterSettingNames() {
    return QStringLiteral(
        "depart, fin, relais1, relais2, plage2 à plage5, pas, couleur1 à couleur5, polrel1, "
        "polrel2");
}

}  // namespace trv::vocabulary
