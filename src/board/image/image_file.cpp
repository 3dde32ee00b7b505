#include "image/image_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <array>
#include <cerrno>

#include "image/system_error.h"

namespace trv::imagefile {
namespace {

constexpr int kRecordBytes = 16;
constexpr int kHeaderBytes = 4;  // length, address (two bytes), type

enum RecordType : int {
    kData = 0x00,
    kEnd = 0x01,
    kSegmentBase = 0x02,
    kSegmentStart = 0x03,
    kLinearBase = 0x04,
    kLinearStart = 0x05,
};

QString hex2(int value) { return QString::number(value, 16).toUpper().rightJustified(2, u'0'); }

QString lineError(int line, const QString& what) {
    return QStringLiteral("Ligne %1 : %2").arg(line).arg(what);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// How a character the reader did not expect is named: itself when printable, else its code.
QString characterName(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 0x20 && u < 0x7F) return QStringLiteral("« %1 »").arg(QLatin1Char(c));
    return QStringLiteral("0x%1").arg(hex2(u));
}

QString fileLabel(const QString& path) {
    return QStringLiteral("« %1 »").arg(QDir::toNativeSeparators(path));
}

Parsed refused(QString error) { return Parsed{std::nullopt, std::move(error)}; }

}  // namespace

Format formatOf(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("bin"), Qt::CaseInsensitive) == 0
               ? Format::Binary
               : Format::IntelHex;
}

QByteArray toIntelHex(const ImageBytes& bytes) {
    QByteArray out;
    for (int base = 0; base < kImageSize; base += kRecordBytes) {
        std::array<int, kHeaderBytes + kRecordBytes> record{kRecordBytes, base >> 8, base & 0xFF,
                                                            kData};
        for (int i = 0; i < kRecordBytes; ++i)
            record[std::size_t(kHeaderBytes + i)] = bytes[std::size_t(base + i)];
        int sum = 0;
        out += ':';
        for (int b : record) {
            out += hex2(b).toLatin1();
            sum += b;
        }
        out += hex2((0x100 - (sum & 0xFF)) & 0xFF).toLatin1();
        out += "\r\n";
    }
    out += ":00000001FF\r\n";
    return out;
}

Parsed parseIntelHex(QByteArrayView text) {
    ImageBytes bytes{};
    std::array<int, kImageSize> givenOnLine{};  // 0: not given yet
    int endLine = 0;
    int lineNumber = 0;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype next = text.indexOf('\n', pos);
        if (next < 0) next = text.size();
        QByteArrayView line = text.sliced(pos, next - pos);
        pos = next + 1;
        ++lineNumber;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) continue;
        if (endLine)
            return refused(
                lineError(lineNumber,
                          QStringLiteral("des données suivent l'enregistrement de fin (ligne %1).")
                              .arg(endLine)));
        if (line[0] != ':')
            return refused(lineError(
                lineNumber, QStringLiteral("un enregistrement commence par « : », pas par %1.")
                                .arg(characterName(line[0]))));

        const QByteArrayView digits = line.sliced(1);
        for (char c : digits)
            if (hexDigit(c) < 0)
                return refused(
                    lineError(lineNumber, QStringLiteral("le caractère %1 n'est pas hexadécimal.")
                                              .arg(characterName(c))));
        if (digits.size() % 2 != 0 || digits.size() < 2 * (kHeaderBytes + 1))
            return refused(lineError(lineNumber, QStringLiteral("enregistrement incomplet.")));
        std::vector<int> record;
        for (qsizetype i = 0; i < digits.size(); i += 2)
            record.push_back(hexDigit(digits[i]) * 16 + hexDigit(digits[i + 1]));

        const int length = record[0];
        if (int(record.size()) != kHeaderBytes + length + 1)
            return refused(lineError(
                lineNumber, QStringLiteral("l'enregistrement annonce %1 octets de données et en "
                                           "porte %2.")
                                .arg(length)
                                .arg(int(record.size()) - kHeaderBytes - 1)));
        int sum = 0;
        for (int b : record) sum += b;
        if ((sum & 0xFF) != 0) {
            const int expected = (0x100 - ((sum - record.back()) & 0xFF)) & 0xFF;
            return refused(
                lineError(lineNumber, QStringLiteral("somme de contrôle fausse (%1 au lieu de %2).")
                                          .arg(hex2(record.back()), hex2(expected))));
        }

        const int address = record[1] * 256 + record[2];
        const int type = record[3];
        switch (type) {
            case kData:
                for (int i = 0; i < length; ++i) {
                    const int at = address + i;
                    if (at >= kImageSize)
                        return refused(lineError(
                            lineNumber,
                            QStringLiteral("l'adresse 0x%1 est hors de l'image (0x00 à 0x7F).")
                                .arg(QString::number(at, 16).toUpper())));
                    int& given = givenOnLine[std::size_t(at)];
                    if (given)
                        return refused(lineError(
                            lineNumber, QStringLiteral("l'adresse 0x%1 est déjà donnée ligne %2.")
                                            .arg(hex2(at))
                                            .arg(given)));
                    given = lineNumber;
                    bytes[std::size_t(at)] = quint8(record[std::size_t(kHeaderBytes + i)]);
                }
                break;
            case kEnd:
                if (length != 0)
                    return refused(lineError(
                        lineNumber, QStringLiteral("l'enregistrement de fin porte des données.")));
                endLine = lineNumber;
                break;
            case kSegmentBase:
            case kLinearBase: {
                // A base other than zero puts every following address beyond the image.
                bool zero = length == 2;
                for (int i = 0; i < length; ++i)
                    zero = zero && record[std::size_t(kHeaderBytes + i)] == 0;
                if (!zero)
                    return refused(lineError(
                        lineNumber,
                        QStringLiteral(
                            "base d'adresse non nulle : hors de l'image (0x00 à 0x7F).")));
                break;
            }
            case kSegmentStart:
            case kLinearStart:
                break;  // a program's start address: nothing to do with an EEPROM image
            default:
                return refused(
                    lineError(lineNumber,
                              QStringLiteral("type d'enregistrement %1 inconnu.").arg(hex2(type))));
        }
    }
    if (!endLine) return refused(QStringLiteral("L'enregistrement de fin (type 01) manque."));
    for (int at = 0; at < kImageSize; ++at)
        if (!givenOnLine[std::size_t(at)])
            return refused(
                QStringLiteral("L'adresse 0x%1 n'est donnée par aucune ligne : une image couvre "
                               "les adresses 0x00 à 0x7F.")
                    .arg(hex2(at)));
    return Parsed{bytes, {}};
}

