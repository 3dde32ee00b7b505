#pragma once

#include <QString>
#include <optional>

#include "port/network_address.h"

// How a COM number reaches a device. On Windows port n is "COMn". Elsewhere port n is the
// device that the link "comN" in <user data>/trv-compteur/ports/ points to; there is no
// guessing among /dev/tty* devices, which could send frames into an unrelated console. On
// every system a file "comN.adresse" there leads port n to a serial device server instead.
namespace trv {

// The folder holding the links (created on demand by whoever makes a link).
QString portsFolder();
// Where the link for port n lives (it may not exist).
QString portLinkPath(int portNumber);
// The device to open for port n, or an empty text when there is none.
QString portDevice(int portNumber);
// The serial device server port n leads to instead of a device, when it leads to one.
std::optional<NetworkAddress> portNetworkAddress(int portNumber);

}  // namespace trv
