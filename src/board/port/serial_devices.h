#pragma once

#include <QList>
#include <QString>

// The serial devices the system lists, for the port windows and `trvctl ports`.
namespace trv {

struct SerialDevice {
    QString location;  // what a port opens: "/dev/ttyUSB0", or "COM3" on Windows
    QString description;
    QString manufacturer;
    QString serialNumber;
};

// On Windows the COM ports of the registry's SERIALCOMM key (read only), named by the
// driver's device; elsewhere Qt's list of serial devices.
QList<SerialDevice> listSerialDevices();

}  // namespace trv
