#include "port/open_failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace trv {

OpenFailure classifyOpenFailure(const OpenFacts& facts) {
    using Cause = OpenFailure::Cause;
    OpenFailure f;
    f.device = facts.device.isEmpty() ? facts.target : facts.device;
    if (!facts.linkExists)
        f.cause = Cause::NoLink;
    else if (facts.device.isEmpty() || facts.deviceNotFound)
        f.cause = Cause::DeviceAbsent;
    else if (facts.lockPid > 0) {
        f.cause = Cause::Busy;
        f.pid = facts.lockPid;
        f.program = facts.lockProgram;
    } else if (facts.accessDenied) {
        f.cause = Cause::PermissionDenied;
        f.group = facts.group;
    } else if (facts.permissionError) {
        // Allowed to open it, yet refused: another program holds it exclusively.
        f.cause = Cause::Busy;
    } else {
        f.cause = Cause::Other;
        f.systemText = facts.systemText;
    }
    return f;
}

QStringList defaultLockFolders() {
    // The folders a serial program may lock a device in, in the order Qt and the UUCP
    // tradition look at them.
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

qint64 lockHolder(const QString& device, const QStringList& lockFolders, QString* program) {
#ifdef Q_OS_UNIX
    // "/dev/pts/3" is locked as "LCK..pts_3"; Qt and UUCP programs both start the file with
    // the holder's process id.
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/"))) name.remove(0, 5);
    name.replace(u'/', u'_');
    for (const QString& folder : lockFolders) {
        QFile lock(folder + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly)) continue;
        bool ok = false;
        const qint64 pid = lock.readLine(64).trimmed().toLongLong(&ok);
        // A lock left by a program that ended does not hold anything.
        if (!ok || pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM)) continue;
        if (program) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            *program = comm.open(QIODevice::ReadOnly)
                           ? QString::fromLocal8Bit(comm.readAll().trimmed())
                           : QString();
        }
        return pid;
    }
#else
    Q_UNUSED(device);
    Q_UNUSED(lockFolders);
    Q_UNUSED(program);
#endif
    return 0;
}

OpenFacts observeOpenFailure(const QString& linkPath, bool deviceNotFound, bool permissionError,
                             const QString& systemText, const QStringList& lockFolders) {
    OpenFacts facts;
    facts.deviceNotFound = deviceNotFound;
    facts.permissionError = permissionError;
    facts.systemText = systemText;
    if (linkPath.isEmpty()) {
        facts.linkExists = true;
        return facts;
    }
    const QFileInfo link(linkPath);
    facts.linkExists = link.isSymLink() || link.exists();
    if (!facts.linkExists) return facts;
    facts.target = link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath();
    facts.device = link.canonicalFilePath();
    if (facts.device.isEmpty()) return facts;
    facts.group = QFileInfo(facts.device).group();
    facts.lockPid = lockHolder(facts.device, lockFolders, &facts.lockProgram);
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(facts.device);
    facts.accessDenied = ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
#endif
    return facts;
}

QString openFailureText(const OpenFailure& f, int portNumber) {
    using Cause = OpenFailure::Cause;
    const QString com = QStringLiteral("COM%1").arg(portNumber);
    switch (f.cause) {
        case Cause::None:
            return {};
        case Cause::NoLink:
            return QStringLiteral(
                       "Aucun appareil n'est associé à %1. Associez-en un dans Outils > Ports "
                       "série…")
                .arg(com);
        case Cause::DeviceAbsent:
            if (f.device.isEmpty() || f.device == com)
                return QStringLiteral("%1 est absent (adaptateur débranché ?).").arg(com);
            return QStringLiteral("%1 mène à %2, qui est absent (adaptateur débranché ?).")
                .arg(com, f.device);
        case Cause::PermissionDenied: {
#ifdef Q_OS_LINUX
            // The group that owns the device opens it; most systems call it dialout.
            const QString group = f.group.isEmpty() || f.group == QLatin1String("root")
                                      ? QStringLiteral("dialout")
                                      : f.group;
            return QStringLiteral(
                       "Accès refusé à %1. Ajoutez votre compte au groupe %2 :\n"
                       "    sudo usermod -aG %2 $USER\n"
                       "puis fermez la session et ouvrez-la de nouveau.")
                .arg(f.device, group);
#else
            return QStringLiteral("Accès refusé à %1 : ce compte n'a pas le droit de l'ouvrir.")
                .arg(f.device);
#endif
        }
        case Cause::Busy: {
            const QString who =
                f.pid <= 0 ? QString()
                : f.program.isEmpty()
                    ? QStringLiteral(" (processus %1)").arg(f.pid)
                    : QStringLiteral(" (processus %1, %2)").arg(QString::number(f.pid), f.program);
            return QStringLiteral(
                       "%1 est déjà ouvert par un autre programme%2. Fermez-le, puis validez à "
                       "nouveau la configuration.")
                .arg(f.device.isEmpty() ? com : f.device, who);
        }
        case Cause::Other:
            return QStringLiteral("Erreur du système sur %1 : %2")
                .arg(f.device.isEmpty() ? com : f.device, f.systemText);
    }
    return {};
}

}  // namespace trv
