#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QPushButton;
class QWidget;

namespace trv {

// A bold button on the green background the windows give their actions, named and placed.
QPushButton* greenButton(QWidget* parent, const QString& caption, const char* name,
                         const QRect& geometry, QFont font);

}  // namespace trv
