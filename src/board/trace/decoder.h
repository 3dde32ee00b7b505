#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// The board's frames and replies named in French, for the traffic monitor and trvctl's trace.
namespace trv::trace {

// "5F 33 31 02"
QString hexText(QByteArrayView bytes);
// Printable ASCII as it is, control characters by name ("_31<STX>SSS<ETX>"), other bytes
// as "<A5>".
QString controlText(QByteArrayView bytes);

// What the board answers to one frame.
enum class ReplyKind { Ack, Data };
ReplyKind expectedReply(QByteArrayView command);

// Names the frames written in runs, one run after another. A "Y" right after "ZA0" carries
// an address, every later one a data byte.
class FrameDecoder {
public:
    struct Run {
        QString text;              // "SSS réveil ×11", "Y3F donnée 0x3F"
        QList<QByteArray> frames;  // the three-character commands, in order
        bool foreign = false;      // bytes that are not frames
    };
    Run decode(QByteArrayView bytes);
    void reset() { m_addressNext = false; }

    // "SSS réveil", "Y3F donnée 0x3F", "Y10 adresse 0x10", "X1X lecture", …
    static QString describe(QByteArrayView command, bool address);

private:
    bool m_addressNext = false;
};

// Cuts what the board sends into replies. A reply cut between two runs is kept and
// completed by the next run.
class ReplyDecoder {
public:
    enum class Kind {
        Ack,         // "31" STX ACK ETX
        Data,        // "31" STX two characters ETX
        Nak,         // "31" STX NAK ETX
        Garbage,     // bytes that belong to no reply
        Incomplete,  // the start of a reply, to be completed by the next run
        Abandoned,   // the reply started in an earlier run never came whole (no bytes)
    };
    struct Unit {
        Kind kind;
        QByteArray bytes;        // this run's bytes of the unit
        QByteArray digits;       // Data: the two characters
        bool continued = false;  // the unit began in an earlier run
    };
    QList<Unit> decode(QByteArrayView bytes);
    // A reply started before this can no longer be completed (input discarded, port reset).
    // True when a started reply was waiting.
    bool reset() { return !std::exchange(m_carry, {}).isEmpty(); }
    bool pending() const { return !m_carry.isEmpty(); }

private:
    QByteArray m_carry;
};

// "octet 0x5A lu"; digits that are not hexadecimal are quoted.
QString dataText(const QByteArray& digits);
bool isHexDigits(const QByteArray& digits);

}  // namespace trv::trace
