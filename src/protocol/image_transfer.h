#pragma once

#include <optional>

#include "grid/eeprom_image.h"

// The whole-image transfers between the board's EEPROM and a window's grid.
namespace trv {

class Exchange;

// The microswitch window ends its read with one more "RRR" frame.
enum class ReadVariant { Plain, ClosingRrr };

// Reads the board's image into the grid: green cells on success; "Er" on red after a
// time-out. Returns the failure flag (true when the board did not answer in time).
bool LIT_24C01(Exchange& exchange, EepromImage& image, ReadVariant variant = ReadVariant::Plain);

enum class WriteOutcome { Written, TimedOut, Refused };

// The first cell that does not hold one or two hexadecimal digits, if any.
std::optional<int> firstUnsendableCell(const CellTexts& texts);
QString unsendableCellMessage(int address);

// Writes the grid's image to the board. A grid holding a cell that is not a byte is never
// sent: the window is told which cell, nothing reaches the board and the grid is kept.
// On success the cells turn green; after a time-out every cell shows "Er" on red.
WriteOutcome ECRIT_24C01(Exchange& exchange, EepromImage& image);
inline bool failed(WriteOutcome outcome) { return outcome != WriteOutcome::Written; }

}  // namespace trv
