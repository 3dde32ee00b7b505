#include "protocol/read_reply.h"

namespace trv {
namespace {
using wire::kAckSize;
using wire::kDataReplySize;

// "31" STX, the reply's own characters, ETX.
bool isFramed(QByteArrayView reply) {
    return reply.first(wire::kReplyPrefix.size()) == wire::kReplyPrefix &&
           reply.back() == wire::kEtx;
}
}  // namespace

std::optional<CellTexts> parseReadReply(QByteArrayView reply) {
    if (reply.size() < kReadReplySize) return std::nullopt;
    for (qsizetype i = 0; i < kReadReplyAcks; ++i)
        if (!isFramed(reply.sliced(i * kAckSize, kAckSize))) return std::nullopt;
    CellTexts texts;
    for (int address = 0; address < kImageSize; ++address) {
        const QByteArrayView data =
            reply.sliced(kReadReplyAcks * kAckSize + kDataReplySize * address, kDataReplySize);
        if (!isFramed(data)) return std::nullopt;
        // Latin-1 keeps one character per byte, whatever the board sent.
        texts[std::size_t(address)] =
            QString::fromLatin1(data.sliced(wire::kReplyPrefix.size(), 2));
    }
    return texts;
}

}  // namespace trv
