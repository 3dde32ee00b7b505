#include "ui/text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace trv {
namespace {
constexpr const char* kTextsProperty = "trvAlsoShows";
constexpr const char* kFullPointsProperty = "trvFullPoints";
constexpr const char* kFollowsTextProperty = "trvFollowsText";
// What a window and its controls were at 100 %, and the window's present scale.
constexpr const char* kBaseGeometryProperty = "trvBaseGeometry";
constexpr const char* kBasePointsProperty = "trvBasePoints";
constexpr const char* kBaseSpacingProperty = "trvBaseSpacing";
constexpr const char* kScaleProperty = "trvScale";
const QString kFace = QStringLiteral("Comic Sans MS");
// Below this a text is no longer worth reading; fitting stops there.
constexpr qreal kSmallestPoints = 4.0;
constexpr qreal kPointStep = 0.25;

// What QLineEdit keeps free around its text, and the cursor's width at the end of it.
constexpr int kLineEditMargin = 2;

void substituteOnce() {
    static const bool done = [] {
        const QString standIn = faceStandIn(QFontDatabase::families());
        if (!standIn.isEmpty()) QFont::insertSubstitution(kFace, standIn);
        return true;
    }();
    Q_UNUSED(done);
}

QRect lineEditArea(const QLineEdit* edit) {
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame()
                           ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (edit->isReadOnly()) option.state |= QStyle::State_ReadOnly;
    const QRect contents = edit->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                               .marginsRemoved(edit->textMargins());
    return contents.adjusted(kLineEditMargin, 0, -kLineEditMargin, 0);
}

QStyleOptionButton buttonOption(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = button->rect();
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (auto* push = qobject_cast<const QPushButton*>(button)) {
        if (push->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isFlat()) option.features |= QStyleOptionButton::Flat;
    }
    return option;
}

QRect labelArea(const QLabel* label) {
    const int m = label->margin();
    QRect r = label->contentsRect().adjusted(m, m, -m, -m);
    if (label->frameWidth() > 0 && label->indent() != 0) {
        const int indent = label->indent() > 0
                               ? label->indent()
                               : int(QFontMetricsF(label->font()).horizontalAdvance(u'x') / 2);
        r.adjust(indent, 0, -indent, 0);
    }
    return r;
}

// The room a text needs in a control. A line edit keeps room for its cursor; one that can be
// edited also for the face's widest overhangs, or it scrolls its text and hides the first
// characters. A read-only box shows its text whole from its left edge even then.
QSizeF needed(const QWidget* control, const QString& text) {
    const QFontMetricsF metrics(control->font());
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) {
        const qreal overhangs = edit->isReadOnly()
                                    ? 0
                                    : std::max<qreal>(0, -metrics.minLeftBearing()) +
                                          std::max<qreal>(0, -metrics.minRightBearing());
        return {std::round(metrics.horizontalAdvance(text)) + 1 + overhangs, metrics.height()};
    }
    const int flags = qobject_cast<const QAbstractButton*>(control) ? int(Qt::TextShowMnemonic) : 0;
    return metrics.size(flags, text);
}
}  // namespace

QString faceStandIn(const QStringList& families) {
    if (families.contains(kFace, Qt::CaseInsensitive)) return {};
    return QStringLiteral("Comic Neue");
}

QFont windowFont(qreal pointSize) {
    substituteOnce();
    QFont font(kFace);
    if (pointSize > 0) font.setPointSizeF(pointSize);
    return font;
}

void alsoShows(QWidget* control, const QStringList& texts) {
    control->setProperty(kTextsProperty, texts);
}

QRect textArea(const QWidget* control) {
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) return lineEditArea(edit);
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->pixmap().isNull() ? labelArea(label) : QRect();
    if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
        const QStyleOptionButton option = buttonOption(button);
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<const QCheckBox*>(button)) element = QStyle::SE_CheckBoxContents;
        if (qobject_cast<const QRadioButton*>(button)) element = QStyle::SE_RadioButtonContents;
        return button->style()->subElementRect(element, &option, button);
    }
    if (auto* list = qobject_cast<const QComboBox*>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.rect = list->rect();
        option.editable = list->isEditable();
        option.frame = list->hasFrame();
        return list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                             QStyle::SC_ComboBoxEditField, list);
    }
    if (auto* box = qobject_cast<const QGroupBox*>(control)) {
        // The title may use the whole width of the frame, not more.
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.rect = box->rect();
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, box);
        return QRect(box->rect().left(), title.top(), box->rect().width(), title.height());
    }
    return {};
}

QStringList shownTexts(const QWidget* control) {
    QStringList texts;
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        texts << edit->text();
    else if (auto* label = qobject_cast<const QLabel*>(control))
        texts << label->text();
    else if (auto* button = qobject_cast<const QAbstractButton*>(control))
        texts << button->text();
    else if (auto* list = qobject_cast<const QComboBox*>(control))
        for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    else if (auto* box = qobject_cast<const QGroupBox*>(control))
        texts << box->title();
    texts += control->property(kTextsProperty).toStringList();
    texts.removeAll(QString());
    texts.removeDuplicates();
    return texts;
}

QStringList clippedTexts(const QWidget* control) {
    QStringList clipped;
    const QStringList texts = shownTexts(control);
    if (texts.isEmpty()) return clipped;
    const QRect area = textArea(control);
    for (const QString& text : texts) {
        const QSizeF size = needed(control, text);
        if (size.width() > area.width() || size.height() > area.height()) clipped << text;
    }
    return clipped;
}

qreal fullPointSize(const QWidget* control) {
    const QVariant full = control->property(kFullPointsProperty);
    return full.isValid() ? full.toReal() : control->font().pointSizeF();
}

