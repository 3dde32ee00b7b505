#include "boards/counter_window.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <algorithm>
#include <optional>

#include "link/link.h"
#include "link/port_guard.h"
#include "settings/parameter_map.h"
#include "ui/buttons.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace {

using counter::ValueText;

// One row of the parameter area, top to bottom: its label, the index of its fields in the
// `valeur` / `vdeci` / `virgu` arrays, the texts the window opens with, and whether the
// technician may edit it.
struct Row {
    const char* label;
    int field;
    const char* integer;
    const char* decimals;
    enum Access { Editable, FieldsDisabled, RowDisabled } access;
};

constexpr std::array<Row, CounterWindow::kRows> kRowTable{{
    {"Départ:", 0, "10", "00", Row::Editable},
    {"Fin:", 1, "50", "00", Row::Editable},
    {"Relais 1:", 2, "3", "00", Row::Editable},
    {"Relais 2:", 3, "7", "00", Row::Editable},
    {"Plage 1:", counter::kRange1Field, "0", "00", Row::FieldsDisabled},
    {"Plage 2:", 4, "2", "00", Row::Editable},
    {"Plage 3:", 5, "4", "00", Row::Editable},
    {"Plage 4:", 6, "6", "00", Row::Editable},
    {"Plage 5:", 7, "8", "00", Row::Editable},
    {"Pas de comptage:", counter::kStepField, "0001", "00", Row::Editable},
    {"Registre:", counter::kRegisterField, "", "", Row::RowDisabled},
    {"Fin Max:", counter::kMaxEndField, "", "", Row::RowDisabled},
}};

// Geometry of the parameter area, twips.
constexpr int kFirstRowTop = 60;
constexpr int kRowPitch = 300;
constexpr int kRowHeight = 285;
constexpr int kLabelLeft = 45;
constexpr int kLabelWidth = 1125;
constexpr int kValueLeft = kLabelLeft + kLabelWidth;
constexpr int kValueWidth = 825;
constexpr int kStepWidth = 390;  // under half an integer field, same right edge
constexpr int kCommaLeft = kValueLeft + kValueWidth;
constexpr int kCommaWidth = 135;
constexpr int kDecimalLeft = kCommaLeft + kCommaWidth;
constexpr int kDecimalWidth = 345;
constexpr int kRowWidth = kDecimalLeft + kDecimalWidth - kLabelLeft;
constexpr int kCheckBoxWidth = 210;
constexpr int kButtonHeight = 375;
constexpr int kFirstButtonTop = kFirstRowTop + CounterWindow::kRows * kRowPitch + 60;

constexpr int kIntegerLength = 10;
constexpr int kDecimalLength = 2;

// The window's outer size as given in twips holds 120 × 360 twips of frame; what lies inside
// scales with the text size.
QSize outerSize(const QWidget* window, int width, int height) {
    const QSize frame = twipSize(120, 360);
    return scaledSize(window, twipSize(width, height) - frame) + frame;
}

QLineEdit* textBox(QWidget* window, const QRect& geometry, Qt::Alignment alignment) {
    auto* box = new QLineEdit(window);
    box->setGeometry(geometry);
    box->setAlignment(alignment);
    box->setTextMargins(0, 0, 0, 0);
    return box;
}

// A text box that only shows its text: row labels and commas.
void makeCaption(QLineEdit* box) {
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setCursor(Qt::ArrowCursor);
}

QPushButton* rowButton(QWidget* window, const QString& caption, const char* name,
                       const QString& tip, int top) {
    QPushButton* b = greenButton(
        window, caption, name, twipRect(kLabelLeft, top, kRowWidth, kButtonHeight), window->font());
    b->setToolTip(tip);
    return b;
}

bool isRangeLabel(int index) {
    const int first = CounterWindow::kFirstRangeLabel;
    return index >= first && index < first + counter::kRangeCount;
}

colour::Packed rangeLabelColour(counter::ColourCode code) {
    switch (code) {
        case counter::ColourCode::Red:
            return colour::kRed;
        case counter::ColourCode::Green:
            return colour::kGreen;
        case counter::ColourCode::Orange:
            return colour::kOrange;
        case counter::ColourCode::None:
            break;
    }
    return colour::kWhite;
}

}  // namespace

