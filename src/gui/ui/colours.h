#pragma once

#include <QColor>
#include <optional>

#include "ui/packed_colours.h"

class QWidget;

namespace trv::colour {

QColor toQColor(Packed packed);
Packed fromQColor(const QColor& colour);

// The one place where a control's background is set and read back, so that a label's
// colour can serve as the value it stands for.
void setBackground(QWidget* widget, Packed packed);
// Back to the style's own background; background() then answers nullopt.
void clearBackground(QWidget* widget);
std::optional<Packed> background(const QWidget* widget);

}  // namespace trv::colour
