#pragma once

#include <QString>
#include <optional>

// Where a board behind a serial device server is reached: "rfc2217://HOST:PORT" (Telnet COM
// Port Control, the server's UART set by the program) or "tcp://HOST:PORT" (raw bytes, the
// line set on the server). Plain text handling, shared by the port map, the network port and
// trvctl.
namespace trv {

struct NetworkAddress {
    enum class Kind { Rfc2217, Tcp };
    Kind kind = Kind::Rfc2217;
    QString host;  // a name or an IPv4 address; an IPv6 address without its brackets
    quint16 port = 0;

    // "rfc2217://10.0.0.5:4001": how the address is written, stored and shown.
    QString text() const;
    // "10.0.0.5:4001": how messages name the server.
    QString endpoint() const;
    friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// True when the text is written as an address ("scheme://…"), valid or not, so that a caller
// tells "not an address" from "a bad address".
bool looksLikeNetworkAddress(const QString& text);

// Parses an address as the technician typed it (blanks around it ignored, the scheme in any
// case). Returns nothing, with a French reason in *error, when the scheme is neither rfc2217
// nor tcp, the host is empty or holds blanks, or the port is not a number from 1 to 65535.
std::optional<NetworkAddress> parseNetworkAddress(const QString& typed, QString* error = nullptr);

// How messages, the traffic and the history name a port: "COM7" for a local one, "COM7
// (rfc2217://10.0.0.5:4001)" for one associated with an address, the address alone for one
// opened by its address (port number 0).
QString portName(int portNumber, const std::optional<NetworkAddress>& address);

}  // namespace trv
