#include "link/port_guard.h"

#include <QCloseEvent>

#include "link/link.h"
#include "ui/prompts.h"

namespace trv {

bool openPortGuard(const Link& link, Prompts& prompts, QWidget* parent) {
    if (link.portOpen()) return true;
    prompts.warning(parent, QStringLiteral("Pas de port COM ouvert. Veuillez valider la "
                                           "Configuration dans le menu Configuration."));
    return false;
}

bool refuseWhileBusy(const Link& link) { return link.busy(); }

bool mayStartOperation(const Link& link, Prompts& prompts, QWidget* parent) {
    // Busy first: the guard's warning would otherwise open a box inside the exchange.
    return !refuseWhileBusy(link) && openPortGuard(link, prompts, parent);
}

bool refuseCloseWhileBusy(const Link& link, QCloseEvent* event) {
    if (!link.busy()) return false;
    event->ignore();
    return true;
}

}  // namespace trv
