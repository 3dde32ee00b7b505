#pragma once

#include <QString>
#include <array>

#include "image/eeprom_image.h"

// The board's two banks of DIP switches and its colour variant, as it reports them in its
// EEPROM image. Read-only: nothing here writes a cell.
namespace trv::switches {

// Bank `SW1` (shown in the frame captioned "SW3") and bank `SW2` (frame "SW2").
inline constexpr int kSw1Cell = 74;
inline constexpr int kSw2Cell = 75;
inline constexpr int kVariantCell = 76;

// Lever i of a bank is switch i + 1 and stands for bit i (value 2^i) of the bank's byte.
inline constexpr int kLeversPerBank = 8;
using Bank = std::array<bool, kLeversPerBank>;  // true = ON

// A lever's value: 0 is up, at the "ON" mark; 1 is down, OFF (every lever's initial value).
inline constexpr int kLeverOn = 0;
inline constexpr int kLeverOff = 1;
constexpr int leverValue(bool on) { return on ? kLeverOn : kLeverOff; }
constexpr bool isOn(int leverValue) { return leverValue == kLeverOn; }

Bank decodeBank(unsigned byte);

struct Banks {
    Bank sw1{};
    Bank sw2{};
};
Banks decodeBanks(const CellTexts& cells);

// Cell 76: the code of "T" (0x54) for a three-colour board, of "M" (0x4D) for a one-colour
// board; any other byte names no variant and is not an error.
enum class Variant { Unknown, ThreeColours, OneColour };
Variant decodeVariant(const CellTexts& cells);

// The texts of `Label30`: "   --   " for Unknown (also shown while a read runs),
// "TRV trois couleurs." and "TRV une couleur.   ".
QString variantText(Variant variant);

}  // namespace trv::switches
