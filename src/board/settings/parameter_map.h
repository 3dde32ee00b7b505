#pragma once

#include <QString>
#include <array>
#include <optional>

#include "image/eeprom_image.h"

// Where the counting parameters lie in the EEPROM image and how they are packed.
// Everything here works on cell texts: the digits a technician typed are copied into the
// cells as they are (two characters a cell, least significant cell first), so whatever the
// board gives those digits to mean survives a round trip unchanged.
namespace trv::counter {

// A parameter record: six cells, decimals at base, then integer digits 9-10 at base + 1 up to
// digits 1-2 at base + 5. The counting step uses a shortened record of three cells.
inline constexpr int kRecordLength = 6;
inline constexpr int kStepRecordLength = 3;
inline constexpr int kStepDigits = 4;  // integer digits the step's record holds

inline constexpr int kStartBase = 0;
inline constexpr int kEndBase = 6;
inline constexpr int kRelay1Base = 12;
inline constexpr int kRelay2Base = 18;
inline constexpr int kMaxEndBase = 24;  // read-only: never encoded
inline constexpr int kRange2Base = 30;
inline constexpr int kRange3Base = 36;
inline constexpr int kRange4Base = 42;
inline constexpr int kRange5Base = 48;
inline constexpr int kStepBase = 54;
inline constexpr int kColourCell12 = 57;  // low nibble range 1, high nibble range 2
inline constexpr int kColourCell34 = 58;  // low nibble range 3, high nibble range 4
inline constexpr int kColourCell5 = 59;   // low nibble range 5, high nibble 0
inline constexpr int kFlagCell = 63;
inline constexpr int kRegisterBase = 64;  // read-only: never encoded
inline constexpr int kSignatureBase = 70;
inline constexpr int kSignatureLength = 4;

// The counter's value settings (fields), by index: start, end, relay 1, relay 2, ranges 2 to
// 5, step, register, maximum end, and range 1, which the board does not store.
inline constexpr int kFieldCount = 12;
inline constexpr int kStepField = 8;
inline constexpr int kRegisterField = 9;
inline constexpr int kMaxEndField = 10;
inline constexpr int kRange1Field = 11;  // always 0,00; not stored in the image
// The fields that programming writes, in the order it writes them.
inline constexpr std::array<int, 9> kProgrammedFields{0, 1, 2, 3, 4, 5, 6, 7, 8};

// Record base of field i for i = 0..10 (field 8 is the step's shortened record).
inline constexpr std::array<int, 11> kFieldBases{
    kStartBase,  kEndBase,    kRelay1Base, kRelay2Base,   kRange2Base, kRange3Base,
    kRange4Base, kRange5Base, kStepBase,   kRegisterBase, kMaxEndBase};

// nullopt for the fixed range-1 field and for indices outside 0 to kFieldCount - 1.
constexpr std::optional<int> recordBase(int field) {
    if (field < 0 || field >= int(kFieldBases.size())) return std::nullopt;
    return kFieldBases[std::size_t(field)];
}

// Fields whose cells programming owns; the register and the maximum end go back as read.
constexpr bool isProgrammed(int field) { return field >= 0 && field <= kStepField; }

// A value setting as text: its integer digits and its decimals.
struct ValueText {
    QString integer;
    QString decimals;
    friend bool operator==(const ValueText&, const ValueText&) = default;
};

// Six-cell record at base: the rightmost 10 characters of "0000000000" & integer, two by two
// from base + 5 down to base + 1, and the rightmost 2 of "00" & decimals at base.
void encodeRecord(CellTexts& cells, int base, const ValueText& value);
// The step's three cells: the rightmost 4 of "0000" & integer into 56 and 55, decimals into 54.
void encodeStep(CellTexts& cells, const ValueText& value);
// Encodes a programmed field into its record. Returns false, touching nothing, for the
// register, the maximum end, the fixed range 1 and any index outside 0 to kFieldCount - 1.
bool encodeField(CellTexts& cells, int field, const ValueText& value);

// The decimals as a record holds them once encoded: fewer than two characters are padded on
// the left ("5" -> "05", "" -> "00"), so that a field shows the two digits it programs. Text
// that would not make a byte is handed back as it is, for the refusal to quote it as typed.
QString programmedDecimals(const QString& decimals);

// The text of a programmed field that, once encoded, would put something other than a byte
// into a cell (a comma, a blank, a letter beyond F): nullopt when every cell takes a byte.
enum class FieldPart { Integer, Decimals };
std::optional<FieldPart> unsendablePart(int field, const ValueText& value);

// base + 5 .. base + 1 joined, leading zeros kept; decimals are the text of base as it is.
ValueText decodeRecord(const CellTexts& cells, int base);
// Cells 56 and 55 joined; decimals from cell 54.
ValueText decodeStep(const CellTexts& cells);
// nullopt for the fixed range 1 and any index outside 0 to kFieldCount - 1.
std::optional<ValueText> decodeField(const CellTexts& cells, int field);

// Range colours: one two-bit code per range, ranges 1 to 5 at indices 0 to 4.
enum class ColourCode : unsigned { None = 0, Red = 1, Green = 2, Orange = 3 };
inline constexpr int kRangeCount = 5;
using RangeColours = std::array<ColourCode, kRangeCount>;

RangeColours readRangeColours(const CellTexts& cells);
// Cells 57-59 as upper-case hexadecimal without a leading zero ("21", "3", "0").
void writeRangeColours(CellTexts& cells, const RangeColours& colours);

// The colour a range takes next as the technician steps through them: red -> green ->
// orange -> red; no colour -> orange.
ColourCode nextRangeColour(ColourCode code);

// Cell 63: relay 1 polarity (bit value 1), relay 2 polarity (2), counting down (4).
struct Flags {
    bool polrel1 = false;
    bool polrel2 = false;
    bool polrel3 = false;
    friend bool operator==(const Flags&, const Flags&) = default;
};
Flags readFlags(const CellTexts& cells);
// One character, "0" to "7"; bits 3-7 are written as 0.
void writeFlags(CellTexts& cells, Flags flags);

// Cells 70-73: "4B", "45", "4C", "64", the codes of "KELd".
void writeSignature(CellTexts& cells);
// Exact, case-sensitive match of all four cells ("4b" is a mismatch).
bool hasSignature(const CellTexts& cells);

// True when start > end, each value taken as integer & decimals (left-padded with zeros to two
// digits), read up to its first non-digit, empty = 0, and compared at any length.
bool countsDown(const ValueText& start, const ValueText& end);

}  // namespace trv::counter
