#include "ui/text_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QVariant>
#include <cmath>

namespace trv {
namespace {
constexpr const char* kTextsProperty = "trvAlsoShows";
const QString kFace = QStringLiteral("Comic Sans MS");
// Below this a text is no longer worth reading; fitting stops there.
constexpr qreal kSmallestPoints = 4.0;
constexpr qreal kPointStep = 0.25;

// What QLineEdit keeps free around its text, and the cursor's width at the end of it.
constexpr int kLineEditMargin = 2;

void substituteOnce() {
    static const bool done = [] {
        QFont::insertSubstitution(kFace, QStringLiteral("Comic Neue"));
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

QFont windowFont(qreal pointSize) {
    substituteOnce();
    QFont font(kFace);
    if (pointSize > 0) font.setPointSizeF(pointSize);
    return font;
}

void alsoShows(QWidget* control, const QStringList& texts) {
    control->setProperty(kTextsProperty, texts);
}

QStringList digitRuns(int n) {
    QStringList runs;
    for (QChar c : QStringLiteral("0123456789ABCDEF")) runs << QString(n, c);
    return runs;
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

void fitTexts(QWidget* window) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (clippedTexts(control).isEmpty()) continue;
        QFont font = control->font();
        qreal points = font.pointSizeF();
        if (points <= 0) continue;  // sized in pixels by its owner
        while (points > kSmallestPoints && !clippedTexts(control).isEmpty()) {
            points -= kPointStep;
            font.setPointSizeF(points);
            control->setFont(font);
        }
    }
}

void finishWindow(QWidget* window) {
    // Outside a dialog a push button answers Enter only when it is an auto-default one.
    // Set first: it can change the room a button's style leaves for its caption.
    for (QPushButton* button : window->findChildren<QPushButton*>()) button->setAutoDefault(true);
    fitTexts(window);
}

}  // namespace trv
