#include "image/image_history.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include "image/image_file.h"
#include "program/folders.h"

namespace trv::history {
namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH-mm-ss-zzz");

const QRegularExpression& dayPattern() {
    static const QRegularExpression re(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    return re;
}

const QRegularExpression& namePattern() {
    static const QRegularExpression re(
        QStringLiteral("^(\\d{2}-\\d{2}-\\d{2}-\\d{3})_COM(\\d{1,3})"
                       "(?:-(rfc2217|tcp)-([^_/]+)-(\\d{1,5}))?_([^_/]+)_"
                       "(lue|lue-avant-programmation|vérification|écrite)\\.hex$"));
    return re;
}

// "-rfc2217-10.0.0.5-4001": the host percent-encoded where a file name could not hold it.
QString addressTag(const std::optional<NetworkAddress>& address) {
    if (!address) return {};
    const QString scheme = address->text().section(QStringLiteral("://"), 0, 0);
    const QString host = QString::fromLatin1(QUrl::toPercentEncoding(address->host, {}, "_"));
    return QStringLiteral("-%1-%2-%3").arg(scheme, host, QString::number(address->port));
}

QString safeWindowName(QString window) {
    window.replace(u'_', u'-').replace(u'/', u'-').replace(u'\\', u'-');
    return window.isEmpty() ? QStringLiteral("inconnue") : window;
}

}  // namespace

QString directionText(Direction direction) {
    switch (direction) {
        case Direction::Read:
            return QStringLiteral("lue");
        case Direction::ReadBeforeWrite:
            return QStringLiteral("lue avant programmation");
        case Direction::Verification:
            return QStringLiteral("vérification");
        case Direction::Written:
            break;
    }
    return QStringLiteral("écrite");
}

QString directionTag(Direction direction) { return directionText(direction).replace(u' ', u'-'); }

QString defaultFolder() { return dataFolder() + QStringLiteral("/trv-compteur/historique"); }

std::optional<Entry> parseName(const QString& dayFolderName, const QString& fileName,
                               const QString& path) {
    if (!dayPattern().match(dayFolderName).hasMatch()) return std::nullopt;
    const QRegularExpressionMatch m = namePattern().match(fileName);
    if (!m.hasMatch()) return std::nullopt;
    const QDate day = QDate::fromString(dayFolderName, kDayFormat);
    const QTime time = QTime::fromString(m.captured(1), kTimeFormat);
    if (!day.isValid() || !time.isValid()) return std::nullopt;
    Entry e;
    e.path = path;
    e.when = QDateTime(day, time);
    e.port = m.captured(2).toInt();
    if (m.hasCaptured(3)) {
        const QString host = QUrl::fromPercentEncoding(m.captured(4).toLatin1());
        const QString bracketed = host.contains(u':') ? u'[' + host + u']' : host;
        e.address = parseNetworkAddress(
            QStringLiteral("%1://%2:%3").arg(m.captured(3), bracketed, m.captured(5)));
        // A name that merely looks like an address is no record of this history.
        if (!e.address ||
            addressTag(e.address) !=
                QStringLiteral("-%1-%2-%3").arg(m.captured(3), m.captured(4), m.captured(5)))
            return std::nullopt;
    }
    e.window = m.captured(6);
    for (Direction d :
         {Direction::Read, Direction::ReadBeforeWrite, Direction::Verification, Direction::Written})
        if (m.captured(7) == directionTag(d)) e.direction = d;
    return e;
}

ImageHistory::ImageHistory(QString folder, int keep) : m_folder(std::move(folder)), m_keep(keep) {}

QStringList ImageHistory::scan() const {
    QStringList found;
    const QDir root(m_folder);
    for (const QString& day : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!dayPattern().match(day).hasMatch()) continue;
        const QDir dayDir(root.filePath(day));
        for (const QString& name : dayDir.entryList(QDir::Files, QDir::Name))
            if (namePattern().match(name).hasMatch()) found << day + u'/' + name;
    }
    return found;
}

bool ImageHistory::knownIsCurrent(const QString& day) const {
    const QString prefix = day + u'/';
    qsizetype known = 0;
    for (const QString& relative : *m_known)
        if (relative.startsWith(prefix)) ++known;
    qsizetype onDisk = 0;
    for (const QString& name : QDir(m_folder + u'/' + day).entryList(QDir::Files))
        if (namePattern().match(name).hasMatch()) ++onDisk;
    return known == onDisk;
}

ImageHistory::Recorded ImageHistory::record(const ImageBytes& bytes, int port,
                                            const QString& window, Direction direction,
                                            const QDateTime& when,
                                            const std::optional<NetworkAddress>& address) {
    const QString day = when.date().toString(kDayFormat);
    if (!m_known || !knownIsCurrent(day)) m_known = scan();
    const QDir dayDir(m_folder + u'/' + day);
    auto fail = [this](const QString& why) {
        return Recorded{{},
                        QStringLiteral("L'historique des images ne peut pas être écrit dans « %1 » "
                                       ": %2.")
                            .arg(QDir::toNativeSeparators(m_folder), why)};
    };
    if (!QDir().mkpath(dayDir.path())) return fail(QStringLiteral("dossier impossible à créer"));

    // Two records never share a name: a later one moves on by a millisecond.
    QString name;
    QTime time = when.time();
    const QString tail =
        QStringLiteral("_COM%1%2_%3_%4.hex")
            .arg(port)
            .arg(addressTag(address), safeWindowName(window), directionTag(direction));
    for (int tries = 0; tries < 1000; ++tries, time = time.addMSecs(1)) {
        name = time.toString(kTimeFormat) + tail;
        if (!QFileInfo::exists(dayDir.filePath(name))) break;
    }
    const QString path = dayDir.filePath(name);
    QSaveFile file(path);
    const QByteArray data = imagefile::toIntelHex(bytes);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush() ||
        !file.commit())
        return fail(file.errorString());

    m_known->append(day + u'/' + name);
    prune();
    return Recorded{path, {}};
}

void ImageHistory::prune() {
    if (m_known->size() <= m_keep) return;
    // Names sort in time order within a day, and day folders in date order.
    m_known->sort();
    const qsizetype excess = m_known->size() - m_keep;
    QStringList emptied;
    for (qsizetype i = 0; i < excess; ++i) {
        const QString& relative = m_known->at(i);
        QFile::remove(m_folder + u'/' + relative);
        const QString day = relative.section(u'/', 0, 0);
        if (emptied.isEmpty() || emptied.constLast() != day) emptied << day;
    }
    m_known->remove(0, excess);
    // A day folder goes once its last record has (rmdir leaves a folder that still holds any).
    for (const QString& day : emptied) QDir(m_folder).rmdir(day);
}

QList<Entry> ImageHistory::entries() const {
    QList<Entry> list;
    const QStringList found = scan();
    list.reserve(found.size());
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QString day = it->section(u'/', 0, 0);
        const QString name = it->section(u'/', 1);
        if (auto e = parseName(day, name, m_folder + u'/' + *it)) list.append(*e);
    }
    return list;
}

}  // namespace trv::history
