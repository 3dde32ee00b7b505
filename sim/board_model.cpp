#include "sim/board_model.h"

#include <optional>

namespace trv::sim {

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kAck = 0x06;
constexpr int kFrameSize = 8;
constexpr QByteArrayView kFrameHead("_31\x02", 4);

std::optional<quint8> hexByte(char high, char low) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    const int h = digit(high);
    const int l = digit(low);
    if (h < 0 || l < 0) return std::nullopt;
    return quint8(h * 16 + l);
}

// A value as a parameter record: decimals first, then the integer digits two by two from
// the least significant pair, each pair as packed BCD.
void putRecord(Eeprom& image, int base, quint64 integer, int decimals, int integerCells = 5) {
    auto bcd = [](int twoDigits) { return quint8((twoDigits / 10) << 4 | (twoDigits % 10)); };
    image[std::size_t(base)] = bcd(decimals);
    for (int cell = 1; cell <= integerCells; ++cell) {
        image[std::size_t(base + cell)] = bcd(int(integer % 100));
        integer /= 100;
    }
}

}  // namespace

Eeprom presetImage(Preset preset) {
    Eeprom image;
    image.fill(0xFF);
    if (preset == Preset::Blank) return image;

    // Bytes no window decodes: a pattern, so that a byte landing at the wrong address shows.
    for (int address = 77; address < kEepromSize; ++address)
        image[std::size_t(address)] = quint8(address);

    putRecord(image, 0, 10, 0);     // start
    putRecord(image, 6, 50, 0);     // end
    putRecord(image, 12, 3, 0);     // relay 1
    putRecord(image, 18, 7, 0);     // relay 2
    putRecord(image, 24, 9999, 0);  // maximum end
    putRecord(image, 30, 2, 0);     // ranges 2 to 5
    putRecord(image, 36, 4, 0);
    putRecord(image, 42, 6, 0);
    putRecord(image, 48, 8, 0);
    putRecord(image, 54, 1, 0, 2);  // counting step, four integer digits
    image[57] = 0x33;               // every range orange
    image[58] = 0x33;
    image[59] = 0x03;
    image[60] = 0x02;             // brightness 100 %
    image[61] = 0x09;             // switching period 5 s
    image[62] = 0x04;             // day/night threshold
    image[63] = 0x00;             // both relays normal, counting up
    putRecord(image, 64, 10, 0);  // register
    image[70] = 'K';
    image[71] = 'E';
    image[72] = 'L';
    image[73] = 'd';
    image[74] = 0x05;  // switch banks and colour variant
    image[75] = 0x80;
    image[76] = 0x54;
    return image;
}

QByteArray commandFrame(QByteArrayView command) {
    QByteArray frame = kFrameHead.toByteArray();
    frame.append(command);
    frame += kEtx;
    return frame;
}

QByteArray acknowledgement() { return QByteArray("31\x02\x06\x03", 5); }

QByteArray dataReply(quint8 value) {
    QByteArray reply("31\x02", 3);
    reply += QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
    reply += kEtx;
    return reply;
}

BoardModel::BoardModel(const Eeprom& image) : m_eeprom(image) {}

void BoardModel::reset() {
    m_input.clear();
    m_mode = Mode::Idle;
    m_address = 0;
    m_pending.clear();
}

BoardModel::Answer BoardModel::feed(QByteArrayView bytes) {
    Answer result;
    m_input += bytes;
    qsizetype pos = 0;
    while (true) {
        // Resynchronise on the frame head; anything before it is line noise.
        const qsizetype head = m_input.indexOf('_', pos);
        if (head < 0) {
            pos = m_input.size();
            break;
        }
        pos = head;
        const QByteArrayView rest = QByteArrayView(m_input).sliced(pos);
        const qsizetype known = std::min(rest.size(), kFrameHead.size());
        if (rest.first(known) != kFrameHead.first(known)) {
            ++pos;
            continue;
        }
        if (rest.size() < kFrameSize) break;  // the rest of the frame is still on its way
        if (rest[kFrameSize - 1] != kEtx) {
            ++pos;
            continue;
        }
        const QByteArrayView command = rest.sliced(kFrameHead.size(), 3);
        bool committed = false;
        result.replies.append(answer(command, &committed));
        result.reply += result.replies.back();
        result.commands.append(command.toByteArray());
        result.committed = result.committed || committed;
        pos += kFrameSize;
    }
    m_input.remove(0, pos);
    return result;
}

QByteArray BoardModel::answer(QByteArrayView command, bool* committed) {
    if (command == "SSS") {
        // A new transaction: whatever the last one left unfinished is forgotten.
        m_mode = Mode::Idle;
        m_pending.clear();
    } else if (command == "ZA0") {
        m_mode = Mode::WriteAddress;
        m_pending.clear();
    } else if (command == "ZA1") {
        // A repeated start for reading: bytes written without "WWW" never reach the memory.
        m_mode = Mode::Read;
        m_pending.clear();
    } else if (command.size() == 3 && command[0] == 'Y') {
        const std::optional<quint8> value = hexByte(command[1], command[2]);
        if (value && m_mode == Mode::WriteAddress) {
            m_address = *value % kEepromSize;
            m_mode = Mode::WriteData;
        } else if (value && m_mode == Mode::WriteData) {
            m_pending.push_back({m_address, *value});
            m_address = (m_address + 1) % kEepromSize;
        }
    } else if (command == "WWW") {
        for (const PendingByte& byte : m_pending)
            if (byte.address != m_unwrittenAddress)
                m_eeprom[std::size_t(byte.address)] = byte.value;
        *committed = !m_pending.empty();
        m_pending.clear();
        m_mode = Mode::Idle;
    } else if (command == "X1X") {
        const quint8 value = m_eeprom[std::size_t(m_address)];
        m_address = (m_address + 1) % kEepromSize;
        if (m_garbageData) return QByteArray("31\x02G0\x03", 6);
        return dataReply(value);
    } else if (command == "X6X") {
        m_mode = Mode::Idle;
    }
    return acknowledgement();
}

}  // namespace trv::sim
