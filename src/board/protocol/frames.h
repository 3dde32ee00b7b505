#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "protocol/wire.h"

// Command frames: "_31", STX, three command characters, ETX.
namespace trv::frames {

inline constexpr int kFrameSize = int(wire::kFrameSize);
// What the board answers to every frame but "X1X": "31" STX ACK ETX.
inline const QByteArray kAck = wire::kAckReply.toByteArray();

QByteArray frame(QByteArrayView command);
QByteArray burst(QByteArrayView command, int count);
// The data or address command "Yhh" for one cell: a one-character cell gets its leading "0".
QByteArray dataCommand(const QString& cellText);

}  // namespace trv::frames
