// The ".kel" reader: any file a user may pick.
#include "config/kel_file.h"
#include "fuzz_target.h"

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView head(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::vector<int> indexes = trv::kel::readKelIndexes(head);
    TRV_FUZZ_CHECK(indexes.size() <= std::size_t(trv::kel::kSettingCount));
    for (int index : indexes) TRV_FUZZ_CHECK(index >= 0);
    // Lines after the eighth never count.
    if (!indexes.empty()) {
        const qsizetype cut = head.indexOf('\n') + 1;
        if (cut > 0 && indexes.size() > 1) {
            const std::vector<int> rest = trv::kel::readKelIndexes(head.sliced(cut));
            TRV_FUZZ_CHECK(rest.size() + 1 >= indexes.size());
            TRV_FUZZ_CHECK(std::equal(indexes.begin() + 1, indexes.end(), rest.begin()));
        }
    }
    return 0;
}
