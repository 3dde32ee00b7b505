#pragma once

#include <QByteArray>
#include <QString>

#include "port/open_failure.h"

// The program's one serial port, reduced to what the board exchanges need.
// Port numbers are the COM numbers the user picks; port_map.h says how they reach a device.
namespace trv {

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens port n at "9600,N,8,1". False when it does not exist, is busy or fails to open.
    virtual bool open(int portNumber) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The number given to the last open(), 0 before any.
    virtual int portNumber() const = 0;
    // Why the last open() failed.
    virtual OpenFailure openFailure() const = 0;
    // True once the device went away under the open port (an adapter pulled out, the far end
    // of the line gone). Looks at the line now and never waits. A lost port has closed
    // itself, so nothing is retried on it, and stays lost until the next open().
    virtual bool lost() = 0;
    // Why the port was lost, when the port can tell more than that its device went away
    // (a server that closed the connection); empty otherwise.
    virtual QString lostReason() const { return {}; }
    virtual int baudRate() const = 0;

    // Queues the bytes; false when the port is closed or the write failed.
    virtual bool write(const QByteArray& bytes) = 0;
    // Blocks until everything written so far has left for the line, at most msecs.
    virtual bool drain(int msecs) = 0;

    // Received bytes waiting to be read (pulls in what the system holds, never blocks).
    virtual qint64 bytesWaiting() = 0;
    // Blocks until more bytes arrive or msecs pass; true when bytes arrived.
    virtual bool waitForInput(int msecs) = 0;
    virtual QByteArray readAll() = 0;
    // Drops every received byte, the system's buffer included.
    virtual void discardInput() = 0;
    virtual void setDtr(bool on) = 0;
};

}  // namespace trv
