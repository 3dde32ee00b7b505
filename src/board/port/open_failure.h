#pragma once

#include <QString>
#include <QStringList>

// Why a port did not open, told to the technician in French beside the opening's own
// message. Plain logic: the facts are gathered from the port map and the system, then
// classified, so each cause can be tested on a temporary folder or on given facts.
namespace trv {

struct OpenFailure {
    enum class Cause { None, NoLink, DeviceAbsent, PermissionDenied, Busy, Other };
    Cause cause = Cause::None;
    QString device;      // what the port leads to (link target, device node or native name)
    qint64 pid = 0;      // the program holding the port, when its lock file names one
    QString program;     // that program's name, when the system tells it
    QString group;       // the group that may open the device (permission denied)
    QString systemText;  // the system's own words (other errors)
};

// What was seen when port n failed to open.
struct OpenFacts {
    bool linkExists = false;  // the link (or any entry) "comN" is in the ports folder
    QString target;           // where the link points, as written
    QString device;           // the device it resolves to, empty when dangling
    bool deviceNotFound = false;
    bool permissionError = false;  // the system or the port's lock refused the opening
    bool accessDenied = false;     // this account may not read and write the device
    QString group;                 // the device's group
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

}  // namespace trv
