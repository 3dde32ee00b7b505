#include "shown_table.h"

#include <QDebug>
#include <QObject>
#include <QSize>

#include "ui/twips.h"

namespace trv::test {

QStringList wrongRows(const Roots& roots, Shown kind, const ByName& rows) {
    QStringList wrong;
    for (const auto& [name, expected] : rows) {
        const QObject* o = nullptr;
        for (const QObject* root : roots)
            if (!o)
                o = root->objectName() == QLatin1String(name)
                        ? root
                        : root->findChild<const QObject*>(QLatin1String(name));
        QVariant actual;
        QVariant wanted = expected;
        if (o && kind == Shown::ToolTip) actual = o->property("toolTip");
        if (o && kind == Shown::TwipSize) {
            actual = o->property("size");
            wanted = twipSize(expected.toSize().width(), expected.toSize().height());
        }
        // The first of these a control has is its caption.
        for (const char* caption : {"text", "title", "windowTitle"})
            if (o && kind == Shown::Caption && !actual.isValid()) actual = o->property(caption);
        if (!o || actual != wanted) {
            QString line;
            QDebug(&line) << name << (o ? "shows" : "not found") << actual << "instead of"
                          << wanted;
            wrong << line;
        }
    }
    return wrong;
}

}  // namespace trv::test
