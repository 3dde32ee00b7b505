#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "image/eeprom_image.h"

// A whole EEPROM image kept in a file: Intel HEX (".hex", ".eep"), the form EEPROM
// programmers exchange, or raw binary (".bin", exactly 128 bytes). Readers accept an image
// only when every address 0 to 127 is given exactly once and everything checks; whatever
// they refuse comes back as a French message, so nothing half-read ever reaches a grid.
namespace trv::imagefile {

enum class Format { IntelHex, Binary };

// ".bin" (any case) is binary; every other name is read and written as Intel HEX.
Format formatOf(const QString& path);

// Files longer than this are refused unread: an image is 128 bytes, its Intel HEX ~0.4 KiB.
inline constexpr qint64 kMaxFileSize = 64 * 1024;

// Records of 16 data bytes at addresses 0x00 to 0x70, then the end record; upper-case
// digits, CR LF after every record (what objcopy writes for the same bytes).
QByteArray toIntelHex(const ImageBytes& bytes);

// An image, or why there is none.
struct Parsed {
    std::optional<ImageBytes> bytes;
    QString error;  // empty when bytes holds the image
};

// Any record length, LF or CR LF, empty lines ignored; records of type 02 and 04 only with a
// zero base, 03 and 05 (start addresses) ignored; an end record (01) that nothing but empty
// lines follows. The error names the line ("Ligne 3 : ...").
Parsed parseIntelHex(QByteArrayView text);
Parsed parseBinary(QByteArrayView data);

// Reads a file in the format its name gives. Directories, devices, unreadable files and
// files over kMaxFileSize are refused; the error names the file and, for Intel HEX, the line.
Parsed readFile(const QString& path);

// Writes the image atomically (the file is replaced only once complete) in the format its
// name gives. Returns an empty text on success, else the French reason.
QString writeFile(const QString& path, const ImageBytes& bytes);

}  // namespace trv::imagefile
