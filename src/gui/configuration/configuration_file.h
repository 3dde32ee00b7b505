#pragma once

#include <QString>
#include <functional>

class QWidget;

// The File menu's "&Ouvrir une configuration" and "&Enregistrer une configuration": the
// eight selections of the settings window kept in a ".kel" file and loaded back.
namespace trv {

class Prompts;
class SettingsWindow;

// Shows the settings window CONFIGURATION (creating it when needed) in its normal state,
// gives it the focus and returns it. The main window provides it.
using ShowSettings = std::function<SettingsWindow*()>;

// Asks the user for a file name, then reads the file's first eight indexes into the
// settings window and, when all eight are entries of their lists, presses BOUTON_VALIDE,
// which opens the port as a click would. Loading stops silently at the first unusable
// index, keeping the ones already set. A file that cannot be read is reported and the
// dialog comes back with that name; cancelling the dialog ends the operation quietly.
void openConfiguration(const ShowSettings& showSettings, Prompts& prompts, QWidget* parent);

// Asks the user for a file name and writes the settings window's selections to it. The
// file is replaced only once it is complete, so a failed save leaves the previous one
// intact; the failure is reported and the dialog comes back with that name.
void saveConfiguration(const ShowSettings& showSettings, Prompts& prompts, QWidget* parent);

}  // namespace trv
