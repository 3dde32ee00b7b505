#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Why a port did not open, told to the technician in French beside the opening's own
// message. Plain logic: the facts are gathered from the port map and the system, then
// classified, so each cause can be tested on a temporary folder or on given facts.
namespace trv {

struct OpenFailure {
    // Network: a serial device server could not be reached or would not set the line up;
    // systemText then holds the whole explanation, naming the server.
    enum class Cause { None, NoLink, DeviceAbsent, PermissionDenied, Busy, Other, Network };
    // What would let this account open a device it may not open (permission denied).
    enum class Remedy {
        None,        // nothing this account can do: some other rule refuses it
        JoinGroup,   // the device's group may open it and the account is not in it
        LogInAgain,  // the account is in that group, the running session is not yet
        OwnerOnly,   // only the device's owner (root, mostly) may open it
    };
    Cause cause = Cause::None;
    Remedy remedy = Remedy::None;
    QString device;      // what the port leads to (link target, device node or native name)
    qint64 pid = 0;      // the program holding the port, when its lock file names one
    QString program;     // that program's name, when the system tells it
    QString group;       // the group that may open the device (permission denied)
    QString owner;       // the device's owner (permission denied)
    uint mode = 0;       // the device's permission bits (permission denied)
    QString systemText;  // the system's own words (other errors)
};

// A device node's entry, as stat() and the user and group databases tell it.
struct DeviceEntry {
    bool known = false;  // false when the entry could not be read
    uint uid = 0;
    QString owner;
    uint gid = 0;
    QString group;
    uint mode = 0;  // the permission bits, e.g. 0660
};

// Who opens the device: the groups the account belongs to by the group database (what a new
// session gets), and those of the running session (fixed when it began).
struct Account {
    uint uid = 0;
    QList<uint> groups;
    QList<uint> sessionGroups;
};

DeviceEntry readDeviceEntry(const QString& device);
Account currentAccount();

// What would let the account open a device whose entry refuses it.
OpenFailure::Remedy accessRemedy(const DeviceEntry& entry, const Account& account);

// What was seen when port n failed to open.
struct OpenFacts {
    bool linkExists = false;  // the link (or any entry) "comN" is in the ports folder
    QString target;           // where the link points, as written
    QString device;           // the device it resolves to, empty when dangling
    bool deviceNotFound = false;
    bool permissionError = false;  // the system or the port's lock refused the opening
    bool accessDenied = false;     // this account may not read and write the device
    DeviceEntry entry;             // the device's owner, group and mode
    Account account;               // who tried to open it
    qint64 lockPid = 0;            // a live process named by the device's lock file
    QString lockProgram;
    QString systemText;
};

OpenFailure classifyOpenFailure(const OpenFacts& facts);

// Looks at the link of a port that failed to open (empty on Windows, where the port is its
// native name) and at its device, after the port said deviceNotFound or permissionError.
OpenFacts observeOpenFailure(const QString& linkPath, bool deviceNotFound, bool permissionError,
                             const QString& systemText, const QStringList& lockFolders);

// Where programs put the lock files of serial devices ("LCK..ttyUSB0"), first found first.
QStringList defaultLockFolders();
// The live process that a lock file of the device names, 0 when none does.
qint64 lockHolder(const QString& device, const QStringList& lockFolders, QString* program);

// The detailed text under "L'ouverture du port COMn à échouée !".
QString openFailureText(const OpenFailure& failure, int portNumber);

// Whether this account could open a device now, told without opening it (opening a serial
// device raises its modem lines, which resets some boards): from its lock file and its entry.
struct DeviceStatus {
    enum class State { Unknown, Free, Held, Denied, Absent };
    State state = State::Unknown;
    qint64 pid = 0;  // Held: the process named by the lock file
    QString program;
};
// ttyFolder: where the system describes its terminals (/sys/class/tty on Linux); a ttyS node
// whose UART type is 0 has no hardware behind it and counts as absent.
inline const QString kSysTtyFolder = QStringLiteral("/sys/class/tty");
DeviceStatus deviceStatus(const QString& device, const QStringList& lockFolders,
                          const QString& ttyFolder = kSysTtyFolder);
// "libre", "tenu par le processus 1234 (minicom)", "permission refusée", "absent"; empty when
// the system does not tell.
QString deviceStatusText(const DeviceStatus& status);

}  // namespace trv
