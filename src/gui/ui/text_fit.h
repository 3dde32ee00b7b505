#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>

class QWidget;

// Every window asks for "Comic Sans MS". Where that face is missing (every Linux desktop) it
// comes as the free Comic Neue, drawn alike, rather than whatever wider face the system
// would hand out. Controls keep their twip geometry; a control whose text would still be
// clipped gets a smaller point size, and only that control.
namespace trv {

// The windows' face at pointSize (the application's size when 0).
QFont windowFont(qreal pointSize = 0);

// Texts a control shows at some time besides its current one (a field's longest value, a
// caption set by an operation). Fitting and the layout checks take them into account.
void alsoShows(QWidget* control, const QStringList& texts);
// n characters of each hexadecimal digit: what a field of n digits must be able to show.
QStringList digitRuns(int n);

// Where a control draws its text with its current font and style; empty for controls
// without text.
QRect textArea(const QWidget* control);
// Every text the control shows: its own and those of alsoShows (a list's every entry).
QStringList shownTexts(const QWidget* control);
// The shown texts that do not fit inside the text area with the control's font.
QStringList clippedTexts(const QWidget* control);

// Shrinks, control by control, the point size of every text that does not fit in window.
void fitTexts(QWidget* window);

// The last step of building a window: Enter and Return press the focused button as Space
// does, and every text fits its control.
void finishWindow(QWidget* window);

}  // namespace trv
