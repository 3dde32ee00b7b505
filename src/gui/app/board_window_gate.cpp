#include "app/board_window_gate.h"

#include <QAction>
#include <QLineEdit>

#include "app/main_window.h"
#include "boards/counter_window.h"
#include "boards/luminosity_window.h"

namespace trv {

void BoardWindowGate::gateBoardWindows(bool monoColour) {
    QAction* switchesEntry = m_main.action("MENU_MISEALH");
    switchesEntry->setEnabled(false);
    m_main.showSwitches();
    LuminosityWindow* lum = m_main.showLuminosity();
    CounterWindow* dump = m_main.showCounter();
    dump->applyColourSetting(monoColour);
    lum->applyColourSetting(monoColour);
    switchesEntry->setEnabled(true);
    // The technician goes on with the first counter field, "Départ".
    dump->valeur[0]->setFocus();
}

}  // namespace trv
