#include "settings/parameter_map.h"

namespace trv::counter {

namespace {

// "0000" & text, rightmost width characters: pads short texts, cuts long ones from the left.
QString rightmostPadded(const QString& text, int width) {
    return (QString(width, u'0') + text).right(width);
}

ColourCode codeOfNibble(unsigned nibble) {
    // Red, then green, then both: each later match wins, which is the plain two-bit code.
    ColourCode code = ColourCode::None;
    if (nibble & 1u) code = ColourCode::Red;
    if (nibble & 2u) code = ColourCode::Green;
    if ((nibble & 3u) == 3u) code = ColourCode::Orange;
    return code;
}

unsigned pair(ColourCode low, ColourCode high) { return unsigned(high) * 16 + unsigned(low); }

constexpr std::array<char, kSignatureLength> kSignatureChars{'K', 'E', 'L', 'd'};

// The leading ASCII digits of text with leading zeros dropped: the magnitude of the number.
QStringView significantDigits(QStringView text) {
    qsizetype end = 0;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') ++end;
    qsizetype begin = 0;
    while (begin < end && text[begin] == u'0') ++begin;
    return text.mid(begin, end - begin);
}

QString comparable(const ValueText& value) {
    return value.integer + value.decimals.rightJustified(2, u'0');
}

}  // namespace

void encodeRecord(CellTexts& cells, int base, const ValueText& value) {
    const QString s = rightmostPadded(value.integer, 10);
    for (int piece = 0; piece < 5; ++piece) cellAt(cells, base + 5 - piece) = s.mid(piece * 2, 2);
    cellAt(cells, base) = rightmostPadded(value.decimals, 2);
}

void encodeStep(CellTexts& cells, const ValueText& value) {
    const QString s = rightmostPadded(value.integer, 4);
    cellAt(cells, kStepBase + 2) = s.left(2);
    cellAt(cells, kStepBase + 1) = s.mid(2, 2);
    cellAt(cells, kStepBase) = rightmostPadded(value.decimals, 2);
}

bool encodeField(CellTexts& cells, int field, const ValueText& value) {
    if (!isProgrammed(field)) return false;
    if (field == kStepField)
        encodeStep(cells, value);
    else
        encodeRecord(cells, kFieldBases[std::size_t(field)], value);
    return true;
}

QString programmedDecimals(const QString& decimals) {
    const QString cell = rightmostPadded(decimals, 2);
    return decimals.size() < 2 && isByteText(cell) ? cell : decimals;
}

std::optional<FieldPart> unsendablePart(int field, const ValueText& value) {
    CellTexts cells;
    if (!encodeField(cells, field, value)) return std::nullopt;
    const int base = kFieldBases[std::size_t(field)];
    const int length = field == kStepField ? kStepRecordLength : kRecordLength;
    for (int address = base + 1; address < base + length; ++address)
        if (!isByteText(cellAt(cells, address))) return FieldPart::Integer;
    if (!isByteText(cellAt(cells, base))) return FieldPart::Decimals;
    return std::nullopt;
}

ValueText decodeRecord(const CellTexts& cells, int base) {
    QString integer;
    for (int address = base + 5; address > base; --address) integer += cellAt(cells, address);
    return {integer, cellAt(cells, base)};
}

ValueText decodeStep(const CellTexts& cells) {
    return {cellAt(cells, kStepBase + 2) + cellAt(cells, kStepBase + 1), cellAt(cells, kStepBase)};
}

std::optional<ValueText> decodeField(const CellTexts& cells, int field) {
    const std::optional<int> base = recordBase(field);
    if (!base) return std::nullopt;
    return field == kStepField ? decodeStep(cells) : decodeRecord(cells, *base);
}

RangeColours readRangeColours(const CellTexts& cells) {
    const unsigned c12 = cellValue(cellAt(cells, kColourCell12));
    const unsigned c34 = cellValue(cellAt(cells, kColourCell34));
    const unsigned c5 = cellValue(cellAt(cells, kColourCell5));
    return {codeOfNibble(c12), codeOfNibble(c12 >> 4), codeOfNibble(c34), codeOfNibble(c34 >> 4),
            codeOfNibble(c5)};
}

void writeRangeColours(CellTexts& cells, const RangeColours& colours) {
    cellAt(cells, kColourCell12) = byteText(pair(colours[0], colours[1]));
    cellAt(cells, kColourCell34) = byteText(pair(colours[2], colours[3]));
    cellAt(cells, kColourCell5) = byteText(unsigned(colours[4]));
}

ColourCode nextRangeColour(ColourCode code) {
    switch (code) {
        case ColourCode::Red:
            return ColourCode::Green;
        case ColourCode::Green:
            return ColourCode::Orange;
        case ColourCode::Orange:
            return ColourCode::Red;
        case ColourCode::None:
            break;
    }
    return ColourCode::Orange;
}

Flags readFlags(const CellTexts& cells) {
    const unsigned value = cellValue(cellAt(cells, kFlagCell));
    return {(value & 1u) != 0, (value & 2u) != 0, (value & 4u) != 0};
}

void writeFlags(CellTexts& cells, Flags flags) {
    const unsigned value =
        (flags.polrel1 ? 1u : 0u) + (flags.polrel2 ? 2u : 0u) + (flags.polrel3 ? 4u : 0u);
    cellAt(cells, kFlagCell) = byteText(value);
}

void writeSignature(CellTexts& cells) {
    for (int i = 0; i < kSignatureLength; ++i)
        cellAt(cells, kSignatureBase + i) = byteText(unsigned(kSignatureChars[std::size_t(i)]));
}

bool hasSignature(const CellTexts& cells) {
    for (int i = 0; i < kSignatureLength; ++i) {
        const QString expected = byteText(unsigned(kSignatureChars[std::size_t(i)]));
        if (cellAt(cells, kSignatureBase + i) != expected) return false;
    }
    return true;
}

bool countsDown(const ValueText& start, const ValueText& end) {
    const QString startText = comparable(start);
    const QString endText = comparable(end);
    const QStringView a = significantDigits(startText);
    const QStringView b = significantDigits(endText);
    // Without leading zeros, a longer digit string is the larger number.
    if (a.size() != b.size()) return a.size() > b.size();
    return a.compare(b) > 0;
}

}  // namespace trv::counter
