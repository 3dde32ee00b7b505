// trvctl's setting values ("depart=12,00", "luminosite=capteur", ...) and, when the first byte
// is odd, its whole command line: one argument a line.
#include <QStringList>

#include "command_line.h"
#include "fuzz_target.h"

namespace {
bool isDigits(const QString& text) {
    for (QChar c : text)
        if (c < u'0' || c > u'9') return false;
    return true;
}
}  // namespace

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool wholeLine = data[0] & 1;
    const QStringList arguments =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))
            .split(u'\n');
    if (wholeLine) {
        const trv::cli::Parsed parsed = trv::cli::parse(arguments);
        TRV_FUZZ_CHECK(parsed.invocation.has_value() == parsed.error.isEmpty());
        return 0;
    }
    QString error;
    const auto changes = trv::cli::parseSettings(arguments, &error);
    TRV_FUZZ_CHECK(changes.has_value() == error.isEmpty());
    if (!changes) return 0;
    // Whatever is accepted is something the board can be programmed with.
    for (const auto& value : changes->counter.values) {
        if (!value) continue;
        TRV_FUZZ_CHECK(isDigits(value->integer) && value->integer.size() <= 10);
        TRV_FUZZ_CHECK(isDigits(value->decimals) && value->decimals.size() <= 2);
    }
    const trv::board::LuminositySettings& lum = changes->luminosity;
    TRV_FUZZ_CHECK(!lum.mode || (*lum.mode >= 0 && *lum.mode <= 6));
    TRV_FUZZ_CHECK(!lum.period || (*lum.period >= 1 && *lum.period <= 128));
    TRV_FUZZ_CHECK(!lum.threshold || (*lum.threshold >= 0 && *lum.threshold <= 15));
    return 0;
}
