#pragma once

#include <QString>

// Where the tool keeps what it writes for the user: the port links and the image history
// (data), the preferences (configuration). The system's own places (QStandardPaths: the XDG
// folders on Linux, %LOCALAPPDATA% on Windows) unless TRV_DATA_HOME or TRV_CONFIG_HOME names
// another folder. Windows has no XDG variables, so these are how a test, a portable copy or a
// second technician's session on one account gets folders of its own there.
namespace trv {

QString dataFolder();
QString configFolder();

}  // namespace trv
