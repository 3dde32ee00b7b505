#include "port/port_assignment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

namespace trv {

QString portLinkPath(const QString& folder, int portNumber) {
    return folder + QStringLiteral("/com%1").arg(portNumber);
}

QString portAddressPath(const QString& folder, int portNumber) {
    return portLinkPath(folder, portNumber) + QStringLiteral(".adresse");
}

StoredAddress readPortAddress(const QString& folder, int portNumber) {
    StoredAddress stored;
    const QString path = portAddressPath(folder, portNumber);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return stored;
    stored.exists = true;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        stored.error = QStringLiteral("Impossible de lire %1.").arg(path);
        return stored;
    }
    // One short line; anything longer is no address, and is not read whole.
    const QString line = QString::fromUtf8(file.readLine(1024)).trimmed();
    QString why;
    stored.address = parseNetworkAddress(line, &why);
    if (!stored.address) stored.error = QStringLiteral("%1 : %2").arg(path, why);
    return stored;
}

std::optional<NetworkAddress> portNetworkAddress(const QString& folder, int portNumber) {
    return readPortAddress(folder, portNumber).address;
}

PortTarget parsePortTarget(const QString& typed) {
    PortTarget t;
    t.text = typed.trimmed();
    if (looksLikeNetworkAddress(t.text)) {
        const auto address = parseNetworkAddress(t.text, &t.error);
        if (!address) return t;
        t.kind = PortTarget::Kind::Network;
        t.text = address->text();
        return t;
    }
    if (t.text.isEmpty()) {
        t.error = QStringLiteral("Tapez le chemin d'un appareil, par exemple /dev/ttyUSB0.");
        return t;
    }
    if (!QDir::isAbsolutePath(t.text)) {
        t.error =
            QStringLiteral("%1 n'est pas le chemin complet d'un appareil (/dev/…).").arg(t.text);
        return t;
    }
    const QFileInfo entry(t.text);
    if (!entry.exists()) {
        t.error = QStringLiteral("%1 n'existe pas.").arg(t.text);
        return t;
    }
    if (entry.isDir()) {
        t.error = QStringLiteral("%1 est un dossier, pas un appareil.").arg(t.text);
        return t;
    }
    t.kind = PortTarget::Kind::DevicePath;
    t.text = QDir::cleanPath(t.text);
    return t;
}

std::optional<QString> replaceQuestion(const PortEntry& entry, const QString& target) {
    // A broken address file leads nowhere: replacing it loses nothing.
    if (entry.state == PortEntry::State::Unassigned ||
        entry.state == PortEntry::State::BadAddress || entry.target == target)
        return std::nullopt;
    return QStringLiteral("COM%1 mène à %2. Le remplacer par %3 ?")
        .arg(QString::number(entry.number), entry.target, target);
}

QList<PortEntry> portEntries(const QString& folder, const QList<SerialDevice>& devices) {
    QList<PortEntry> entries;
    for (int n = 1; n <= kAssignablePorts; ++n) {
        PortEntry e;
        e.number = n;
        const QFileInfo link(portLinkPath(folder, n));
        const StoredAddress stored = readPortAddress(folder, n);
        if (stored.exists) {
            // The address wins: it is what the port opens.
            e.state = stored.address ? PortEntry::State::Network : PortEntry::State::BadAddress;
            e.address = stored.address;
            e.target = stored.address ? stored.address->text() : portAddressPath(folder, n);
        } else if (link.isSymLink() || link.exists()) {
            e.target = link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath();
            e.device = link.canonicalFilePath();
            e.state = e.device.isEmpty() ? PortEntry::State::Unplugged : PortEntry::State::Present;
            for (const SerialDevice& d : devices)
                if (!e.device.isEmpty() && QFileInfo(d.location).canonicalFilePath() == e.device)
                    e.info = d;
        }
        entries << e;
    }
    return entries;
}

QList<SerialDevice> assignableDevices(const QList<SerialDevice>& system,
                                      const QList<PortEntry>& entries) {
    QList<SerialDevice> devices = system;
    QStringList known;
    for (const SerialDevice& d : system) known << QFileInfo(d.location).canonicalFilePath();
    for (const PortEntry& e : entries) {
        if (e.state != PortEntry::State::Present || known.contains(e.device)) continue;
        known << e.device;
        SerialDevice d;
        d.location = e.device;
        d.description = QStringLiteral("Non listé par le système");
        d.listed = false;
        devices << d;
    }
    return devices;
}

