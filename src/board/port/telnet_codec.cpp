#include "port/telnet_codec.h"

namespace trv::telnet {

void Decoder::fail(const QString& why) {
    m_error = why;
    m_sub.clear();
    m_sub.squeeze();
}

bool Decoder::keep(quint8 b) {
    if (m_sub.size() >= kMaxSubnegotiation) {
        fail(
            QStringLiteral("sous-négociation Telnet de plus de %1 octets").arg(kMaxSubnegotiation));
        return false;
    }
    m_sub.append(char(b));
    return true;
}

bool Decoder::feed(QByteArrayView bytes, QByteArray* data, QList<Event>* events) {
    if (failed()) return false;
    // Runs of plain board bytes are copied at once, not byte by byte.
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        if (m_state == State::Data) {
            qsizetype end = i;
            while (end < n && quint8(bytes[end]) != kIac) ++end;
            data->append(bytes.data() + i, end - i);
            if (end == n) return true;
            m_state = State::Iac;
            i = end + 1;
            continue;
        }
        const quint8 b = quint8(bytes[i++]);
        switch (m_state) {
            case State::Data:
                break;
            case State::Iac:
                if (b == kIac) {
                    data->append(char(kIac));
                    m_state = State::Data;
                } else if (b >= kWill) {  // WILL, WONT, DO, DONT
                    m_verb = b;
                    m_state = State::Verb;
                } else if (b == kSb) {
                    m_sub.clear();
                    m_state = State::Sub;
                } else {
                    // NOP, data mark, break, go ahead… or a stray SE: nothing for the board.
                    m_state = State::Data;
                }
                break;
            case State::Verb: {
                static constexpr Event::Kind kinds[] = {Event::Kind::Will, Event::Kind::Wont,
                                                        Event::Kind::Do, Event::Kind::Dont};
                events->append(Event{kinds[m_verb - kWill], b, {}, data->size()});
                m_state = State::Data;
                break;
            }
            case State::Sub:
                if (b == kIac) {
                    m_state = State::SubIac;
                    break;
                }
                if (!keep(b)) return false;
                break;
            case State::SubIac:
                if (b == kIac) {
                    if (!keep(b)) return false;
                    m_state = State::Sub;
                } else if (b == kSe && !m_sub.isEmpty()) {
                    events->append(Event{Event::Kind::Subnegotiation, quint8(m_sub[0]),
                                         m_sub.mid(1), data->size()});
                    m_sub.clear();
                    m_state = State::Data;
                } else {
                    fail(b == kSe ? QStringLiteral("sous-négociation Telnet vide")
                                  : QStringLiteral("commande Telnet %1 au milieu d'une "
                                                   "sous-négociation")
                                        .arg(b));
                    return false;
                }
                break;
        }
    }
    return true;
}

QByteArray escapeData(QByteArrayView bytes) {
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (const char c : bytes) {
        out.append(c);
        if (quint8(c) == kIac) out.append(c);
    }
    return out;
}

QByteArray negotiation(quint8 verb, quint8 option) {
    const char out[] = {char(kIac), char(verb), char(option)};
    return QByteArray(out, sizeof out);
}

QByteArray comPortCommand(quint8 command, QByteArrayView value) {
    const char head[] = {char(kIac), char(kSb), char(kComPortOption), char(command)};
    QByteArray out(head, sizeof head);
    out += escapeData(value);
    out += char(kIac);
    out += char(kSe);
    return out;
}

QByteArray setBaudRate(quint32 baud) {
    const char value[] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return comPortCommand(comport::kSetBaudRate, QByteArrayView(value, 4));
}

namespace {
QByteArray oneByte(quint8 command, quint8 value) {
    const char v = char(value);
    return comPortCommand(command, QByteArrayView(&v, 1));
}
}  // namespace

QByteArray setDataSize(quint8 bits) { return oneByte(comport::kSetDataSize, bits); }
QByteArray setParity(quint8 parity) { return oneByte(comport::kSetParity, parity); }
QByteArray setStopSize(quint8 stopSize) { return oneByte(comport::kSetStopSize, stopSize); }
QByteArray setControl(quint8 control) { return oneByte(comport::kSetControl, control); }
QByteArray purgeData(quint8 which) { return oneByte(comport::kPurgeData, which); }

}  // namespace trv::telnet
