#pragma once

// The port a program opens on this system: the project's Win32 port on Windows, where Qt has
// no serial port module here, and Qt's serial port elsewhere.
#ifdef _WIN32
#include "port/win32_serial_port.h"
namespace trv {
using SystemSerialPort = Win32SerialPort;
}
#else
#include "port/qt_serial_port.h"
namespace trv {
using SystemSerialPort = QtSerialPort;
}
#endif
