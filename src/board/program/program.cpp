#include "program/program.h"

#include <QCoreApplication>

namespace trv {

QString projectVersion() {
    return QStringLiteral("%1.%2.%3")
        .arg(TRV_VERSION_MAJOR)
        .arg(TRV_VERSION_MINOR)
        .arg(TRV_VERSION_PATCH);
}

void nameProgram(const QString& name) {
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(projectVersion());
}

}  // namespace trv
