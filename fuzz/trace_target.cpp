// The traffic monitor's decoders: whatever the line carries, cut into runs anywhere.
#include "fuzz_target.h"
#include "trace/decoder.h"

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte sets where the runs are cut, the rest is the line.
    const qsizetype runLength = 1 + data[0] % 64;
    const QByteArrayView line(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    trv::trace::ReplyDecoder replies;
    trv::trace::FrameDecoder frames;
    for (qsizetype at = 0; at < line.size(); at += runLength) {
        const QByteArrayView run = line.sliced(at, std::min(runLength, line.size() - at));
        // Every byte of a run is in exactly one unit, in order: nothing lost, nothing made up.
        QByteArray seen;
        for (const auto& unit : replies.decode(run)) seen += unit.bytes;
        TRV_FUZZ_CHECK(seen == run);
        frames.decode(run);
        if (data[0] & 0x80) replies.reset();
    }
    return 0;
}
