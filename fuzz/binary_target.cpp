// The raw binary image reader: any file a user may load.
#include "fuzz_target.h"
#include "image/image_file.h"

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const trv::imagefile::Parsed parsed = trv::imagefile::parseBinary(bytes);
    TRV_FUZZ_CHECK(parsed.bytes.has_value() == parsed.error.isEmpty());
    TRV_FUZZ_CHECK(parsed.bytes.has_value() == (size == std::size_t(trv::kImageSize)));
    if (parsed.bytes) TRV_FUZZ_CHECK(std::equal(parsed.bytes->begin(), parsed.bytes->end(), data));
    return 0;
}
