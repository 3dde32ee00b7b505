#pragma once

#include <QList>
#include <QStringList>
#include <QVariant>
#include <utility>

class QObject;

// What windows and controls show before any operation, checked from one table per kind:
// object name → expected value. A row names an object under one of the roots, or a root.
namespace trv::test {

// A caption is a window's title, a menu's title, or a control's or menu entry's text; sizes
// are in twips, as the layouts give them.
enum class Shown { Caption, ToolTip, TwipSize };
using Roots = QList<const QObject*>;
using ByName = QList<std::pair<const char*, QVariant>>;

// One line per row that does not hold.
QStringList wrongRows(const Roots& roots, Shown kind, const ByName& rows);

}  // namespace trv::test
