#include "port/open_failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>
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
        f.remedy = accessRemedy(facts.entry, facts.account);
        f.group = facts.entry.group;
        f.owner = facts.entry.owner;
        f.mode = facts.entry.mode;
    } else if (facts.permissionError) {
        // Allowed to open it, yet refused: another program holds it exclusively.
        f.cause = Cause::Busy;
    } else {
        f.cause = Cause::Other;
        f.systemText = facts.systemText;
    }
    return f;
}

OpenFailure::Remedy accessRemedy(const DeviceEntry& e, const Account& a) {
    using Remedy = OpenFailure::Remedy;
    // Open to everyone or to the account itself, yet refused: no group would help.
    if (!e.known || a.uid == e.uid || (e.mode & 0006) == 0006) return Remedy::None;
    // A group that may read and write the device is the way in, unless it is root's: joining
    // root's group is no advice to give.
    if ((e.mode & 0060) == 0060 && e.gid != 0) {
        if (a.sessionGroups.contains(e.gid)) return Remedy::None;
        return a.groups.contains(e.gid) ? Remedy::LogInAgain : Remedy::JoinGroup;
    }
    return Remedy::OwnerOnly;
}

DeviceEntry readDeviceEntry(const QString& device) {
    DeviceEntry e;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0) return e;
    e.known = true;
    e.uid = st.st_uid;
    e.gid = st.st_gid;
    e.mode = st.st_mode & 07777;
    const struct passwd* pw = ::getpwuid(st.st_uid);
    e.owner = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(st.st_uid);
    const struct group* gr = ::getgrgid(st.st_gid);
    e.group = gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(st.st_gid);
#else
    Q_UNUSED(device);
#endif
    return e;
}

Account currentAccount() {
    Account a;
#ifdef Q_OS_UNIX
    a.uid = ::geteuid();
    // The session's groups were fixed when it began.
    a.sessionGroups << ::getegid();
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        std::vector<gid_t> list(static_cast<size_t>(n));
        const int got = ::getgroups(n, list.data());
        for (int i = 0; i < got; ++i) a.sessionGroups << list[size_t(i)];
    }
    // The account's groups as the group database has them now: what the next session gets.
    if (const struct passwd* pw = ::getpwuid(::geteuid())) {
#ifdef Q_OS_MACOS
        using GroupId = int;  // macOS declares getgrouplist() with int
#else
        using GroupId = gid_t;
#endif
        const QByteArray name(pw->pw_name);
        int count = 64;
        std::vector<GroupId> list(static_cast<size_t>(count));
        if (::getgrouplist(name.constData(), GroupId(pw->pw_gid), list.data(), &count) < 0) {
            list.resize(static_cast<size_t>(count));
            if (::getgrouplist(name.constData(), GroupId(pw->pw_gid), list.data(), &count) < 0)
                count = 0;
        }
        for (int i = 0; i < count; ++i) a.groups << uint(list[size_t(i)]);
    }
#endif
    return a;
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
    facts.entry = readDeviceEntry(facts.device);
    facts.account = currentAccount();
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
        case Cause::PermissionDenied:
            switch (f.remedy) {
                case OpenFailure::Remedy::JoinGroup:
#ifdef Q_OS_LINUX
                    return QStringLiteral(
                               "Accès refusé à %1. Ajoutez votre compte au groupe %2 :\n"
                               "    sudo usermod -aG %2 $USER\n"
                               "puis fermez la session et ouvrez-la de nouveau.")
                        .arg(f.device, f.group);
#else
                    return QStringLiteral(
                               "Accès refusé à %1. Ajoutez votre compte au groupe %2, puis "
                               "fermez la session et ouvrez-la de nouveau.")
                        .arg(f.device, f.group);
#endif
                case OpenFailure::Remedy::LogInAgain:
                    return QStringLiteral(
                               "Accès refusé à %1. Votre compte est dans le groupe %2, mais "
                               "pas encore cette session : fermez la session et "
                               "reconnectez-vous.")
                        .arg(f.device, f.group);
                case OpenFailure::Remedy::OwnerOnly:
                    return QStringLiteral(
                               "Accès refusé à %1 : accessible à %2 seulement (%2:%3, "
                               "mode %4).")
                        .arg(f.device, f.owner, f.group,
                             QStringLiteral("%1").arg(f.mode, 3, 8, QLatin1Char('0')));
                case OpenFailure::Remedy::None:
                    break;
            }
            return QStringLiteral("Accès refusé à %1 : ce compte n'a pas le droit de l'ouvrir.")
                .arg(f.device);
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
        case Cause::Network:
            return f.systemText;
    }
    return {};
}

#ifdef Q_OS_UNIX
namespace {
// The kernel makes ttyS0 to ttyS3 whether or not a UART answers behind them; one that does not
// has type 0 and fails every opening.
bool serialNodeWithoutUart(const QString& device, const QString& ttyFolder) {
    const QString name = QFileInfo(device).fileName();
    if (!name.startsWith(QLatin1String("ttyS"))) return false;
    QFile type(ttyFolder + u'/' + name + QStringLiteral("/type"));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
}
}  // namespace
#endif

DeviceStatus deviceStatus(const QString& device, const QStringList& lockFolders,
                          const QString& ttyFolder) {
    DeviceStatus status;
#ifdef Q_OS_UNIX
    const QString canonical = QFileInfo(device).canonicalFilePath();
    if (canonical.isEmpty() || serialNodeWithoutUart(canonical, ttyFolder)) {
        status.state = DeviceStatus::State::Absent;
        return status;
    }
    status.pid = lockHolder(canonical, lockFolders, &status.program);
    if (status.pid > 0) {
        status.state = DeviceStatus::State::Held;
        return status;
    }
    const QByteArray path = QFile::encodeName(canonical);
    status.state = ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES
                       ? DeviceStatus::State::Denied
                       : DeviceStatus::State::Free;
#else
    Q_UNUSED(device);
    Q_UNUSED(lockFolders);
    Q_UNUSED(ttyFolder);
#endif
    return status;
}

QString deviceStatusText(const DeviceStatus& s) {
    switch (s.state) {
        case DeviceStatus::State::Unknown:
            return {};
        case DeviceStatus::State::Free:
            return QStringLiteral("libre");
        case DeviceStatus::State::Held:
            return s.program.isEmpty() ? QStringLiteral("tenu par le processus %1").arg(s.pid)
                                       : QStringLiteral("tenu par le processus %1 (%2)")
                                             .arg(QString::number(s.pid), s.program);
        case DeviceStatus::State::Denied:
            return QStringLiteral("permission refusée");
        case DeviceStatus::State::Absent:
            return QStringLiteral("absent");
    }
    return {};
}

}  // namespace trv
