#pragma once

#include <QString>
#include <optional>

#include "image/eeprom_image.h"

// The three brightness bytes of the EEPROM image and the controls they map to. Programming
// touches cells 60 to 62 only, and leaves a cell as the board had it whenever the window
// holds no value of its own for it.
namespace trv::luminosity {

inline constexpr int kModeCell = 60;
inline constexpr int kPeriodCell = 61;
inline constexpr int kThresholdCell = 62;

// Brightness mode: the options `Option1(0)` to `Option1(6)`.
inline constexpr int kOptionCount = 7;
inline constexpr int kSensorOption = 0;  // "Capteur", written as 0x21
inline constexpr int kFullOption = 1;    // "100%", selected when the window opens
inline constexpr int kLowestOption = 6;  // "20%": only a read can select it

// "Capteur", "100%", "80%", "60%", "50%", "40%", "20%" for options 0 to 6.
QString optionCaption(int option);
// "21", "02", "04", "08", "10", "20", "40" for options 0 to 6; empty for any other index.
QString optionCode(int option);

// The option a mode byte selects: "Capteur" whenever bit 0x01 is set, otherwise the option of
// the highest set bit among 0x02 to 0x40; nullopt when none of them is set (00, 80).
std::optional<int> decodeMode(const CellTexts& cells);
// Writes the option's code into cell 60. With no option selected (nullopt), or an index
// outside 0..6, the cell keeps the byte read from the board.
void encodeMode(CellTexts& cells, std::optional<int> option);

// Switching period in seconds, 1 to 128, stored as 2 x period - 1.
inline constexpr int kPeriodMin = 1;
inline constexpr int kPeriodMax = 128;
inline constexpr int kPeriodDefault = 5;
// byte / 2 + 1, so every byte reads as a period (00 -> 1 s, 0A -> 6 s, FF -> 128 s); a cell
// text longer than a byte reads as 128 s rather than a period the slider cannot hold.
int decodePeriod(const CellTexts& cells);
// 2 x period - 1 as upper-case hexadecimal without a leading zero ("1", "9", "FF"); a period
// outside 1..128 is first brought to the nearest end of that range.
void encodePeriod(CellTexts& cells, int period);

// Day/night threshold, 0 (day) to 15 (night), stored as itself.
inline constexpr int kThresholdMin = 0;
inline constexpr int kThresholdMax = 15;
inline constexpr int kThresholdDefault = 4;
// nullopt when the board holds a value above 15, which the slider cannot show: the window
// then keeps the board's byte unless the user moves the slider.
std::optional<int> decodeThreshold(const CellTexts& cells);
// Writes the threshold ("0" to "F"); nullopt keeps the board's byte. A value outside 0..15 is
// first brought to the nearest end of that range.
void encodeThreshold(CellTexts& cells, std::optional<int> threshold);

}  // namespace trv::luminosity
