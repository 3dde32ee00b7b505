#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "image/eeprom_image.h"
#include "port/network_address.h"

// Every whole image read from or written to a board, kept as one Intel HEX file:
//   <folder>/YYYY-MM-DD/HH-MM-SS-mmm_COMn_<fenêtre>_<sorte>.hex
// with <sorte> one of "lue", "lue-avant-programmation", "vérification", "écrite". A board
// reached through a server carries its address after the port, in a form every system takes
// for a file name: "COM7-rfc2217-10.0.0.5-4001" (an IPv6 host percent-encoded).
// Plain files, so a technician can open, copy or mail them. Only the newest records are kept.
namespace trv::history {

// What an image was: a read of its own, the read a programming starts with (the image it
// replaced), the read-back that checks a write, or the image a board took.
enum class Direction { Read, ReadBeforeWrite, Verification, Written };

// "lue", "lue avant programmation", "vérification", "écrite": what the history lists.
QString directionText(Direction direction);
// The same in file names, without blanks: "lue-avant-programmation".
QString directionTag(Direction direction);

// <user data>/trv-compteur/historique
QString defaultFolder();

inline constexpr int kKeptRecords = 20000;

struct Entry {
    QString path;
    QDateTime when;  // local time, to the millisecond
    int port = 0;
    QString window;  // "compteur", "luminosité", "microswitches", ...
    Direction direction = Direction::Read;
    std::optional<NetworkAddress> address;  // the server the board was reached through
};

// The record a file name stands for; nullopt for any other file.
std::optional<Entry> parseName(const QString& dayFolderName, const QString& fileName,
                               const QString& path = {});

class ImageHistory {
public:
    explicit ImageHistory(QString folder = defaultFolder(), int keep = kKeptRecords);

    QString folder() const { return m_folder; }

    struct Recorded {
        QString path;   // the file written; empty on failure
        QString error;  // why nothing was recorded
    };
    // Writes one record (atomically) and then removes the oldest records beyond the kept
    // number. `window` may not hold "_" or "/" (they are replaced by "-").
    Recorded record(const ImageBytes& bytes, int port, const QString& window, Direction direction,
                    const QDateTime& when = QDateTime::currentDateTime(),
                    const std::optional<NetworkAddress>& address = std::nullopt);

    // Every record on disk, newest first.
    QList<Entry> entries() const;

private:
    QStringList scan() const;  // relative paths "YYYY-MM-DD/name", oldest first
    // False once another writer (trvctl, another window) has recorded into the day, and so
    // possibly pruned: the known records are then read from disk again.
    bool knownIsCurrent(const QString& day) const;
    void prune();

    QString m_folder;
    int m_keep;
    // The records known to this object, oldest first; read from disk once, then kept up to
    // date as records are added, so recording stays cheap however long the history is.
    std::optional<QStringList> m_known;
};

}  // namespace trv::history
