#include "port/port_map.h"

#include <QFileInfo>

#include "port/port_assignment.h"
#include "program/folders.h"

namespace trv {

QString portsFolder() { return dataFolder() + QStringLiteral("/trv-compteur/ports"); }

QString portLinkPath(int portNumber) { return portLinkPath(portsFolder(), portNumber); }

std::optional<NetworkAddress> portNetworkAddress(int portNumber) {
    return portNetworkAddress(portsFolder(), portNumber);
}

QString portDevice(int portNumber) {
    if (portNumber < 1) return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    // The absolute target, so that every user of one device shares Qt's lock file.
    return QFileInfo(portLinkPath(portNumber)).canonicalFilePath();
#endif
}

}  // namespace trv
