#pragma once

#include <QString>
#include <optional>

#include "image/eeprom_image.h"
#include "image/image_history.h"

// The whole-image transfers between the board's EEPROM and 128 cell texts.
namespace trv {

// The frames of each transfer after its wake-up: "SSS", "ZA0", "Y00", "ZA1", one "X1X" per
// address and "X6X" for a read; eight blocks of "SSS", "ZA0", the address, 16 bytes and "WWW"
// for a write. Every one of them is answered, and all the answers must be in within the reply
// limit once the run has left the line.
inline constexpr int kReadFrames = 4 + kImageSize + 1;
inline constexpr int kWriteFrames = 8 * (3 + 16 + 1);

// Why a read whose cells are not all bytes is no image: the board's answers came through, in
// their places, but with characters that are not hexadecimal digits; the link, not the
// EEPROM, is at fault. Lower case, as trvctl's port lines go.
QString notBytesReason();

class Exchange;

// The microswitch window ends its read with one more "RRR" frame.
enum class ReadVariant { Plain, ClosingRrr };

// Lost: the port went away during the transfer.
enum class ReadOutcome { Read, TimedOut, Lost };

// Wakes the board and reads its whole image. An exchange asked to stop before the first
// frame sends nothing (TimedOut, and Exchange::stopped()); once begun, the read runs to its
// end whatever is asked. On success each cell holds the two characters
// the board sent for its address, as they are; after a time-out, a lost port, or a reply
// whose frames are not where they belong, the cells are untouched. kind: what the image read
// is to the operation, as the history keeps it.
ReadOutcome readImage(Exchange& exchange, CellTexts& cells,
                      ReadVariant variant = ReadVariant::Plain,
                      history::Direction kind = history::Direction::Read);

enum class WriteOutcome { Written, TimedOut, Refused, Lost };

// Why a write refused the image: its cell at address is not a byte, so nothing was sent.
QString unsendableCellMessage(int address);

// Wakes the board and writes the whole image. Cells that are not all bytes are never sent:
// nothing reaches the board and the answer is Refused (firstNonByteCell says which). A stop
// is taken as by readImage: before the first frame, or once the write is acknowledged.
WriteOutcome writeImage(Exchange& exchange, const CellTexts& cells);

// The same transfers on a board window's image: cells are marked read or written on success;
// after a time-out or a lost port every cell shows "Er", failed. A refused write leaves the
// image as it was.
ReadOutcome LIT_24C01(Exchange& exchange, EepromImage& image,
                      ReadVariant variant = ReadVariant::Plain);
WriteOutcome ECRIT_24C01(Exchange& exchange, EepromImage& image);
// The failure marks a transfer that timed out leaves in the image.
void markFailed(EepromImage& image);
// A read's cells that are not bytes keep their texts and are marked failed; true when any was.
bool markNonBytesFailed(EepromImage& image);

}  // namespace trv
