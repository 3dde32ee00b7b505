#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "image/image_history.h"
#include "port/serial_port.h"
#include "port/traffic_tap.h"
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

    // The COM number the settings window last opened; 0 before any opening.
    int portNumber() const { return m_portNumber; }
    void setPortNumber(int number) { m_portNumber = number; }

    // Where every whole image read or written in this run is kept; made on first use in the
    // data folder of that moment.
    history::ImageHistory& imageHistory();
    // True only the first time it is asked: a history that cannot be written is reported
    // once a run, then kept quiet.
    bool firstHistoryFailure() { return !std::exchange(m_historyFailed, true); }

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
    int m_portNumber = 0;
    std::optional<history::ImageHistory> m_history;
    bool m_historyFailed = false;
};

}  // namespace trv
