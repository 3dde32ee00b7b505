#include "counter/dump_24c01.h"

#include <QMdiSubWindow>

#include "ui/twips.h"

namespace trv {

Dump24c01::Dump24c01(Link& link, ReplyControl replyControl, QWidget* parent)
    : BoardWindow(link, std::move(replyControl), {3360, true, true}, ReadVariant::Plain, parent) {
    setObjectName(QStringLiteral("dump_24c01"));
    setWindowTitle(QStringLiteral(" Paramètres."));
    resize(twipSize(2610, 4620));
    connect(&grid(), &GridWidget::closeExtensionRequested, this, &Dump24c01::closeGridPanel);
}

void Dump24c01::applyColourSetting(bool) {}

void Dump24c01::openGridPanel() {
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    frame->resize(twipSize(11790, 4980));
}

void Dump24c01::closeGridPanel() {
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    frame->resize(twipSize(2730, 4980));
}

}  // namespace trv
