#pragma once

#include <QList>

#include "port/port_assignment.h"

// The serial devices the system lists, for the port windows and `trvctl ports`.
namespace trv {

// On Windows the COM ports of the registry's SERIALCOMM key (read only), named by the
// driver's device; elsewhere Qt's list of serial devices.
QList<SerialDevice> listSerialDevices();

}  // namespace trv