CounterWindow::CounterWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                             QWidget* parent)
    : BoardWindow(link, prompts, std::move(replyControl), {3360, true, true}, ReadVariant::Plain,
                  parent) {
    setObjectName(QStringLiteral("dump_24c01"));
    setWindowTitle(QStringLiteral(" Paramètres."));
    resize(twipSize(2610, 4620));
    buildRows();

    butLitPara = rowButton(this, QStringLiteral("Lire les paramètres"), "but_lit_para",
                           QStringLiteral("Lecture des paramètres du compteur."), kFirstButtonTop);
    butEcritPara = rowButton(this, QStringLiteral("Programme les paramètres"), "but_ecrit_para",
                             QStringLiteral("Programme les paramètres du compteur."),
                             kFirstButtonTop + kButtonHeight + 45);
    connect(butLitPara, &QPushButton::clicked, this, &CounterWindow::readSettings);
    connect(butEcritPara, &QPushButton::clicked, this, &CounterWindow::programSettings);

    Command2 = new QPushButton(this);
    nameControl(Command2, QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("Section non documentée."));
    Command2->setGeometry(twipRect(2520, -120, 255, 4935));
    connect(Command2, &QPushButton::clicked, this, &CounterWindow::openGridPanel);
    connect(&grid(), &GridControls::closeExtensionRequested, this, &CounterWindow::closeGridPanel);

    // Tab follows the rows from "Départ" down, a range's label before its fields, then the
    // buttons, then the grid.
    QList<QWidget*> order;
    for (int r = 0; r < kRows; ++r) {
        const auto f = std::size_t(kRowTable[std::size_t(r)].field);
        if (r == 1) order << POLREL3;
        if (r == 2) order << POLREL1;
        if (r == 3) order << POLREL2;
        if (isRangeLabel(r)) order << intitu[std::size_t(r)];
        order << valeur[f] << vdeci[f];
    }
    order << butLitPara << butEcritPara << Command2 << grid().tabOrder();
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    finishWindow(this);
}

void CounterWindow::buildRows() {
    QFont small = font();
    small.setPointSizeF(8.25);
    for (int r = 0; r < kRows; ++r) {
        const Row& row = kRowTable[std::size_t(r)];
        const int top = kFirstRowTop + r * kRowPitch;
        const auto f = std::size_t(row.field);

        QLineEdit* label = textBox(this, twipRect(kLabelLeft, top, kLabelWidth, kRowHeight),
                                   Qt::AlignRight | Qt::AlignVCenter);
        nameDescribed(label, arrayName("intitu", r));
        label->setText(QString::fromUtf8(row.label));
        makeCaption(label);
        // A range label is a control of its own: Tab reaches it and Space changes its colour.
        if (isRangeLabel(r)) label->setFocusPolicy(Qt::StrongFocus);
        // A greyed label still names its row: on a one-colour board the range labels are
        // disabled over their orange.
        QPalette palette = label->palette();
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(96, 96, 96));
        label->setPalette(palette);
        label->installEventFilter(this);
        intitu[std::size_t(r)] = label;

        const bool step = row.field == counter::kStepField;
        const int valueLeft = step ? kValueLeft + kValueWidth - kStepWidth : kValueLeft;
        QLineEdit* value =
            textBox(this, twipRect(valueLeft, top, step ? kStepWidth : kValueWidth, kRowHeight),
                    Qt::AlignRight | Qt::AlignVCenter);
        nameControl(value, arrayName("valeur", row.field));
        value->setMaxLength(kIntegerLength);
        value->setText(QString::fromUtf8(row.integer));
        valeur[f] = value;

        QLineEdit* comma =
            textBox(this, twipRect(kCommaLeft, top, kCommaWidth, kRowHeight), Qt::AlignCenter);
        nameControl(comma, arrayName("virgu", row.field));
        comma->setText(QStringLiteral(","));
        makeCaption(comma);
        virgu[f] = comma;

        QLineEdit* decimals = textBox(this, twipRect(kDecimalLeft, top, kDecimalWidth, kRowHeight),
                                      Qt::AlignLeft | Qt::AlignVCenter);
        nameControl(decimals, arrayName("vdeci", row.field));
        decimals->setMaxLength(kDecimalLength);
        decimals->setText(QString::fromUtf8(row.decimals));
        vdeci[f] = decimals;

        for (QLineEdit* box : {label, value, comma, decimals}) box->setFont(small);
        if (row.access != Row::Editable) {
            value->setEnabled(false);
            decimals->setEnabled(false);
        }
        if (row.access == Row::RowDisabled) {
            label->setEnabled(false);
            comma->setEnabled(false);
        }
    }
    setRangeLabelsOrange();

    // The check boxes show no caption and sit over the left end of a row label, whose text
    // is kept to the right.
    auto checkBox = [this](const char* name, int row) {
        auto* box = new QCheckBox(this);
        nameControl(box, QLatin1String(name));
        box->setGeometry(
            twipRect(kLabelLeft + 30, kFirstRowTop + row * kRowPitch, kCheckBoxWidth, kRowHeight));
        return box;
    };
    POLREL3 = checkBox("POLREL3", 1);
    POLREL3->setToolTip(
        QStringLiteral("Cette case est cochée automatiquement si la valeur de DEBUT est "
                       "supérieur à la valeur de FIN."));
    POLREL1 = checkBox("POLREL1", 2);
    POLREL2 = checkBox("POLREL2", 3);
}

