#include "ui/colours.h"

#include <QVariant>
#include <QWidget>

namespace trv::colour {
namespace {
constexpr const char* kProperty = "trvBackground";
}

QColor toQColor(Packed packed) {
    return QColor(int(packed & 0xFF), int((packed >> 8) & 0xFF), int((packed >> 16) & 0xFF));
}

Packed fromQColor(const QColor& c) {
    return Packed(c.red()) | (Packed(c.green()) << 8) | (Packed(c.blue()) << 16);
}

void setBackground(QWidget* widget, Packed packed) {
    // A style sheet beats the palette on every style, the Windows and macOS ones included.
    const QColor c = toQColor(packed);
    widget->setProperty(kProperty, QVariant::fromValue(packed));
    widget->setStyleSheet(QStringLiteral("background-color: %1;").arg(c.name()));
}

void clearBackground(QWidget* widget) {
    widget->setProperty(kProperty, QVariant());
    widget->setStyleSheet(QString());
}

std::optional<Packed> background(const QWidget* widget) {
    const QVariant v = widget->property(kProperty);
    if (!v.isValid()) return std::nullopt;
    return v.value<Packed>();
}

}  // namespace trv::colour
