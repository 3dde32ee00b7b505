#include "image/eeprom_image.h"

namespace trv {

namespace {
int hexDigit(QChar c) {
    if (c >= u'0' && c <= u'9') return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
    return -1;
}
}  // namespace

unsigned cellValue(const QString& text) {
    unsigned value = 0;
    for (QChar c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || value > 0x0FFFFFFFu) break;
        value = value * 16 + unsigned(digit);
    }
    return value;
}

QString byteText(unsigned value) { return QString::number(value & 0xFF, 16).toUpper(); }

bool isByteText(const QString& text) {
    if (text.isEmpty() || text.size() > 2) return false;
    for (QChar c : text)
        if (hexDigit(c) < 0) return false;
    return true;
}

std::optional<int> firstNonByteCell(const CellTexts& texts) {
    for (int i = 0; i < kImageSize; ++i)
        if (!isByteText(texts[std::size_t(i)])) return i;
    return std::nullopt;
}

QString nonByteCellMessage(const QString& refused, int address) {
    return QStringLiteral("%1 : la case %2 (adresse 0x%3) ne contient pas un octet hexadécimal.")
        .arg(refused)
        .arg(address)
        .arg(cellText(quint8(address)));
}

std::optional<ImageBytes> imageBytes(const CellTexts& texts) {
    if (firstNonByteCell(texts)) return std::nullopt;
    ImageBytes bytes{};
    for (int i = 0; i < kImageSize; ++i)
        bytes[std::size_t(i)] = quint8(cellValue(texts[std::size_t(i)]));
    return bytes;
}

QString cellText(quint8 byte) { return byteText(byte).rightJustified(2, u'0'); }

CellTexts cellTexts(const ImageBytes& bytes) {
    CellTexts texts;
    for (int i = 0; i < kImageSize; ++i) texts[std::size_t(i)] = cellText(bytes[std::size_t(i)]);
    return texts;
}

EepromImage::EepromImage(QObject* parent) : QObject(parent) {}

void EepromImage::setTexts(const CellTexts& texts) {
    for (int i = 0; i < kImageSize; ++i) setText(i, texts[std::size_t(i)]);
}

void EepromImage::setText(int address, const QString& text) {
    QString& cell = m_texts[std::size_t(address)];
    if (cell == text) return;
    cell = text;
    emit cellChanged(address);
}

void EepromImage::setState(int address, CellState state) {
    CellState& cell = m_states[std::size_t(address)];
    if (cell == state) return;
    cell = state;
    emit cellChanged(address);
}

void EepromImage::setAllStates(CellState state) {
    for (int i = 0; i < kImageSize; ++i) setState(i, state);
}

void EepromImage::fill(const QString& text, CellState state) {
    for (int i = 0; i < kImageSize; ++i) {
        setText(i, text);
        setState(i, state);
    }
}

}  // namespace trv
