#include "port/serial_devices.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <QSerialPortInfo>
#endif

namespace trv {

#ifdef _WIN32
QList<SerialDevice> listSerialDevices() {
    QList<SerialDevice> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return devices;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        // The value is the port ("COM3"), its name the driver's device ("\Device\Serial0").
        const QString port =
            QString::fromWCharArray(data, int(dataBytes / sizeof(wchar_t))).section(QChar(0), 0, 0);
        devices.append({port, QString::fromWCharArray(name, int(nameLength)), {}, {}});
    }
    RegCloseKey(key);
    return devices;
}
#else
QList<SerialDevice> listSerialDevices() {
    QList<SerialDevice> devices;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos)
        devices.append(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    return devices;
}
#endif

}  // namespace trv
