#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "port/network_address.h"

// Which device each COM number leads to, and making or removing those links. Plain logic on a
// ports folder and a list of devices, so it runs on a temporary folder with fake entries.
namespace trv {

// A serial device of the machine, as the system describes it.
struct SerialDevice {
    QString location;  // the device node, e.g. /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
    // False for a device the system does not list (a pseudo-terminal, such as the board
    // simulator's) that is known only because a comN link leads to it.
    bool listed = true;
    friend bool operator==(const SerialDevice&, const SerialDevice&) = default;
};

// What COM n leads to.
struct PortEntry {
    // Network: a serial device server at an address (its file "comN.adresse"); BadAddress:
    // that file holds no address, and the port does not open until it is replaced.
    enum class State { Unassigned, Present, Unplugged, Network, BadAddress };
    int number = 0;
    State state = State::Unassigned;
    QString target;  // the link's target as written, the address, or the unreadable file
    QString device;  // the device node it resolves to (Present only)
    std::optional<SerialDevice> info;
    std::optional<NetworkAddress> address;  // Network only
};

// COM1 to COM14: the numbers the port map assigns and detection scans (the settings window's
// list stops at COM12).
inline constexpr int kAssignablePorts = 14;
// The last number the settings window offers; those above serve detection and trvctl only.
inline constexpr int kSettingsPorts = 12;

// What a COM number is to lead to, as the technician typed it: a device path (a link) or the
// address of a serial device server (an address file).
struct PortTarget {
    enum class Kind { Invalid, DevicePath, Network };
    Kind kind = Kind::Invalid;
    QString text;   // what the link or the address file holds (Invalid: what was typed)
    QString error;  // why it cannot be associated (Invalid only), in French
};
// Trims what was typed and checks it names something a port can lead to: an address written
// "scheme://…" must be a valid network address; anything else must be an absolute path of an
// existing entry that is not a folder (a device node, a pseudo-terminal, a by-id link).
PortTarget parsePortTarget(const QString& typed);

// The question before replacing COM n's association with target: "COM5 mène à /dev/pts/0.
// Le remplacer par /dev/ttyS0 ?"; none when COM n leads nowhere yet or already to target.
std::optional<QString> replaceQuestion(const PortEntry& entry, const QString& target);

QString portLinkPath(const QString& folder, int portNumber);
// Where COM n's network address is kept: "comN.adresse", one line, beside the links. It is
// a plain file on every system, Windows included, where it stands in for the native COMn.
QString portAddressPath(const QString& folder, int portNumber);

// What COM n's address file says: nothing when there is none; the address, or why the file
// holds none (a port must then fail to open, never fall back to a device).
struct StoredAddress {
    bool exists = false;
    std::optional<NetworkAddress> address;
    QString error;
};
StoredAddress readPortAddress(const QString& folder, int portNumber);
// The address COM n leads to, when it leads to one.
std::optional<NetworkAddress> portNetworkAddress(const QString& folder, int portNumber);

// COM1 to COM14 as the folder's links lead, matched against the machine's devices.
QList<PortEntry> portEntries(const QString& folder, const QList<SerialDevice>& devices);

// The devices one may associate with a COM number: the system's, then each present device a
// link leads to that the system does not list (marked as such), once, in COM order.
QList<SerialDevice> assignableDevices(const QList<SerialDevice>& system,
                                      const QList<PortEntry>& entries);

// The COM numbers whose links lead to the device.
QList<int> portsLeadingTo(const QList<PortEntry>& entries, const QString& device);

// The stable name of a device in a by-id folder (a link there that resolves to it), so the
// COM number survives unplugging and replugging; empty when the system keeps none.
QString stablePath(const QString& device, const QString& byIdFolder);
inline const QString kSerialByIdFolder = QStringLiteral("/dev/serial/by-id");

#ifdef Q_OS_UNIX
// Puts a link to target at path in one step: a fresh link renamed over the link there, so
// the port never leads nowhere in between. On failure nothing is left behind and errno says
// why.
bool swapLink(const QByteArray& target, const QByteArray& path);
#endif

// Associates COM n with target: a device path becomes the link comN (replacing a link already
// there in one step), a network address the file comN.adresse (written whole or not at all).
// Either removes the association of the other kind, so a port never leads to two places.
// Nothing but that link and that file is ever replaced or removed. Returns a French message
// on failure.
std::optional<QString> assignPort(const QString& folder, int portNumber, const QString& target);
// Removes COM n's association, link or address file: never a device node or another file.
std::optional<QString> unassignPort(const QString& folder, int portNumber);

}  // namespace trv
