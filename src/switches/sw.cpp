#include "switches/sw.h"

#include "ui/twips.h"

namespace trv {

Sw::Sw(Link& link, ReplyControl replyControl, QWidget* parent)
    : BoardWindow(link, std::move(replyControl), {6480, false, false}, ReadVariant::ClosingRrr,
                  parent) {
    setObjectName(QStringLiteral("SW"));
    setWindowTitle(QStringLiteral(" Lecture de la configuration des microswitches."));
    resize(twipSize(4800, 4425));
}

}  // namespace trv
