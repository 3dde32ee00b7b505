#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The byte stream of a Telnet connection with the COM Port Control option: what a serial
// device server sends is board bytes with Telnet commands woven in, and what goes to it is
// board bytes with 0xFF doubled, plus the commands that set its UART. No sockets here, so a
// hostile stream can be fed byte by byte in a test or a fuzz target.
namespace trv::telnet {

inline constexpr quint8 kIac = 255;
inline constexpr quint8 kDont = 254;
inline constexpr quint8 kDo = 253;
inline constexpr quint8 kWont = 252;
inline constexpr quint8 kWill = 251;
inline constexpr quint8 kSb = 250;
inline constexpr quint8 kSe = 240;

inline constexpr quint8 kBinary = 0;
inline constexpr quint8 kSuppressGoAhead = 3;
inline constexpr quint8 kComPortOption = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers each with the same
// code plus kServerOffset.
namespace comport {
inline constexpr quint8 kSetBaudRate = 1;
inline constexpr quint8 kSetDataSize = 2;
inline constexpr quint8 kSetParity = 3;
inline constexpr quint8 kSetStopSize = 4;
inline constexpr quint8 kSetControl = 5;
inline constexpr quint8 kPurgeData = 12;
inline constexpr quint8 kServerOffset = 100;

inline constexpr quint8 kParityNone = 1;
inline constexpr quint8 kStopSizeOne = 1;
inline constexpr quint8 kControlNoFlow = 1;
inline constexpr quint8 kControlDtrOn = 8;
inline constexpr quint8 kControlDtrOff = 9;
inline constexpr quint8 kPurgeReceiveBuffer = 1;
}  // namespace comport

// A negotiation or a complete subnegotiation from the server.
struct Event {
    enum class Kind { Will, Wont, Do, Dont, Subnegotiation };
    Kind kind = Kind::Will;
    quint8 option = 0;
    QByteArray payload;  // Subnegotiation: what follows the option, IAC IAC undoubled
    // Where it came in the board bytes: the size of the data buffer when it was complete,
    // so that a caller can tell the bytes sent before it from those sent after.
    qsizetype at = 0;
    friend bool operator==(const Event&, const Event&) = default;
};

// Splits what a server sends into board bytes and events. Commands without an option (NOP,
// GA, a break…) are consumed; a command cut between two reads is completed by the next one.
class Decoder {
public:
    // Longest subnegotiation taken: the COM-PORT-OPTION answers need six bytes; a server that
    // never ends one must not make the program hold what it sends.
    static constexpr qsizetype kMaxSubnegotiation = 64;

    // Appends the board bytes of `bytes` to *data and its events to *events. False once the
    // stream broke the protocol (an over-long subnegotiation, a command inside one); the
    // decoder then takes nothing more until reset().
    bool feed(QByteArrayView bytes, QByteArray* data, QList<Event>* events);
    bool failed() const { return !m_error.isEmpty(); }
    // Why the stream was refused, in French, for the technician.
    QString error() const { return m_error; }
    void reset() { *this = Decoder(); }

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    void fail(const QString& why);
    bool keep(quint8 b);  // one more byte of the subnegotiation, within the limit
    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;  // option and payload of the subnegotiation being read
    QString m_error;
};

// Board bytes as they go to the server: each 0xFF doubled.
QByteArray escapeData(QByteArrayView bytes);
// IAC verb option: WILL, WONT, DO or DONT.
QByteArray negotiation(quint8 verb, quint8 option);
// IAC SB COM-PORT-OPTION command value IAC SE, 0xFF doubled in the value.
QByteArray comPortCommand(quint8 command, QByteArrayView value);
QByteArray setBaudRate(quint32 baud);  // four bytes, most significant first
QByteArray setDataSize(quint8 bits);
QByteArray setParity(quint8 parity);
QByteArray setStopSize(quint8 stopSize);
QByteArray setControl(quint8 control);
QByteArray purgeData(quint8 which);

}  // namespace trv::telnet
