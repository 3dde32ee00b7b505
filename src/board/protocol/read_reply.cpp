#include "protocol/read_reply.h"

namespace trv {
namespace {
constexpr QByteArrayView kReplyHead("31\x02", 3);
constexpr char kEtx = 0x03;
constexpr qsizetype kAckCount = 4;
constexpr qsizetype kAckSize = 5;
constexpr qsizetype kDataReplySize = 6;

// "31" STX, the reply's own characters, ETX.
bool isFramed(QByteArrayView reply) {
    return reply.first(kReplyHead.size()) == kReplyHead && reply.back() == kEtx;
}
}  // namespace

std::optional<CellTexts> parseReadReply(QByteArrayView reply) {
    if (reply.size() < kReadReplySize) return std::nullopt;
    for (qsizetype i = 0; i < kAckCount; ++i)
        if (!isFramed(reply.sliced(i * kAckSize, kAckSize))) return std::nullopt;
    CellTexts texts;
    for (int address = 0; address < kImageSize; ++address) {
        const QByteArrayView data =
            reply.sliced(kAckCount * kAckSize + kDataReplySize * address, kDataReplySize);
        if (!isFramed(data)) return std::nullopt;
        // Latin-1 keeps one character per byte, whatever the board sent.
        texts[std::size_t(address)] = QString::fromLatin1(data.sliced(3, 2));
    }
    return texts;
}

}  // namespace trv
