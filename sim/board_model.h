#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QtGlobal>
#include <array>
#include <vector>

// The simulated TRV board without any line: an EEPROM of 128 bytes and the interpreter of
// the command frames the tool sends. Fed the received bytes, it returns what the board
// sends back. It knows nothing of time; pacing and fault injection belong to the line.
namespace trv::sim {

inline constexpr int kEepromSize = 128;
using Eeprom = std::array<quint8, kEepromSize>;

enum class Preset {
    Blank,   // a fresh 24C01: every byte 0xFF
    Signed,  // a configured counter whose image carries the signature "KELd"
};

Eeprom presetImage(Preset preset);

// "_31" STX command ETX: what the tool sends.
QByteArray commandFrame(QByteArrayView command);
// "31" STX ACK ETX: the board's answer to every frame but "X1X".
QByteArray acknowledgement();
// "31" STX, two upper-case hexadecimal digits, ETX: the board's answer to "X1X".
QByteArray dataReply(quint8 value);

class BoardModel {
public:
    struct Answer {
        QByteArray reply;         // the replies of every frame completed, in order
        QByteArrayList commands;  // the three command characters of each of those frames
        QByteArrayList replies;   // the reply of each of those frames
        bool committed = false;   // a "WWW" stored bytes in the EEPROM
    };

    explicit BoardModel(const Eeprom& image = presetImage(Preset::Blank));

    // Takes bytes as they come off the line (frames may be cut anywhere; bytes that cannot
    // belong to a frame are dropped) and answers every frame completed by them.
    Answer feed(QByteArrayView bytes);

    const Eeprom& eeprom() const { return m_eeprom; }
    void setEeprom(const Eeprom& image) { m_eeprom = image; }

    // A faulty board: data replies carry "G0" instead of the byte's digits.
    void setGarbageData(bool on) { m_garbageData = on; }
    // A faulty board: "WWW" acknowledges as usual but never stores the byte for this address
    // (a worn EEPROM cell); -1 stores every byte.
    void setUnwrittenAddress(int address) { m_unwrittenAddress = address; }

    // Forgets a partly received frame and any open transaction.
    void reset();

private:
    enum class Mode { Idle, WriteAddress, WriteData, Read };
    struct PendingByte {
        int address;
        quint8 value;
    };

    QByteArray answer(QByteArrayView command, bool* committed);

    Eeprom m_eeprom;
    QByteArray m_input;
    Mode m_mode = Mode::Idle;
    int m_address = 0;
    std::vector<PendingByte> m_pending;
    bool m_garbageData = false;
    int m_unwrittenAddress = -1;
};

}  // namespace trv::sim