void CounterWindow::setRangeLabelsOrange() {
    counter::RangeColours orange;
    orange.fill(counter::ColourCode::Orange);
    setRangeColours(orange);
}

void CounterWindow::setRangeColours(const counter::RangeColours& colours) {
    for (int k = 0; k < counter::kRangeCount; ++k) setRangeColour(k, colours[std::size_t(k)]);
}

void CounterWindow::setRangeColour(int range, counter::ColourCode code) {
    if (range < 0 || range >= counter::kRangeCount) return;
    m_rangeColours[std::size_t(range)] = code;
    paintRangeLabel(range);
}

void CounterWindow::paintRangeLabel(int range) {
    colour::setBackground(intitu[std::size_t(kFirstRangeLabel + range)],
                          rangeLabelColour(m_rangeColours[std::size_t(range)]));
}

void CounterWindow::applyColourSetting(bool monoColour) {
    // A one-colour board has no range colours to choose; the labels keep a background all
    // the same, and programming sends whatever they show.
    setRangeLabelsOrange();
    for (int k = 0; k < counter::kRangeCount; ++k)
        intitu[std::size_t(kFirstRangeLabel + k)]->setEnabled(!monoColour);
}

void CounterWindow::openGridPanel() {
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    frame->resize(outerSize(this, 11790, 4980));
    // Opened near the right edge, the panel would reach out of view.
    keepInView(frame);
}

void CounterWindow::closeGridPanel() {
    // The focus was in the grid (on the button that closes it, at least): it goes back to
    // the first field rather than to whatever follows out of view.
    const bool inGrid = grid().tabOrder().contains(focusWidget());
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    frame->resize(outerSize(this, 2730, 4980));
    if (inGrid) valeur[0]->setFocus();
}

bool CounterWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        for (int r = 0; r < kRows; ++r) {
            if (watched == intitu[std::size_t(r)] && isRangeLabel(r)) {
                rangeLabelClicked(r);
                return true;
            }
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        for (int r = 0; r < kRows; ++r) {
            QLineEdit* label = intitu[std::size_t(r)];
            if (watched == label && mouse->button() == Qt::LeftButton &&
                label->rect().contains(mouse->position().toPoint())) {
                rangeLabelClicked(r);
                break;
            }
        }
    }
    return BoardWindow::eventFilter(watched, event);
}

void CounterWindow::rangeLabelClicked(int index) {
    if (!isRangeLabel(index)) return;
    if (!intitu[std::size_t(index)]->isEnabled()) return;
    const int range = index - kFirstRangeLabel;
    setRangeColour(range, counter::nextRangeColour(m_rangeColours[std::size_t(range)]));
}

void CounterWindow::decodeFields() {
    const CellTexts& cells = image().texts();
    auto show = [&](int field) {
        if (const auto v = counter::decodeField(cells, field)) {
            valeur[std::size_t(field)]->setText(v->integer);
            vdeci[std::size_t(field)]->setText(v->decimals);
        }
    };
    for (int field : {0, 1, 2, 3, counter::kMaxEndField, 4, 5, 6, 7, counter::kStepField})
        show(field);
    setRangeColours(counter::readRangeColours(cells));
    const counter::Flags flags = counter::readFlags(cells);
    POLREL1->setChecked(flags.polrel1);
    POLREL2->setChecked(flags.polrel2);
    POLREL3->setChecked(flags.polrel3);
    show(counter::kRegisterField);
}

