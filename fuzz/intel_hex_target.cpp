// The Intel HEX image reader: any file a user may load.
#include "fuzz_target.h"
#include "image/image_file.h"

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    const trv::imagefile::Parsed parsed = trv::imagefile::parseIntelHex(text);
    // Either an image or a reason, never both, never neither.
    TRV_FUZZ_CHECK(parsed.bytes.has_value() == parsed.error.isEmpty());
    if (parsed.bytes) {
        // What was accepted is what the writer would write for it.
        const trv::imagefile::Parsed again =
            trv::imagefile::parseIntelHex(trv::imagefile::toIntelHex(*parsed.bytes));
        TRV_FUZZ_CHECK(again.bytes == parsed.bytes);
    }
    return 0;
}
