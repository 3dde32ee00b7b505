// The whole-image read reply: anything the line may bring.
#include "fuzz_target.h"
#include "protocol/read_reply.h"

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView reply(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<trv::CellTexts> texts = trv::parseReadReply(reply);
    if (!texts) return 0;
    // An image is only ever the board's own characters, each from its frame's place, and
    // only from a reply whose every frame sits where it belongs.
    TRV_FUZZ_CHECK(reply.size() >= trv::kReadReplySize);
    for (int i = 0; i < 4 + trv::kImageSize; ++i) {
        const qsizetype end = i < 4 ? 5 * i + 4 : 23 + 6 * (i - 4) + 2;
        TRV_FUZZ_CHECK(reply[end] == '\x03' && reply.sliced(end - (i < 4 ? 4 : 5), 3) == "31\x02");
    }
    for (int i = 0; i < trv::kImageSize; ++i) {
        const QString& text = (*texts)[std::size_t(i)];
        TRV_FUZZ_CHECK(text.size() == 2 && text.toLatin1() == reply.sliced(23 + 6 * i, 2));
    }
    // What follows the image never changes it.
    TRV_FUZZ_CHECK(trv::parseReadReply(reply.first(trv::kReadReplySize)) == texts);
    return 0;
}
