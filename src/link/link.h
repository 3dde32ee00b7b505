#pragma once

#include <memory>

#include "link/serial_port.h"
#include "link/traffic_tap.h"
#include "protocol/clock.h"

// The program's one serial port, the clock its exchanges run on, and its port-open flag. The
// main window keeps this object for the whole run and hands it to every window, so no window
// can hold a dangling port.
namespace trv {

class Link {
public:
    explicit Link(std::unique_ptr<SerialPort> port, Clock& clock = steadyClock());

    SerialPort& port() { return m_tap; }
    // The port as the traffic monitor sees it; operations name themselves through it.
    TrafficTap& tap() { return m_tap; }
    Clock& clock() { return m_clock; }

    // True once the settings window has opened the chosen port.
    bool portOpen() const { return m_portOpen; }
    void setPortOpen(bool open) { m_portOpen = open; }

    // The settings window is gone: its port closes and the flag drops.
    void release();

    // An exchange with the board is running; windows refuse to close meanwhile.
    bool busy() const { return m_busy > 0; }
    void beginExchange() { ++m_busy; }
    void endExchange() { --m_busy; }

private:
    TrafficTap m_tap;
    Clock& m_clock;
    bool m_portOpen = false;
    int m_busy = 0;
};

}  // namespace trv
