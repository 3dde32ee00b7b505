#pragma once

#include <QString>

// What every program of the project says of itself.
namespace trv {

// The project's version, "1.0.34": --version, the splash and the package say the same.
QString projectVersion();
// Gives the running program its name and the project's version, for --version, the settings
// folder and the desktop.
void nameProgram(const QString& name);

}  // namespace trv
