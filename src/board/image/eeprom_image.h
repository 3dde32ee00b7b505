#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

// The board's 128-byte EEPROM image as the board windows hold it: one text per address
// (normally two hexadecimal digits) and what the last operation did to that cell; the
// windows choose how each state looks. The texts are the transfer buffer between the board
// and a window's fields.
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
// Why an image whose cell at address is not a byte stops what it was for (refused:
// "Envoi impossible", ...): "<refused> : la case 5 (adresse 0x05) ne contient pas un octet
// hexadécimal." The windows and trvctl say it in these words.
QString nonByteCellMessage(const QString& refused, int address);
// The cells as bytes; nullopt when any cell is not a byte.
std::optional<ImageBytes> imageBytes(const CellTexts& texts);
// Bytes as a read leaves them in the cells: two upper-case hexadecimal digits each.
QString cellText(quint8 byte);
CellTexts cellTexts(const ImageBytes& bytes);

// What the last operation did to a cell.
enum class CellState {
    Untouched,  // never transferred, filled or loaded
    Read,       // as the board sent it
    Written,    // sent to the board, which took it
    Failed,     // a transfer failed ("Er"), or the read-back found another byte
    Filled,     // EDIT or Lin
    Loaded,     // from an image file, not from a board
    Differs,    // differs from the image it was last compared with
};

class EepromImage : public QObject {
    Q_OBJECT
public:
    explicit EepromImage(QObject* parent = nullptr);

    const CellTexts& texts() const { return m_texts; }
    void setTexts(const CellTexts& texts);
    QString text(int address) const { return m_texts[std::size_t(address)]; }
    void setText(int address, const QString& text);

    CellState state(int address) const { return m_states[std::size_t(address)]; }
    void setState(int address, CellState state);
    void setAllStates(CellState state);
    // Every cell gets one text and one state (a failed transfer's outcome).
    void fill(const QString& text, CellState state);

signals:
    void cellChanged(int address);

private:
    CellTexts m_texts;
    std::array<CellState, kImageSize> m_states{};
};

}  // namespace trv
