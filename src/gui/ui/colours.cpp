#include "ui/colours.h"

#include <QAbstractButton>
#include <QPalette>
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
    // Restyling costs far more than the comparison, and scans set the same colour often.
    if (background(widget) == packed) return;
    const QColor c = toQColor(packed);
    widget->setProperty(kProperty, QVariant::fromValue(packed));
    if (qobject_cast<QAbstractButton*>(widget)) {
        // The Windows and macOS styles draw buttons without their palette; a style sheet
        // is obeyed everywhere.
        widget->setStyleSheet(QStringLiteral("background-color: %1;").arg(c.name()));
        return;
    }
    // Labels, text boxes and windows take the palette, far cheaper to change than a style
    // sheet, which matters when a scan recolours rows one after another.
    QPalette palette = widget->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, role, c);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void clearBackground(QWidget* widget) {
    widget->setProperty(kProperty, QVariant());
    if (qobject_cast<QAbstractButton*>(widget)) {
        widget->setStyleSheet(QString());
        return;
    }
    widget->setPalette(QPalette());
    widget->setAttribute(Qt::WA_SetPalette, false);
}

std::optional<Packed> background(const QWidget* widget) {
    const QVariant v = widget->property(kProperty);
    if (!v.isValid()) return std::nullopt;
    return v.value<Packed>();
}

}  // namespace trv::colour
