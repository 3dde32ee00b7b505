#include "ui/naming.h"

#include <QWidget>

namespace trv {

QString arrayName(const char* array, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(index);
}

void nameControl(QWidget* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleName(name);
}

void nameDescribed(QWidget* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleDescription(name);
}

}  // namespace trv
