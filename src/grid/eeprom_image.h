#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <optional>

// The board's 128-byte EEPROM image as the board windows hold it: one text per address
// (normally two hexadecimal digits) and the background colour the last operation gave it.
// The texts are the transfer buffer between the board and a window's fields.
namespace trv {

inline constexpr int kImageSize = 128;
using CellTexts = std::array<QString, kImageSize>;
// The image as the board holds it, address i at index i.
using ImageBytes = std::array<quint8, kImageSize>;

// Cell n of an image, by its address.
inline QString& cellAt(CellTexts& cells, int address) { return cells[std::size_t(address)]; }
inline const QString& cellAt(const CellTexts& cells, int address) {
    return cells[std::size_t(address)];
}

// A cell read as a number: its leading hexadecimal digits ("" reads as 0, "Er" as 14).
unsigned cellValue(const QString& text);
// A byte written into a cell: upper-case hexadecimal without a leading zero ("3", "21", "FF").
QString byteText(unsigned value);
// True when the cell holds one or two hexadecimal digits, i.e. a byte that can be sent.
bool isByteText(const QString& text);

// The first cell that is not a byte (empty, "Er", other characters), if any.
std::optional<int> firstNonByteCell(const CellTexts& texts);
// The cells as bytes; nullopt when any cell is not a byte.
std::optional<ImageBytes> imageBytes(const CellTexts& texts);
// Bytes as a read leaves them in the cells: two upper-case hexadecimal digits each.
QString cellText(quint8 byte);
CellTexts cellTexts(const ImageBytes& bytes);

class EepromImage : public QObject {
    Q_OBJECT
public:
    using Colour = std::optional<std::uint32_t>;  // nullopt: the control's own background

    explicit EepromImage(QObject* parent = nullptr);

    const CellTexts& texts() const { return m_texts; }
    void setTexts(const CellTexts& texts);
    QString text(int address) const { return m_texts[std::size_t(address)]; }
    void setText(int address, const QString& text);

    Colour colour(int address) const { return m_colours[std::size_t(address)]; }
    void setColour(int address, Colour colour);
    // Every cell gets one text and one colour (the transfers' outcome).
    void fill(const QString& text, Colour colour);

signals:
    void cellChanged(int address);

private:
    CellTexts m_texts;
    std::array<Colour, kImageSize> m_colours;
};

}  // namespace trv
