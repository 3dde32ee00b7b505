#pragma once

#include <QByteArrayView>
#include <algorithm>
#include <chrono>

// The board's wire format in one place: the frame around a command, the replies and their
// lengths, how long a run of bytes takes on the line and how long a reply may take. The
// exchange, the transfers and the traffic trace all read it from here (the simulator keeps
// a copy of its own on purpose: it stands for the board).
namespace trv::wire {

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;

// A command frame: "_31" STX, three command characters, ETX.
inline constexpr QByteArrayView kFramePrefix("_31\x02", 4);
inline constexpr qsizetype kCommandSize = 3;
inline constexpr qsizetype kFrameSize = kFramePrefix.size() + kCommandSize + 1;

// A reply: "31" STX, the reply's own characters, ETX.
inline constexpr QByteArrayView kReplyPrefix("31\x02", 3);
// The acknowledgement of every frame but "X1X": "31" STX ACK ETX.
inline constexpr QByteArrayView kAckReply("31\x02\x06\x03", 5);
inline constexpr qsizetype kAckSize = kAckReply.size();
// The answer to "X1X": "31" STX, the byte's two hexadecimal digits, ETX.
inline constexpr qsizetype kDataReplySize = kReplyPrefix.size() + 2 + 1;

// The longest the board may take to answer once what it answers has left the line.
inline constexpr std::chrono::milliseconds kReplyLimit{1000};

// How long a run of bytes takes on the line at the port's rate: ten bits a byte (start,
// eight data bits, stop). Microseconds, so that a run of short frames does not add up
// rounding.
constexpr std::chrono::microseconds lineTime(qint64 bytes, int baudRate) {
    return std::chrono::microseconds(bytes * 10 * 1'000'000 / std::max(1, baudRate));
}

}  // namespace trv::wire
