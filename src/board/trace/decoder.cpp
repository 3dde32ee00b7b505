#include "trace/decoder.h"

#include <array>

#include "protocol/wire.h"

namespace trv::trace {
namespace {
using wire::kAckSize;
using wire::kDataReplySize;
using wire::kEtx;
using wire::kFramePrefix;
using wire::kFrameSize;
using wire::kReplyPrefix;

constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// What the bytes at the start of r are: a whole reply (its kind and length), the start of
// one that more bytes may complete, or no reply at all.
struct Match {
    enum { None, Partial, Whole } state = None;
    ReplyDecoder::Kind kind = ReplyDecoder::Kind::Garbage;
    qsizetype length = 0;
};

Match matchReply(QByteArrayView r) {
    const qsizetype n = r.size();
    for (qsizetype k = 0; k < std::min<qsizetype>(n, kReplyPrefix.size()); ++k)
        if (r[k] != kReplyPrefix[k]) return {};
    // The one character of an acknowledgement or a refusal, or the two of a byte.
    const qsizetype at = kReplyPrefix.size();
    if (n < kAckSize) return {Match::Partial};
    if (r[at + 1] == kEtx && r[at] == wire::kAck)
        return {Match::Whole, ReplyDecoder::Kind::Ack, kAckSize};
    if (r[at + 1] == kEtx && r[at] == wire::kNak)
        return {Match::Whole, ReplyDecoder::Kind::Nak, kAckSize};
    if (n < kDataReplySize) return {Match::Partial};
    if (r[at + 2] == kEtx) return {Match::Whole, ReplyDecoder::Kind::Data, kDataReplySize};
    return {};
}

QString joinRepeated(const QStringList& items) {
    QStringList out;
    for (qsizetype i = 0; i < items.size();) {
        qsizetype j = i + 1;
        while (j < items.size() && items[j] == items[i]) ++j;
        out << (j - i > 1 ? QStringLiteral("%1 ×%2").arg(items[i]).arg(j - i) : items[i]);
        i = j;
    }
    return out.join(QStringLiteral(", "));
}
}  // namespace

QString hexText(QByteArrayView bytes) {
    QString out;
    out.reserve(bytes.size() * 3);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i) out += u' ';
        const auto b = quint8(bytes[i]);
        out += QLatin1Char(kDigits[b >> 4]);
        out += QLatin1Char(kDigits[b & 0xF]);
    }
    return out;
}

QString controlText(QByteArrayView bytes) {
    QString out;
    for (char c : bytes) {
        const auto b = quint8(c);
        if (b < kControlNames.size())
            out += u'<' + QLatin1String(kControlNames[b]) + u'>';
        else if (b == 0x7F)
            out += QStringLiteral("<DEL>");
        else if (b > 0x7F)
            out += u'<' + hexText(QByteArrayView(&c, 1)) + u'>';
        else
            out += QLatin1Char(c);
    }
    return out;
}

ReplyKind expectedReply(QByteArrayView command) {
    return command == QByteArrayView("X1X") ? ReplyKind::Data : ReplyKind::Ack;
}

bool isHexDigits(const QByteArray& digits) {
    return digits.size() == 2 && isHex(digits[0]) && isHex(digits[1]);
}

QString dataText(const QByteArray& digits) {
    if (isHexDigits(digits)) return QStringLiteral("octet 0x%1 lu").arg(QLatin1String(digits));
    return QStringLiteral("octet illisible « %1 »").arg(controlText(digits));
}

QString FrameDecoder::describe(QByteArrayView command, bool address) {
    static const std::array<std::pair<const char*, const char*>, 10> kNames = {{
        {"SSS", "SSS réveil"},
        {"ZA0", "ZA0 écriture"},
        {"ZA1", "ZA1 sélection en lecture"},
        {"X1X", "X1X lecture"},
        {"X6X", "X6X fin de lecture"},
        {"WWW", "WWW validation"},
        {"RRR", "RRR mise en veille"},
        {"PPP", "PPP annonce de lecture"},
        {"OOO", "OOO fin de programmation"},
        {"LLL", "LLL luminosité programmée"},
    }};
    for (const auto& [code, name] : kNames)
        if (command == QByteArrayView(code)) return QString::fromUtf8(name);
    if (command.size() == 3 && command[0] == 'Y') {
        const QByteArray digits = command.sliced(1).toByteArray();
        if (isHexDigits(digits))
            return QStringLiteral("Y%1 %2 0x%1")
                .arg(QLatin1String(digits),
                     address ? QStringLiteral("adresse") : QStringLiteral("donnée"));
        return QStringLiteral("%1 donnée illisible").arg(controlText(command));
    }
    return QStringLiteral("« %1 » commande inconnue").arg(controlText(command));
}

FrameDecoder::Run FrameDecoder::decode(QByteArrayView bytes) {
    Run run;
    QStringList items;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const QByteArrayView rest = bytes.sliced(i);
        if (rest.size() >= kFrameSize && rest.startsWith(kFramePrefix) &&
            rest[kFrameSize - 1] == kEtx) {
            const QByteArrayView command = rest.sliced(kFramePrefix.size(), wire::kCommandSize);
            items << describe(command, m_addressNext);
            m_addressNext = command == QByteArrayView("ZA0");
            run.frames << command.toByteArray();
            i += kFrameSize;
            continue;
        }
        // Bytes up to the next frame belong to no frame.
        qsizetype next = bytes.indexOf(kFramePrefix, i + 1);
        if (next < 0) next = bytes.size();
        items << QStringLiteral("octets hors trame (%1)").arg(next - i);
        run.foreign = true;
        i = next;
    }
    run.text = joinRepeated(items);
    return run;
}

QList<ReplyDecoder::Unit> ReplyDecoder::decode(QByteArrayView bytes) {
    QList<Unit> units;
    qsizetype i = 0;
    if (!m_carry.isEmpty()) {
        const QByteArray joined = m_carry + bytes.toByteArray();
        const Match m = matchReply(joined);
        if (m.state == Match::Whole) {
            i = m.length - m_carry.size();
            units << Unit{m.kind, bytes.first(i).toByteArray(),
                          m.kind == Kind::Data ? joined.mid(kReplyPrefix.size(), 2) : QByteArray(),
                          true};
            m_carry.clear();
        } else if (m.state == Match::Partial) {
            m_carry = joined;
            units << Unit{Kind::Incomplete, bytes.toByteArray(), {}, true};
            return units;
        } else {
            units << Unit{Kind::Abandoned, {}, {}, true};
            m_carry.clear();
        }
    }
    qsizetype garbageFrom = -1;
    auto flushGarbage = [&](qsizetype end) {
        if (garbageFrom < 0) return;
        units << Unit{
            Kind::Garbage, bytes.sliced(garbageFrom, end - garbageFrom).toByteArray(), {}, false};
        garbageFrom = -1;
    };
    while (i < bytes.size()) {
        const Match m = matchReply(bytes.sliced(i));
        if (m.state == Match::None) {
            if (garbageFrom < 0) garbageFrom = i;
            ++i;
            continue;
        }
        flushGarbage(i);
        if (m.state == Match::Partial) {
            m_carry = bytes.sliced(i).toByteArray();
            units << Unit{Kind::Incomplete, m_carry, {}, false};
            break;
        }
        const QByteArray whole = bytes.sliced(i, m.length).toByteArray();
        units << Unit{m.kind, whole,
                      m.kind == Kind::Data ? whole.mid(kReplyPrefix.size(), 2) : QByteArray(),
                      false};
        i += m.length;
    }
    flushGarbage(bytes.size());
    return units;
}

}  // namespace trv::trace