QList<int> portsLeadingTo(const QList<PortEntry>& entries, const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QList<int> numbers;
    for (const PortEntry& e : entries)
        if (e.state == PortEntry::State::Present && !canonical.isEmpty() && e.device == canonical)
            numbers << e.number;
    return numbers;
}

QString stablePath(const QString& device, const QString& byIdFolder) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    if (canonical.isEmpty()) return {};
    const QDir dir(byIdFolder);
    const QFileInfoList links =
        dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links)
        if (link.isSymLink() && link.canonicalFilePath() == canonical)
            return link.absoluteFilePath();
    return {};
}

#ifdef Q_OS_UNIX
bool swapLink(const QByteArray& target, const QByteArray& path) {
    const QByteArray temp = path + ".new" + QByteArray::number(qint64(::getpid()));
    ::unlink(temp.constData());
    if (::symlink(target.constData(), temp.constData()) == 0 &&
        ::rename(temp.constData(), path.constData()) == 0)
        return true;
    const int reason = errno;
    ::unlink(temp.constData());
    errno = reason;
    return false;
}
#endif

namespace {
// Removes COM n's address file; nothing else by that name is touched.
std::optional<QString> removeAddressFile(const QString& folder, int portNumber) {
    const QString path = portAddressPath(folder, portNumber);
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink()) return std::nullopt;
    if (!file.isFile() && !file.isSymLink())
        return QStringLiteral("%1 n'est pas un fichier : il est laissé tel quel.").arg(path);
    if (!QFile::remove(path)) return QStringLiteral("Impossible de retirer %1.").arg(path);
    return std::nullopt;
}

std::optional<QString> assignAddress(const QString& folder, int portNumber, const QString& typed) {
    QString why;
    const auto address = parseNetworkAddress(typed, &why);
    if (!address) return why;
    const QString link = portLinkPath(folder, portNumber);
    const QFileInfo existing(link);
    if (existing.exists() && !existing.isSymLink())
        return QStringLiteral("%1 n'est pas un lien : il est laissé tel quel.").arg(link);
    const QString path = portAddressPath(folder, portNumber);
    const QFileInfo old(path);
    if ((old.exists() || old.isSymLink()) && !old.isFile())
        return QStringLiteral("%1 n'est pas un fichier : il est laissé tel quel.").arg(path);
    if (!QDir().mkpath(folder))
        return QStringLiteral("Impossible de créer le dossier %1.").arg(folder);
    // The address first, then the link goes: in between the port already opens the address.
    QSaveFile file(path);
    const QByteArray line = address->text().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size() || !file.commit())
        return QStringLiteral("Impossible d'associer COM%1 à %2 : %3")
            .arg(QString::number(portNumber), address->text(), file.errorString());
    if (existing.isSymLink() && !QFile::remove(link))
        return QStringLiteral("Impossible de retirer %1.").arg(link);
    return std::nullopt;
}
}  // namespace

std::optional<QString> assignPort(const QString& folder, int portNumber, const QString& target) {
    if (looksLikeNetworkAddress(target)) return assignAddress(folder, portNumber, target);
    const QString com = QStringLiteral("COM%1").arg(portNumber);
    const QString path = portLinkPath(folder, portNumber);
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isSymLink())
        return QStringLiteral("%1 n'est pas un lien : il est laissé tel quel.").arg(path);
    if (!QDir().mkpath(folder))
        return QStringLiteral("Impossible de créer le dossier %1.").arg(folder);
#ifdef Q_OS_UNIX
    if (!swapLink(QFile::encodeName(target), QFile::encodeName(path)))
        return QStringLiteral("Impossible d'associer %1 à %2 : %3")
            .arg(com, target, QString::fromLocal8Bit(std::strerror(errno)));
    // The link first, then the address goes: the address file wins while both are there.
    return removeAddressFile(folder, portNumber);
#else
    Q_UNUSED(target);
    return QStringLiteral("Les ports COM de ce système ne s'associent pas.");
#endif
}

std::optional<QString> unassignPort(const QString& folder, int portNumber) {
    if (const auto error = removeAddressFile(folder, portNumber)) return error;
    const QString path = portLinkPath(folder, portNumber);
    const QFileInfo link(path);
    if (!link.isSymLink()) {
        if (!link.exists()) return std::nullopt;
        return QStringLiteral("%1 n'est pas un lien : il est laissé tel quel.").arg(path);
    }
    // Removing a link never touches what it leads to.
    if (!QFile::remove(path)) return QStringLiteral("Impossible de retirer %1.").arg(path);
    return std::nullopt;
}

}  // namespace trv
