#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

class QWidget;

// Every window asks for "Comic Sans MS". Where that face is missing (every Linux desktop) it
// comes as the free Comic Neue, drawn alike, rather than whatever wider face the system
// would hand out; where the system has it (Windows), it is used as it is. Controls keep their
// twip geometry; a control is drawn at its full size (the size its window gives it, times the
// text size) whenever its text fits, and a text that would be clipped gets a smaller point
// size, for that control only and only while it holds that text: a text box is fitted again
// each time its text changes, typing included.
namespace trv {

// The windows' face at pointSize (the application's size when 0).
QFont windowFont(qreal pointSize = 0);
// The face that stands in for the windows' own on a system with these font families; empty
// when they include it.
QString faceStandIn(const QStringList& families);

// Texts a caption shows at some time besides its current one (set by an operation), so that
// it keeps one size whatever it says. Fitting and the layout checks take them into account.
// A text box is fitted to the text it holds and needs none.
void alsoShows(QWidget* control, const QStringList& texts);

// Where a control draws its text with its current font and style; empty for controls
// without text.
QRect textArea(const QWidget* control);
// Every text the control shows: its own and those of alsoShows (a list's every entry).
QStringList shownTexts(const QWidget* control);
// The shown texts that do not fit inside the text area with the control's font.
QStringList clippedTexts(const QWidget* control);

// The point size a control is drawn at when its texts fit: the one it had when first fitted,
// unless scaleWindow changed it since. 0 for a control sized in pixels.
qreal fullPointSize(const QWidget* control);
void setFullPointSize(QWidget* control, qreal points);

// Draws the control at its full size, or, when a text would be clipped there, at the largest
// smaller size at which every text fits (never below a size worth reading).
void fitControl(QWidget* control);
// Fits every control of window, and fits each text box again whenever its text changes.
void fitTexts(QWidget* window);

// "Outils > Taille du texte" scales a board window as a whole: every control's place, size and
// point size (edges scaled from their places at 100 %, so controls that meet still meet), then
// the texts are fitted again at their new full sizes. The window keeps its shape at the new
// scale, and the frame holding it follows and stays in view.
void scaleWindow(QWidget* window, qreal factor);
// 1 until scaleWindow gives the window another scale.
qreal windowScale(const QWidget* window);
// A size given at 100 % (the counter's panel open or closed) at the window's present scale.
QSize scaledSize(const QWidget* window, const QSize& size);

// Where a frame goes so that all of it shows in area: moved left and up as far as needed,
// never past the area's left or top edge (a frame larger than the area shows its top left).
QPoint placeInView(const QRect& frame, const QRect& area);
// Moves a frame that grew past its area back into view: a window inside an MDI area within
// the area's viewport, a top-level window within its screen's available geometry.
void keepInView(QWidget* frame);

// The last step of building a window: Enter and Return press the focused button as Space
// does, and every text fits its control.
void finishWindow(QWidget* window);

}  // namespace trv
