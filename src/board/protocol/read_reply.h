#pragma once

#include <QByteArrayView>
#include <optional>

#include "image/eeprom_image.h"
#include "protocol/wire.h"

// The board's answer to the whole-image read transaction.
namespace trv {

// Four acknowledgements ("SSS", "ZA0", "Y00", "ZA1"), then one data reply per "X1X":
// "31" STX, the byte's two hexadecimal digits, ETX. What follows is not used.
inline constexpr qsizetype kReadReplyAcks = 4;
inline constexpr qsizetype kReadReplySize =
    kReadReplyAcks * wire::kAckSize + wire::kDataReplySize * kImageSize;

// The 128 cell texts carried by a read reply: the two characters at the digits' place of each
// data reply, exactly as the board sent them (case kept, not checked for hexadecimal). A reply
// whose frames are not all where they belong (shorter, or shifted by line noise or by the
// tail of an earlier reply) holds no image: every cell would be taken from the wrong place.
std::optional<CellTexts> parseReadReply(QByteArrayView reply);

}  // namespace trv
