#pragma once

class QCoreApplication;

namespace trv {

// Loads Qt's French translation (qtbase_fr, from Qt's own translations folder) into the
// application, so that the texts Qt draws itself — file dialogs, standard buttons, text-box
// context menus, the command-line help — read in French like the program's own. The program
// speaks French whatever the system's language, so the choice does not follow the locale.
// Returns false when the translation is not installed; Qt's texts then stay in English.
bool installQtFrench(QCoreApplication& app);

}  // namespace trv
