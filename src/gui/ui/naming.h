#pragma once

#include <QString>

class QWidget;

// Every control carries its given name where tests and screen readers look for it.
namespace trv {

// "Text1(5)"-style name of element i of a control array.
QString arrayName(const char* array, int index);

// Controls without a visible caption: object name and accessible name.
void nameControl(QWidget* widget, const QString& name);
// Lists and labels, whose accessible name Qt takes from their text: object name and
// accessible description.
void nameDescribed(QWidget* widget, const QString& name);

}  // namespace trv
