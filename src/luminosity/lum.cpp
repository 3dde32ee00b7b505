#include "luminosity/lum.h"

#include "ui/twips.h"

namespace trv {

Lum::Lum(Link& link, ReplyControl replyControl, QWidget* parent)
    : BoardWindow(link, std::move(replyControl), {2760, true, true}, ReadVariant::Plain, parent) {
    setObjectName(QStringLiteral("LUM"));
    setWindowTitle(QStringLiteral(" Luminosité."));
    resize(twipSize(2040, 3570));
}

void Lum::applyColourSetting(bool) {}

}  // namespace trv
