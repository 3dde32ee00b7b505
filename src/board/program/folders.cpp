#include "program/folders.h"

#include <QDir>
#include <QStandardPaths>

namespace trv {
namespace {

QString folder(const char* variable, QStandardPaths::StandardLocation location) {
    const QString chosen = qEnvironmentVariable(variable);
    if (!chosen.isEmpty()) return QDir::cleanPath(QDir::fromNativeSeparators(chosen));
    return QStandardPaths::writableLocation(location);
}

}  // namespace

QString dataFolder() { return folder("TRV_DATA_HOME", QStandardPaths::GenericDataLocation); }

QString configFolder() { return folder("TRV_CONFIG_HOME", QStandardPaths::GenericConfigLocation); }

}  // namespace trv