std::optional<QString> CounterWindow::unsendableFieldMessage() const {
    for (int f : counter::kProgrammedFields) {
        const ValueText value{valeur[std::size_t(f)]->text(), vdeci[std::size_t(f)]->text()};
        const auto part = counter::unsendablePart(f, value);
        if (!part) continue;
        const auto row = std::find_if(kRowTable.begin(), kRowTable.end(),
                                      [f](const Row& r) { return r.field == f; });
        const QString name = QString::fromUtf8(row->label).chopped(1);  // without its colon
        const QString where =
            *part == counter::FieldPart::Integer
                ? QStringLiteral("« %1 » contient « %2 »").arg(name, value.integer)
                : QStringLiteral("les décimales de « %1 » contiennent « %2 »")
                      .arg(name, value.decimals);
        return QStringLiteral(
                   "Programmation impossible : %1. Seuls des chiffres, sans virgule ni espace, "
                   "peuvent être programmés. Rien n'a été programmé.")
            .arg(where);
    }
    return std::nullopt;
}

board::CounterSettings CounterWindow::settingsFromFields() const {
    board::CounterSettings settings;
    for (std::size_t i = 0; i < counter::kProgrammedFields.size(); ++i) {
        const auto f = std::size_t(counter::kProgrammedFields[i]);
        settings.values[i] = ValueText{valeur[f]->text(), vdeci[f]->text()};
    }
    for (int k = 0; k < counter::kRangeCount; ++k)
        settings.colours[std::size_t(k)] = m_rangeColours[std::size_t(k)];
    settings.polrel1 = POLREL1->isChecked();
    settings.polrel2 = POLREL2->isChecked();
    return settings;
}

void CounterWindow::clearFields() {
    setRangeLabelsOrange();
    for (int f = 0; f < kRows; ++f) {
        valeur[std::size_t(f)]->clear();
        vdeci[std::size_t(f)]->clear();
    }
    valeur[counter::kRange1Field]->setText(QStringLiteral("0"));
    vdeci[counter::kRange1Field]->setText(QStringLiteral("00"));
}

void CounterWindow::showLoadedImage(const CellTexts& cells) {
    // As "Lire les paramètres" shows an image: fields cleared, then, unless the reply
    // control checks the signature and finds none, decoded.
    clearFields();
    if (board::signatureRefused(cells, replyControl())) {
        prompts().warning(this, kBlankText);
        return;
    }
    decodeFields();
}

void CounterWindow::readSettings() {
    if (!mayStartOperation(link(), prompts(), this)) return;
    clearFields();
    readBoard(butLitPara->text(), board::readCounter, [this](const CellTexts&) { decodeFields(); });
}

void CounterWindow::programSettings() {
    if (!mayStartOperation(link(), prompts(), this)) return;
    // One typed decimal is shown as the two digits it programs ("5" is ",05") before the write.
    for (int f : counter::kProgrammedFields) {
        QLineEdit* decimals = vdeci[std::size_t(f)];
        decimals->setText(counter::programmedDecimals(decimals->text()));
    }
    const board::CounterSettings settings = settingsFromFields();
    const board::ConfirmWrite confirm = loadedImageCheck();
    // The cells the window does not own go back to the board as the preliminary read finds
    // them; after a failed read nothing is programmed.
    const Programmed done =
        programBoard(butEcritPara->text(), [&](Exchange& exchange, board::ReplyControl reply) {
            return board::programCounter(exchange, reply, settings, false, confirm);
        });
    // The direction is known once the preliminary read found the board's image.
    if (done.result.found) POLREL3->setChecked(done.result.countsDown);
    std::optional<Report> report = done.report;
    // A field that does not make bytes is named as the technician typed it.
    if (done.result.outcome == board::Outcome::CellRefused)
        if (const auto refusal = unsendableFieldMessage())
            report = Report{msg::Kind::Warning, *refusal};
    showReport(prompts(), this, report);
}

}  // namespace trv
