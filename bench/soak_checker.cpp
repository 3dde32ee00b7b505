#include "soak_checker.h"

#include "image/image_file.h"

namespace trv::soak {
namespace {

QString hexByte(unsigned value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString address(int i) { return QStringLiteral("0x%1").arg(hexByte(unsigned(i))); }

// The cells a programming operation may change; every other byte goes back as read.
bool ownedBy(Kind kind, int i) {
    if (kind == Kind::ProgramLuminosity) return i >= 60 && i <= 62;
    if (kind == Kind::ProgramCounter)
        return (i <= 23) || (i >= 30 && i <= 59) || i == 63 || (i >= 70 && i <= 73);
    return true;
}

bool isRead(Kind kind) { return !writes(kind); }

}  // namespace

QString kindName(Kind kind) {
    switch (kind) {
        case Kind::ReadImage:
            return QStringLiteral("read image");
        case Kind::WriteImage:
            return QStringLiteral("write image");
        case Kind::ReadCounter:
            return QStringLiteral("read counter");
        case Kind::ProgramCounter:
            return QStringLiteral("program counter");
        case Kind::ReadLuminosity:
            return QStringLiteral("read luminosity");
        case Kind::ProgramLuminosity:
            return QStringLiteral("program luminosity");
        case Kind::ReadSwitches:
            return QStringLiteral("read switches");
        case Kind::Verify:
            return QStringLiteral("verify");
    }
    return {};
}

bool writes(Kind kind) {
    return kind == Kind::WriteImage || kind == Kind::ProgramCounter ||
           kind == Kind::ProgramLuminosity;
}

QStringList check(const Record& r) {
    QStringList broken;
    const bool wroteMemory = r.commands.contains("WWW");

    if (r.success && r.boardSilent)
        broken << QStringLiteral("success reported while the board answered nothing");
    if (r.success && r.portLost)
        broken << QStringLiteral("success reported although the port was lost");

    if (r.success && writes(r.kind)) {
        const std::optional<ImageBytes> claimed = imageBytes(r.cells);
        if (!claimed) {
            broken << QStringLiteral("success reported for an image that is not all bytes");
        } else {
            for (int i = 0; i < kImageSize; ++i) {
                const auto at = std::size_t(i);
                if ((*claimed)[at] != r.boardAfter[at])
                    broken << QStringLiteral(
                                  "success reported but the board holds %1 at %2, "
                                  "not the %3 written")
                                  .arg(hexByte(r.boardAfter[at]), address(i),
                                       hexByte((*claimed)[at]));
                else if (!ownedBy(r.kind, i) && r.boardAfter[at] != r.boardBefore[at])
                    broken << QStringLiteral("the board's own byte at %1 changed from %2 to %3")
                                  .arg(address(i), hexByte(r.boardBefore[at]),
                                       hexByte(r.boardAfter[at]));
            }
        }
    }

    if (isRead(r.kind)) {
        if (r.boardAfter != r.boardBefore || wroteMemory)
            broken << QStringLiteral("a read changed the board's memory");
        if (r.success) {
            // A cell holding something else than a byte shows the board's own characters
            // (a board that sent no digits); a byte must be the board's byte at that place.
            for (int i = 0; i < kImageSize; ++i) {
                const QString& text = r.cells[std::size_t(i)];
                if (isByteText(text) && cellValue(text) != r.boardBefore[std::size_t(i)])
                    broken << QStringLiteral(
                                  "read reported a success with %1 at %2; the board "
                                  "holds %3")
                                  .arg(text, address(i), hexByte(r.boardBefore[std::size_t(i)]));
            }
        }
    }

    if (r.readFailed) {
        if (r.success) broken << QStringLiteral("success reported after a failed read");
        if (wroteMemory || r.boardAfter != r.boardBefore)
            broken << QStringLiteral("the board was written after a failed read");
        for (int i = 0; i < kImageSize; ++i) {
            if (isByteText(r.cells[std::size_t(i)])) {
                broken << QStringLiteral("a failed read left the byte %1 at %2")
                              .arg(r.cells[std::size_t(i)], address(i));
                break;
            }
        }
    }

    for (qsizetype i = 0; i < r.historyFiles.size(); ++i) {
        const imagefile::Parsed parsed = imagefile::readFile(r.historyFiles[i]);
        if (!parsed.bytes)
            broken << QStringLiteral("history record %1 is not a valid image: %2")
                          .arg(r.historyFiles[i], parsed.error);
        else if (i < r.historyImages.size() && *parsed.bytes != r.historyImages[i])
            broken
                << QStringLiteral("history record %1 holds another image").arg(r.historyFiles[i]);
    }
    return broken;
}

}  // namespace trv::soak
