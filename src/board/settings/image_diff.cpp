#include "settings/image_diff.h"

#include <QJsonObject>
#include <algorithm>
#include <functional>

#include "settings/luminosity_codec.h"
#include "settings/parameter_map.h"
#include "settings/switch_codec.h"
#include "settings/vocabulary.h"

namespace trv::diff {
namespace {

namespace cm = counter;
namespace lc = luminosity;
namespace sc = switches;

// One setting: its name, the addresses it is stored in, how the windows show it, and its
// fields for scripts.
struct Setting {
    QString name;
    QList<int> addresses;
    std::function<QString(const CellTexts&)> show;
    QString key;
    std::function<QJsonObject(const CellTexts&)> fields;
};

// A parameter as a number ("0000000012","50" is 12.5); null when its digits are not decimal
// (a blank EEPROM's "FF").
QJsonValue valueNumber(const std::optional<cm::ValueText>& v) {
    if (!v) return QJsonValue::Null;
    bool ok = false;
    const double number = (v->integer + u'.' + v->decimals).toDouble(&ok);
    const bool digits =
        std::all_of(v->integer.begin(), v->integer.end(), [](QChar c) { return c.isDigit(); }) &&
        std::all_of(v->decimals.begin(), v->decimals.end(), [](QChar c) { return c.isDigit(); });
    return ok && digits ? QJsonValue(number) : QJsonValue(QJsonValue::Null);
}

std::function<QJsonObject(const CellTexts&)> one(
    const QString& key, std::function<QJsonValue(const CellTexts&)> value) {
    return [key, value = std::move(value)](const CellTexts& c) {
        return QJsonObject{{key, value(c)}};
    };
}

QList<int> range(int first, int count) {
    QList<int> list;
    for (int i = 0; i < count; ++i) list << first + i;
    return list;
}

QString hex2(unsigned value) { return cellText(quint8(value)); }

// A parameter as the fields show it: a number with its leading zeros dropped ("12,00"); cells
// that are not all decimal digits as they stand ("0B0A090807,06", "FFFFFFFFFF,FF"), where a
// zero is a digit of a cell like any other.
QString valueText(const cm::ValueText& v) {
    QString integer = v.integer;
    const bool number =
        std::all_of(integer.begin(), integer.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (number)
        while (integer.size() > 1 && integer.front() == u'0') integer.remove(0, 1);
    return integer + u',' + v.decimals;
}

QString checked(bool on) { return on ? QStringLiteral("cochée") : QStringLiteral("non cochée"); }

QString modeText(const CellTexts& cells) {
    const std::optional<int> option = lc::decodeMode(cells);
    if (!option) return QStringLiteral("aucune (%1)").arg(cells[lc::kModeCell]);
    if (*option == lc::kSensorOption) return QStringLiteral("capteur");
    return lc::optionCaption(*option).replace(QStringLiteral("%"), QStringLiteral(" %"));
}

QString thresholdText(const CellTexts& cells) {
    if (const auto t = lc::decodeThreshold(cells)) return QString::number(*t);
    return QStringLiteral("%1 (hors échelle)").arg(cells[lc::kThresholdCell]);
}

QString variantName(const CellTexts& cells) {
    switch (sc::decodeVariant(cells)) {
        case sc::Variant::ThreeColours:
            return QStringLiteral("trois couleurs");
        case sc::Variant::OneColour:
            return QStringLiteral("une couleur");
        case sc::Variant::Unknown:
            break;
    }
    return QStringLiteral("inconnue (%1)").arg(cells[sc::kVariantCell]);
}

QList<Setting> buildSettings() {
    QList<Setting> s;
    // Counter parameters, in the window's row order.
    // The value settings' keys are set's names; the register and the highest end are not set.
    const std::array<std::pair<int, const char16_t*>, 11> records{{
        {0, u"Départ"},
        {1, u"Fin"},
        {2, u"Relais 1"},
        {3, u"Relais 2"},
        {4, u"Plage 2"},
        {5, u"Plage 3"},
        {6, u"Plage 4"},
        {7, u"Plage 5"},
        {cm::kStepField, u"Pas de comptage"},
        {cm::kRegisterField, u"Registre"},
        {cm::kMaxEndField, u"Fin Max"},
    }};
    for (const auto& [field, name] : records) {
        const int base = *cm::recordBase(field);
        const int length = field == cm::kStepField ? cm::kStepRecordLength : cm::kRecordLength;
        const QString key =
            cm::isProgrammed(field)
                ? QString::fromLatin1(vocabulary::kValueSettings[std::size_t(field)].name)
            : field == cm::kRegisterField ? QStringLiteral("registre")
                                          : QStringLiteral("fin_max");
        // Copied by name: clang 14 cannot capture a structured binding.
        s.append(
            {QString::fromUtf16(name), range(base, length),
             [field = field](const CellTexts& c) { return valueText(*cm::decodeField(c, field)); },
             key, one(key, [field = field](const CellTexts& c) {
                 return valueNumber(cm::decodeField(c, field));
             })});
    }
    for (int k = 0; k < cm::kRangeCount; ++k) {
        const int cell = cm::kColourCell12 + k / 2;
        const auto colour = [k](const CellTexts& c) {
            return vocabulary::colourWord(cm::readRangeColours(c)[std::size_t(k)]);
        };
        const QString key = QStringLiteral("couleur%1").arg(k + 1);
        s.append({QStringLiteral("Couleur plage %1").arg(k + 1),
                  {cell},
                  colour,
                  key,
                  one(key, [colour](const CellTexts& c) { return QJsonValue(colour(c)); })});
    }
    for (const int relay : {1, 2}) {
        const auto on = [relay](const CellTexts& c) {
            return relay == 1 ? cm::readFlags(c).polrel1 : cm::readFlags(c).polrel2;
        };
        const QString key = QStringLiteral("polrel%1").arg(relay);
        s.append({QStringLiteral("Polarité relais %1").arg(relay),
                  {cm::kFlagCell},
                  [on](const CellTexts& c) { return checked(on(c)); },
                  key,
                  one(key, [on](const CellTexts& c) { return QJsonValue(on(c)); })});
    }
    s.append({QStringLiteral("Sens de comptage"),
              {cm::kFlagCell},
              [](const CellTexts& c) {
                  return cm::readFlags(c).polrel3 ? QStringLiteral("décompte")
                                                  : QStringLiteral("compte");
              },
              QStringLiteral("decompte"),
              one(QStringLiteral("decompte"),
                  [](const CellTexts& c) { return QJsonValue(cm::readFlags(c).polrel3); })});
    s.append({QStringLiteral("Signature"), range(cm::kSignatureBase, cm::kSignatureLength),
              [](const CellTexts& c) {
                  return cm::hasSignature(c) ? QStringLiteral("présente")
                                             : QStringLiteral("absente");
              },
              QStringLiteral("signature"), one(QStringLiteral("signature"), [](const CellTexts& c) {
                  return QJsonValue(cm::hasSignature(c));
              })});
    // Luminosity: the word set takes ("capteur", "80"), and the level as a number.
    s.append({QStringLiteral("Luminosité"),
              {lc::kModeCell},
              modeText,
              vocabulary::kModeSetting,
              [](const CellTexts& c) {
                  const std::optional<int> option = lc::decodeMode(c);
                  QJsonValue word = QJsonValue::Null;
                  QJsonValue level = QJsonValue::Null;
                  if (option && *option == lc::kSensorOption) {
                      word = QStringLiteral("capteur");
                  } else if (option) {
                      QString caption = lc::optionCaption(*option);
                      caption.chop(1);  // "80%"
                      word = caption;
                      level = caption.toInt();
                  }
                  return QJsonObject{{vocabulary::kModeSetting, word},
                                     {vocabulary::kModeSetting + QStringLiteral("_pct"), level}};
              }});
    const QString period = vocabulary::kPeriodSetting + QStringLiteral("_s");
    s.append({QStringLiteral("Fréquence de commutation"),
              {lc::kPeriodCell},
              [](const CellTexts& c) { return QStringLiteral("%1 s").arg(lc::decodePeriod(c)); },
              period,
              one(period, [](const CellTexts& c) { return QJsonValue(lc::decodePeriod(c)); })});
    s.append({QStringLiteral("Commutation jour/nuit"),
              {lc::kThresholdCell},
              thresholdText,
              vocabulary::kThresholdSetting,
              one(vocabulary::kThresholdSetting, [](const CellTexts& c) {
                  const auto t = lc::decodeThreshold(c);
                  return t ? QJsonValue(*t) : QJsonValue(QJsonValue::Null);
              })});
    // Switches: bank SW1 sits in the frame the board calls "SW3".
    for (const auto& [cell, bank] : {std::pair{sc::kSw1Cell, 3}, std::pair{sc::kSw2Cell, 2}}) {
        for (int i = 0; i < sc::kLeversPerBank; ++i) {
            const auto on = [cell = cell, i](const CellTexts& c) {
                return bool((cellValue(c[std::size_t(cell)]) >> i) & 1u);
            };
            const QString key = QStringLiteral("sw%1_%2").arg(bank).arg(i + 1);
            s.append({QStringLiteral("DIP SW%1 n°%2").arg(bank).arg(i + 1),
                      {cell},
                      [on](const CellTexts& c) {
                          return on(c) ? QStringLiteral("ON") : QStringLiteral("OFF");
                      },
                      key,
                      one(key, [on](const CellTexts& c) { return QJsonValue(on(c)); })});
        }
    }
    s.append({QStringLiteral("Variante"),
              {sc::kVariantCell},
              variantName,
              QStringLiteral("variante"),
              one(QStringLiteral("variante"), [](const CellTexts& c) {
                  switch (sc::decodeVariant(c)) {
                      case sc::Variant::ThreeColours:
                          return QJsonValue(QStringLiteral("trois couleurs"));
                      case sc::Variant::OneColour:
                          return QJsonValue(QStringLiteral("une couleur"));
                      case sc::Variant::Unknown:
                          break;
                  }
                  return QJsonValue(QJsonValue::Null);
              })});
    return s;
}

const QList<Setting>& settings() {
    static const QList<Setting> list = buildSettings();
    return list;
}

}  // namespace

QList<SettingValue> settingValues(const ImageBytes& image) {
    const CellTexts cells = cellTexts(image);
    QList<SettingValue> values;
    for (const Setting& setting : settings())
        values.append({setting.name, setting.show(cells), setting.key, setting.fields(cells)});
    return values;
}

QList<int> differingAddresses(const ImageBytes& left, const ImageBytes& right) {
    QList<int> list;
    for (int i = 0; i < kImageSize; ++i)
        if (left[std::size_t(i)] != right[std::size_t(i)]) list << i;
    return list;
}

QList<Difference> differences(const ImageBytes& left, const ImageBytes& right) {
    const QList<int> differing = differingAddresses(left, right);
    if (differing.isEmpty()) return {};
    const CellTexts a = cellTexts(left);
    const CellTexts b = cellTexts(right);

    QList<Difference> found;
    std::array<bool, kImageSize> explained{};
    for (const Setting& setting : settings()) {
        QList<int> touched;
        for (int address : setting.addresses)
            if (differing.contains(address)) touched << address;
        if (touched.isEmpty()) continue;
        const QString l = setting.show(a);
        const QString r = setting.show(b);
        if (l == r) continue;
        for (int address : touched) explained[std::size_t(address)] = true;
        found.append({setting.name, l, r, touched, setting.key,
                      setting.fields(a).value(setting.key), setting.fields(b).value(setting.key)});
    }
    // What no setting shows: the bytes no window decodes and the bits no window uses.
    for (int address : differing)
        if (!explained[std::size_t(address)])
            found.append({QStringLiteral("Octet 0x%1").arg(hex2(unsigned(address))),
                          hex2(left[std::size_t(address)]),
                          hex2(right[std::size_t(address)]),
                          {address},
                          QStringLiteral("octet_0x%1").arg(hex2(unsigned(address)).toLower()),
                          int(left[std::size_t(address)]),
                          int(right[std::size_t(address)])});
    std::stable_sort(found.begin(), found.end(), [](const Difference& x, const Difference& y) {
        return x.addresses.front() < y.addresses.front();
    });
    return found;
}

QString describe(const Difference& d, const QString& leftName, const QString& rightName) {
    return QStringLiteral("%1 : %2 %3 / %4 %5")
        .arg(d.setting, leftName, d.left, rightName, d.right);
}

QStringList describeAll(const QList<Difference>& list, const QString& leftName,
                        const QString& rightName) {
    QStringList lines;
    for (const Difference& d : list) lines << describe(d, leftName, rightName);
    return lines;
}

QList<int> untakenAddresses(const CellTexts& written, const CellTexts& found) {
    QList<int> addresses;
    for (int i = 0; i < kImageSize; ++i) {
        const QString& text = found[std::size_t(i)];
        // Never take characters for a byte.
        if (!isByteText(text) || cellValue(text) != cellValue(written[std::size_t(i)]))
            addresses << i;
    }
    return addresses;
}

QStringList describeReadBack(const ImageBytes& written, const CellTexts& found,
                             const QString& writtenName, const QString& foundName) {
    if (const auto bytes = imageBytes(found))
        return describeAll(differences(written, *bytes), writtenName, foundName);
    QStringList lines;
    for (int i : untakenAddresses(cellTexts(written), found))
        lines << QStringLiteral("Octet 0x%1 : %2 %3 / %4 « %5 »")
                     .arg(hex2(unsigned(i)), writtenName, hex2(written[std::size_t(i)]), foundName,
                          found[std::size_t(i)]);
    return lines;
}

}  // namespace trv::diff
