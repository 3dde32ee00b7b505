#include "settings/switch_codec.h"

namespace trv::switches {

Bank decodeBank(unsigned byte) {
    Bank bank{};
    for (int i = 0; i < kLeversPerBank; ++i) bank[std::size_t(i)] = (byte >> i) & 1u;
    return bank;
}

Banks decodeBanks(const CellTexts& cells) {
    return {decodeBank(cellValue(cellAt(cells, kSw1Cell))),
            decodeBank(cellValue(cellAt(cells, kSw2Cell)))};
}

Variant decodeVariant(const CellTexts& cells) {
    switch (cellValue(cellAt(cells, kVariantCell))) {
        case unsigned('T'):
            return Variant::ThreeColours;
        case unsigned('M'):
            return Variant::OneColour;
        default:
            return Variant::Unknown;
    }
}

QString variantText(Variant variant) {
    switch (variant) {
        case Variant::ThreeColours:
            return QStringLiteral("TRV trois couleurs.");
        case Variant::OneColour:
            return QStringLiteral("TRV une couleur.   ");
        case Variant::Unknown:
            break;
    }
    return QStringLiteral("   --   ");
}

}  // namespace trv::switches
