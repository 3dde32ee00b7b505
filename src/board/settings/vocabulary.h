#pragma once

#include <QString>
#include <array>
#include <optional>

#include "settings/parameter_map.h"

// The words of the settings as a technician types and reads them: the names trvctl's `set`
// takes, the words of its values (the range colours' words are also how the comparison shows
// a colour), and the help that lists them all. Kept together so the parser, the help and the
// comparison cannot drift apart.
namespace trv::vocabulary {

// The counter's value settings by name, in the order programming writes them: entry i is
// field counter::kProgrammedFields[i].
struct ValueSetting {
    const char* name;
    int integerDigits;  // the step keeps four integer digits, the others ten
};
inline constexpr std::array<ValueSetting, counter::kProgrammedFields.size()> kValueSettings{{
    {"depart", 10},
    {"fin", 10},
    {"relais1", 10},
    {"relais2", 10},
    {"plage2", 10},
    {"plage3", 10},
    {"plage4", 10},
    {"plage5", 10},
    {"pas", counter::kStepDigits},
}};

// "couleur1" to "couleur5": the colour of ranges 1 to 5, as index 0 to 4; nullopt for any
// other name.
std::optional<int> colourSettingRange(const QString& name);
// "polrel1" and "polrel2": the polarity of relay 1 or 2.
std::optional<int> polaritySettingRelay(const QString& name);
// The luminosity window's three settings.
inline const QString kModeSetting = QStringLiteral("luminosite");
inline const QString kPeriodSetting = QStringLiteral("periode");
inline const QString kThresholdSetting = QStringLiteral("seuil");

// "aucune", "rouge", "vert", "orange".
QString colourWord(counter::ColourCode code);
std::optional<counter::ColourCode> colourOfWord(const QString& word);
// "oui" or "1", "non" or "0".
std::optional<bool> yesNoOfWord(const QString& word);
// The brightness option a word picks: "capteur", or a level the window offers ("80",
// "80%"); "20" only ever comes from a board.
std::optional<int> modeOfWord(QString word);

// What a setting takes, as the help and the refusals of a bad value say it.
QString valueExpected(int integerDigits);  // "jusqu'à 10 chiffres, puis « , » et ..."
QString colourExpected();                  // "aucune, rouge, vert ou orange"
QString yesNoExpected();                   // "oui ou non"
QString modeExpected();                    // "100, 80, 60, 50, 40 ou capteur"
QString periodExpected();                  // "1 à 128 secondes"
QString thresholdExpected();               // "0 à 15"

// The help's paragraph on the settings, from its title "Réglages de set :" to its last line.
QString settingsHelp();
// Every counter setting, "depart, fin, ..., polrel2": a board without its signature is
// programmed only when all of them are given.
QString counterSettingNames();

}  // namespace trv::vocabulary