Parsed parseBinary(QByteArrayView data) {
    if (data.size() != kImageSize)
        return refused(QStringLiteral("Il contient %1 octets ; une image binaire en compte "
                                      "exactement 128.")
                           .arg(data.size()));
    ImageBytes bytes{};
    for (int i = 0; i < kImageSize; ++i) bytes[std::size_t(i)] = quint8(data[i]);
    return Parsed{bytes, {}};
}

Parsed readFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return refused(QStringLiteral("Le fichier %1 n'existe pas.").arg(fileLabel(path)));
    if (info.isDir())
        return refused(
            QStringLiteral("%1 est un dossier, pas un fichier image.").arg(fileLabel(path)));
    // Reading a device or a pipe may never end.
    if (!info.isFile())
        return refused(QStringLiteral("%1 n'est pas un fichier ordinaire : il n'est pas lu.")
                           .arg(fileLabel(path)));
    const QString tooLarge =
        QStringLiteral("Le fichier %1 dépasse 64 Kio : ce n'est pas une image de 128 octets.")
            .arg(fileLabel(path));
    if (info.size() > kMaxFileSize) return refused(tooLarge);
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("Le fichier %1 ne peut pas être lu : %2.")
                           .arg(fileLabel(path), fileErrorText(file, path, errno)));
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return refused(QStringLiteral("Le fichier %1 ne peut pas être lu : %2.")
                           .arg(fileLabel(path), fileErrorText(file, path, errno)));
    if (data.size() > kMaxFileSize) return refused(tooLarge);

    Parsed parsed = formatOf(path) == Format::Binary ? parseBinary(data) : parseIntelHex(data);
    if (!parsed.bytes)
        parsed.error = QStringLiteral("Le fichier %1 n'a pas été chargé.\n%2")
                           .arg(fileLabel(path), parsed.error);
    return parsed;
}

QString writeFile(const QString& path, const ImageBytes& bytes) {
    QByteArray data;
    if (formatOf(path) == Format::Binary)
        data = QByteArray(reinterpret_cast<const char*>(bytes.data()), kImageSize);
    else
        data = toIntelHex(bytes);
    QSaveFile file(path);
    errno = 0;
    // commit() can miss an error of the final buffer write: flush first and check.
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.flush() &&
        file.commit())
        return {};
    return QStringLiteral("Le fichier %1 n'a pas pu être écrit : %2.")
        .arg(fileLabel(path), fileErrorText(file, path, errno));
}

}  // namespace trv::imagefile
