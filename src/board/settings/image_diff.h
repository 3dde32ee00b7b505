#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "image/eeprom_image.h"

// Two images compared the way a technician reads them: by setting ("Départ", "Luminosité",
// "DIP SW3 n°2"), and byte by byte only where no setting tells the difference (the bytes no
// window decodes, or bits no window uses).
namespace trv::diff {

// One setting of an image as the windows show it ("Départ", "12,00"), and as a script
// reads it: under `set`'s name where it has one ("depart": 12.0), otherwise an ASCII name
// ("fin_max", "sw3_1"); numbers as numbers with their unit in the name ("periode_s"), yes/no
// as booleans, null for what does not decode. Most settings are one field; the luminosity
// is two ("luminosite": the word `set` takes, "luminosite_pct": the level).
struct SettingValue {
    QString setting;
    QString value;
    QString key;         // the setting's first field
    QJsonObject fields;  // every field, key first
};
// Every setting the windows decode from an image, in the windows' order: counter rows,
// range colours, flags, signature, luminosity, switches, variant (the same names and values
// the comparison reports).
QList<SettingValue> settingValues(const ImageBytes& image);

// The addresses whose bytes differ, in ascending order.
QList<int> differingAddresses(const ImageBytes& left, const ImageBytes& right);

struct Difference {
    QString setting;       // "Départ", "Couleur plage 2", "Octet 0x5A", ...
    QString left;          // the value in the left image, as the windows show it
    QString right;         // the value in the right image
    QList<int> addresses;  // the differing addresses the setting covers
    QString key;           // as SettingValue::key; "octet_0x5a" for a byte
    QJsonValue leftData;   // the key's value in each image, as SettingValue::fields has it
    QJsonValue rightData;
    friend bool operator==(const Difference&, const Difference&) = default;
};

// Every difference, in the order of the first address it covers. Empty when the images are
// equal; every differing address is covered by at least one entry.
QList<Difference> differences(const ImageBytes& left, const ImageBytes& right);

// "Départ : grille 12,00 / carte 10,00" with leftName "grille" and rightName "carte".
QString describe(const Difference& difference, const QString& leftName, const QString& rightName);
QStringList describeAll(const QList<Difference>& differences, const QString& leftName,
                        const QString& rightName);

// A read-back against the image written: the addresses whose cell is not the byte written
// there (another byte, or characters that are no byte), in ascending order. "5" stands for 05.
QList<int> untakenAddresses(const CellTexts& written, const CellTexts& found);
// The same in words: by setting when the board sent a byte at every address
// ("Départ : grille 12,00 / carte 10,00"), byte by byte otherwise
// ("Octet 0x05 : grille 0A / carte « G0 »").
QStringList describeReadBack(const ImageBytes& written, const CellTexts& found,
                             const QString& writtenName, const QString& foundName);

}  // namespace trv::diff
