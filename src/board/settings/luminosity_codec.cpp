#include "settings/luminosity_codec.h"

#include <algorithm>
#include <array>

namespace trv::luminosity {

namespace {

struct Option {
    const char16_t* caption;
    const char16_t* code;
    unsigned bit;  // the bit of the mode byte that selects it on reading
};

constexpr std::array<Option, kOptionCount> kOptions{{
    {u"Capteur", u"21", 0x01},
    {u"100%", u"02", 0x02},
    {u"80%", u"04", 0x04},
    {u"60%", u"08", 0x08},
    {u"50%", u"10", 0x10},
    {u"40%", u"20", 0x20},
    {u"20%", u"40", 0x40},
}};

bool isOption(int option) { return option >= 0 && option < kOptionCount; }

}  // namespace

QString optionCaption(int option) {
    return isOption(option) ? QString::fromUtf16(kOptions[std::size_t(option)].caption) : QString();
}

QString optionCode(int option) {
    return isOption(option) ? QString::fromUtf16(kOptions[std::size_t(option)].code) : QString();
}

std::optional<int> decodeMode(const CellTexts& cells) {
    const unsigned mode = cellValue(cellAt(cells, kModeCell));
    // The sensor bit wins; among the fixed levels the highest set bit wins.
    if (mode & kOptions[kSensorOption].bit) return kSensorOption;
    for (int option = kLowestOption; option >= kFullOption; --option)
        if (mode & kOptions[std::size_t(option)].bit) return option;
    return std::nullopt;
}

void encodeMode(CellTexts& cells, std::optional<int> option) {
    if (option && isOption(*option)) cellAt(cells, kModeCell) = optionCode(*option);
}

int decodePeriod(const CellTexts& cells) {
    const unsigned byte = std::min(cellValue(cellAt(cells, kPeriodCell)), 0xFFu);
    return int(byte / 2 + 1);
}

void encodePeriod(CellTexts& cells, int period) {
    const int seconds = std::clamp(period, kPeriodMin, kPeriodMax);
    cellAt(cells, kPeriodCell) = byteText(unsigned(2 * seconds - 1));
}

std::optional<int> decodeThreshold(const CellTexts& cells) {
    const unsigned value = cellValue(cellAt(cells, kThresholdCell));
    if (value > unsigned(kThresholdMax)) return std::nullopt;
    return int(value);
}

void encodeThreshold(CellTexts& cells, std::optional<int> threshold) {
    if (!threshold) return;
    cellAt(cells, kThresholdCell) =
        byteText(unsigned(std::clamp(*threshold, kThresholdMin, kThresholdMax)));
}

}  // namespace trv::luminosity
