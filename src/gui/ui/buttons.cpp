#include "ui/buttons.h"

#include <QPushButton>

#include "ui/colours.h"

namespace trv {

QPushButton* greenButton(QWidget* parent, const QString& caption, const char* name,
                         const QRect& geometry, QFont font) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    font.setBold(true);
    b->setFont(font);
    colour::setBackground(b, colour::kGreen);
    return b;
}

}  // namespace trv
