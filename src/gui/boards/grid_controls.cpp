#include "boards/grid_controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QWidget>

#include "image/eeprom_image.h"
#include "ui/buttons.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace {
// Typing takes hexadecimal digits only and shows them in upper case.
class HexValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return isByteText(input) || input.isEmpty() ? Acceptable : Invalid;
    }
};

QPushButton* gridButton(const QString& caption, const char* name, const QRect& geometry,
                        QWidget* window) {
    return greenButton(window, caption, name, geometry, windowFont(9.75));
}

QLabel* gridLabel(const QString& text, int number, const QRect& geometry, QWidget* window) {
    auto* l = new QLabel(text, window);
    nameDescribed(l, QStringLiteral("Label%1").arg(number));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignCenter);
    return l;
}
}  // namespace

std::optional<colour::Packed> cellColour(CellState state) {
    switch (state) {
        case CellState::Untouched:
            break;
        case CellState::Read:
        case CellState::Written:
            return colour::kGreen;
        case CellState::Failed:
            return colour::kRed;
        case CellState::Filled:
            return colour::kWhite;
        case CellState::Loaded:
            return colour::kLightBlue;
        case CellState::Differs:
            return colour::kYellow;
    }
    return std::nullopt;
}

GridControls::GridControls(EepromImage& image, QWidget* window, Placement placement)
    : QObject(window), m_image(image), m_placement(placement) {
    const int left = placement.left;
    auto* title = new QLabel(QStringLiteral("24C01  (128octets)  "), window);
    nameDescribed(title, QStringLiteral("Label26"));
    title->setGeometry(twipRect(left - 240, 0, 7815, 255));
    for (int c = 0; c < 16; ++c)
        gridLabel(QString::number(c, 16).toUpper(), c + 1, twipRect(left + 480 * c, 240, 375, 255),
                  window);
    // Row labels are Label17 to Label20 and Label22 to Label25.
    for (int r = 0; r < 8; ++r)
        gridLabel(QStringLiteral("%1xh").arg(r), r < 4 ? 17 + r : 18 + r,
                  twipRect(left - 360, 600 + 360 * r, 375, 255), window);

    auto* validator = new HexValidator(this);
    for (int i = 0; i < 129; ++i) {
        auto* cell = new QLineEdit(window);
        nameControl(cell, arrayName("Text1", i));
        cell->setMaxLength(2);
        cell->setAlignment(Qt::AlignCenter);
        cell->setValidator(validator);
        cell->setFrame(true);
        Text1[std::size_t(i)] = cell;
        if (i < 128) {
            cell->setGeometry(twipRect(left + 480 * (i % 16), 600 + 360 * (i / 16), 375, 285));
            connect(cell, &QLineEdit::textEdited, this,
                    [this, i](const QString& text) { m_image.setText(i, text); });
        }
    }
    Text1[128]->setGeometry(twipRect(left + 3360, 3600, 375, 350));
    Text1[128]->setText(QStringLiteral("0"));

    butRd = gridButton(QStringLiteral("Lire "), "but_RD", twipRect(left, 3600, 1335, 345), window);
    butRd->setToolTip(QStringLiteral("Lecture EEPROM du panneau."));
    butEdit = gridButton(QStringLiteral("EDIT"), "but_edit", twipRect(left + 2400, 3600, 855, 345),
                         window);
    butLin =
        gridButton(QStringLiteral("Lin"), "but_lin", twipRect(left + 4800, 3600, 855, 345), window);
    butWr = gridButton(QStringLiteral("Envoi"), "but_WR", twipRect(left + 6720, 3600, 855, 345),
                       window);
    butWr->setToolTip(QStringLiteral("Envoi des paramètres couleur au panneau."));
    if (placement.extension) {
        extension = gridButton(QStringLiteral("Férmer l'extension."), "Extension",
                               twipRect(left - 120, 4200, 7815, 375), window);
        extension->setToolTip(QStringLiteral(
            "Voir le flux de la centrale et ajuster la fréquence de lecture de celui-ci."));
        connect(extension, &QPushButton::clicked, this, &GridControls::closeExtensionRequested);
    }

    connect(butRd, &QPushButton::clicked, this, &GridControls::readRequested);
    if (placement.fillButtons) {
        connect(butWr, &QPushButton::clicked, this, &GridControls::writeRequested);
        connect(butEdit, &QPushButton::clicked, this, &GridControls::fillFromBox);
        connect(butLin, &QPushButton::clicked, this, &GridControls::fillWithAddresses);
    }
    connect(&m_image, &EepromImage::cellChanged, this, &GridControls::showCell);
    for (int i = 0; i < kImageSize; ++i) showCell(i);
}

QList<QWidget*> GridControls::tabOrder() const {
    QList<QWidget*> order;
    for (int i = 0; i < kImageSize; ++i) order << Text1[std::size_t(i)];
    order << butRd << butEdit << Text1[128] << butLin << butWr;
    if (extension) order << extension;
    return order;
}

void GridControls::followVisibleArea(const QRect& visible) {
    for (QWidget* control : tabOrder())
        control->setFocusPolicy(visible.contains(control->geometry().center()) ? Qt::StrongFocus
                                                                               : Qt::NoFocus);
}

void GridControls::showCell(int address) {
    QLineEdit* cell = Text1[std::size_t(address)];
    const QString text = m_image.text(address);
    if (cell->text() != text) cell->setText(text);
    const auto wanted = cellColour(m_image.state(address));
    if (colour::background(cell) != wanted) {
        if (wanted)
            colour::setBackground(cell, *wanted);
        else
            colour::clearBackground(cell);
    }
}

void GridControls::fillFromBox() {
    if (m_refused()) return;
    const QString value = Text1[128]->text();
    for (int i = 0; i < kImageSize; ++i) m_image.setText(i, value);
    m_image.setAllStates(CellState::Filled);
}

void GridControls::fillWithAddresses() {
    if (m_refused()) return;
    for (int i = 0; i < kImageSize; ++i) m_image.setText(i, byteText(unsigned(i)));
    m_image.setAllStates(CellState::Filled);
}

}  // namespace trv