void setFullPointSize(QWidget* control, qreal points) {
    control->setProperty(kFullPointsProperty, points);
}

void fitControl(QWidget* control) {
    // An emptied text box goes back to its full size too.
    if (!qobject_cast<QLineEdit*>(control) && shownTexts(control).isEmpty()) return;
    // Kept from the first fitting on: the size the window gave, before any shrinking.
    if (!control->property(kFullPointsProperty).isValid())
        setFullPointSize(control, control->font().pointSizeF());
    qreal points = fullPointSize(control);
    if (points <= 0) return;  // sized in pixels by its owner
    QFont font = control->font();
    const auto drawAt = [&] {
        font.setPointSizeF(points);
        if (control->font().pointSizeF() != points) control->setFont(font);
    };
    drawAt();
    while (points > kSmallestPoints && !clippedTexts(control).isEmpty()) {
        points -= kPointStep;
        drawAt();
    }
}

void fitTexts(QWidget* window) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
        fitControl(control);
        auto* box = qobject_cast<QLineEdit*>(control);
        if (!box || box->property(kFollowsTextProperty).toBool()) continue;
        box->setProperty(kFollowsTextProperty, true);
        QObject::connect(box, &QLineEdit::textChanged, box, [box] { fitControl(box); });
    }
}

namespace {

int scaledEdge(int edge, qreal factor) { return qRound(edge * factor); }

// Edges are scaled rather than sizes, so that controls that meet at 100 % still meet.
QRect scaledRect(const QRect& r, qreal factor) {
    const QPoint topLeft(scaledEdge(r.left(), factor), scaledEdge(r.top(), factor));
    const QPoint end(scaledEdge(r.left() + r.width(), factor),
                     scaledEdge(r.top() + r.height(), factor));
    return QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
}

// The controls a window places itself: its children, and theirs inside plain containers (a
// bank's frame). The inner parts of a composite control are its own business.
QList<QWidget*> placedControls(QWidget* parent) {
    QList<QWidget*> placed;
    for (QObject* child : parent->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (!control || control->isWindow()) continue;
        placed << control;
        const QMetaObject* kind = control->metaObject();
        if (kind == &QWidget::staticMetaObject || kind == &QFrame::staticMetaObject ||
            kind == &QGroupBox::staticMetaObject)
            placed += placedControls(control);
    }
    return placed;
}

// Remembered once, while the window is still at 100 %.
void keepBase(QWidget* control) {
    if (control->property(kBasePointsProperty).isValid()) return;
    control->setProperty(kBaseGeometryProperty, control->geometry());
    control->setProperty(kBasePointsProperty, fullPointSize(control));
    const QFont font = control->font();
    if (font.letterSpacingType() == QFont::AbsoluteSpacing)
        control->setProperty(kBaseSpacingProperty, font.letterSpacing());
}

void scaleFont(QWidget* control, qreal factor) {
    const qreal base = control->property(kBasePointsProperty).toReal();
    if (base <= 0) return;
    QFont font = control->font();
    font.setPointSizeF(base * factor);
    const QVariant spacing = control->property(kBaseSpacingProperty);
    if (spacing.isValid()) font.setLetterSpacing(QFont::AbsoluteSpacing, spacing.toReal() * factor);
    control->setFont(font);
    setFullPointSize(control, base * factor);
}

}  // namespace

qreal windowScale(const QWidget* window) {
    const QVariant scale = window->property(kScaleProperty);
    return scale.isValid() ? scale.toReal() : 1.0;
}

QSize scaledSize(const QWidget* window, const QSize& size) {
    const qreal factor = windowScale(window);
    return {scaledEdge(size.width(), factor), scaledEdge(size.height(), factor)};
}

void scaleWindow(QWidget* window, qreal factor) {
    const qreal before = windowScale(window);
    if (qFuzzyCompare(before, factor)) return;
    const QList<QWidget*> controls = placedControls(window);
    // Every base first: a control that inherits its font would otherwise take the scaled one.
    keepBase(window);
    for (QWidget* control : controls) keepBase(control);
    window->setProperty(kScaleProperty, factor);
    scaleFont(window, factor);
    for (QWidget* control : controls) {
        control->setGeometry(scaledRect(control->property(kBaseGeometryProperty).toRect(), factor));
        scaleFont(control, factor);
    }
    fitTexts(window);

    // The window keeps its shape (the counter's grid panel open or closed) at the new scale;
    // the frame around it follows.
    const QSize size(scaledEdge(window->width(), factor / before),
                     scaledEdge(window->height(), factor / before));
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget())) {
        frame->resize(frame->size() - window->size() + size);
        keepInView(frame);
    } else {
        window->resize(size);
        keepInView(window);
    }
}

QPoint placeInView(const QRect& frame, const QRect& area) {
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

void keepInView(QWidget* frame) {
    QRect area;
    QRect outer;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(frame)) {
        if (!sub->mdiArea()) return;
        area = sub->mdiArea()->viewport()->rect();
        outer = sub->geometry();
    } else if (frame->isWindow()) {
        area = frame->screen()->availableGeometry();
        outer = frame->frameGeometry();
    } else {
        return;
    }
    const QPoint shift = placeInView(outer, area) - outer.topLeft();
    if (!shift.isNull()) frame->move(frame->pos() + shift);
}

void finishWindow(QWidget* window) {
    // Outside a dialog a push button answers Enter only when it is an auto-default one.
    // Set first: it can change the room a button's style leaves for its caption.
    for (QPushButton* button : window->findChildren<QPushButton*>()) button->setAutoDefault(true);
    fitTexts(window);
}

}  // namespace trv
