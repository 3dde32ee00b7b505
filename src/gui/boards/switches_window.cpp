#include "boards/switches_window.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "link/port_guard.h"
#include "settings/switch_codec.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace sc = switches;

namespace {
// Switch 1 first; every text ends with CR LF.
constexpr std::array<const char16_t*, 8> kSw1Texts{
    u"DIP1 Nbr digit  (Voir doc.)\r\n", u"DIP2 Nbr digit  (Voir doc.)\r\n",
    u"DIP3 Nbr digit  (Voir doc.)\r\n", u"DIP4 Valeur négative\r\n",
    u"DIP5 RAZ automatique\r\n",        u"DIP6 Zéro de tête\r\n",
    u"DIP7 Report de visu\r\n",         u"DIP8 Test de l'affichage\r\n"};
constexpr std::array<const char16_t*, 8> kSw2Texts{u"DIP1 Anti-rebond\r\n",
                                                   u"DIP2 Signal actif\r\n",
                                                   u"DIP3 Luminosité (voir Doc)\r\n",
                                                   u"DIP4 Luminosité (voir Doc)\r\n",
                                                   u"DIP5 Point décimal (voir Doc)\r\n",
                                                   u"DIP6 Point décimal (voir Doc)\r\n",
                                                   u"DIP7 Point décimal (voir Doc)\r\n",
                                                   u"DIP8 Point décimal (voir Doc)\r\n"};

const QString kLeverNumbers = QStringLiteral("1   2  3  4  5  6  7  8");

// Geometry of one column, twips: the bank's frame and, under it, its descriptions.
constexpr int kColumnWidth = 2280;
constexpr int kFrameHeight = 1440;
constexpr int kLeverTop = 420;
constexpr int kLeverLeft = 300;
constexpr int kLeverPitch = 240;
constexpr int kLeverWidth = 195;
constexpr int kLeverHeight = 720;
constexpr int kDescriptionTop = 1500;
constexpr int kDescriptionPitch = 270;

// The numbers under the levers are one caption; its letters are spaced so that each digit
// stands under its lever whatever face the system gives for "Comic Sans MS".
void alignNumbers(QLabel* numbers) {
    const QFontMetricsF metrics(numbers->font());
    const int lastDigit = int(kLeverNumbers.lastIndexOf(u'8'));
    const qreal natural = metrics.horizontalAdvance(kLeverNumbers.left(lastDigit));
    const qreal wanted = px(7 * kLeverPitch);
    QFont f = numbers->font();
    f.setLetterSpacing(QFont::AbsoluteSpacing, (wanted - natural) / lastDigit);
    numbers->setFont(f);
    const qreal halfDigit = QFontMetricsF(f).horizontalAdvance(u'1') / 2;
    numbers->move(px(kLeverLeft + kLeverWidth / 2) - qRound(halfDigit),
                  px(kLeverTop + kLeverHeight));
}

QGroupBox* bankFrame(const QString& title, int left, std::array<QScrollBar*, 8>& levers,
                     const char* name, QWidget* window) {
    auto* frame = new QGroupBox(title, window);
    frame->setGeometry(twipRect(left, 0, kColumnWidth, kFrameHeight));
    auto* on = new QLabel(QStringLiteral("ON"), frame);
    // Beside the first lever's upper end, the ON position.
    on->setGeometry(twipRect(kLeverLeft - 270, kLeverTop, 255, 255));
    for (int i = 0; i < sc::kLeversPerBank; ++i) {
        auto* lever = new QScrollBar(Qt::Vertical, frame);
        nameControl(lever, arrayName(name, i));
        lever->setRange(0, 1);
        lever->setSingleStep(1);
        lever->setPageStep(1);
        lever->setValue(sc::kLeverOff);
        // A DIP lever: a dark knob in a white slot, its half of the slot showing the position.
        lever->setStyleSheet(QStringLiteral(
            "QScrollBar:vertical { background: white; border: 1px solid gray; width: 13px; }"
            "QScrollBar::handle:vertical { background: #404040; min-height: 8px; }"
            "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
        lever->setGeometry(
            twipRect(kLeverLeft + kLeverPitch * i, kLeverTop, kLeverWidth, kLeverHeight));
        levers[std::size_t(i)] = lever;
    }
    auto* numbers = new QLabel(kLeverNumbers, frame);
    numbers->resize(twipSize(kColumnWidth - kLeverLeft, 255));
    alignNumbers(numbers);
    return frame;
}

void descriptions(const std::array<const char16_t*, 8>& texts, int left,
                  std::array<QLineEdit*, 8>& boxes, const char* name, QWidget* window) {
    for (int i = 0; i < sc::kLeversPerBank; ++i) {
        auto* box = new QLineEdit(QString::fromUtf16(texts[std::size_t(i)]), window);
        nameControl(box, arrayName(name, i));
        // The box's own font: a background change restyles it, and a restyled box would
        // otherwise fall back to the application's face.
        QFont f = window->font();
        f.setPointSizeF(8);
        box->setFont(f);
        box->setCursorPosition(0);  // the beginning of the text in view, not its CR LF end
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setCursor(Qt::PointingHandCursor);
        box->setGeometry(
            twipRect(left, kDescriptionTop + kDescriptionPitch * i, kColumnWidth, 255));
        colour::setBackground(box, colour::kWhite);
        boxes[std::size_t(i)] = box;
    }
}

}  // namespace

SwitchesWindow::SwitchesWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                               QWidget* parent)
    : BoardWindow(link, prompts, std::move(replyControl), {6480, false, false},
                  ReadVariant::ClosingRrr, parent) {
    setObjectName(QStringLiteral("SW"));
    setWindowTitle(QStringLiteral(" Lecture de la configuration des microswitches."));
    resize(twipSize(4800, 4425));

    // Bank SW2 stands on the left, bank SW1 on the right under the board's own name "SW3".
    bankFrame(QStringLiteral("SW2"), 60, SW2, "SW2", this);
    bankFrame(QStringLiteral("SW3"), 2460, SW1, "SW1", this);
    descriptions(kSw2Texts, 60, Text2, "Text2", this);
    descriptions(kSw1Texts, 2460, Text3, "Text3", this);

    label30 = new QLabel(this);
    nameDescribed(label30, QStringLiteral("Label30"));
    label30->setAlignment(Qt::AlignCenter);
    label30->setGeometry(twipRect(60, 3720, 4680, 255));

    litSw = new QPushButton(QStringLiteral("Lire la position des microswitches"), this);
    litSw->setObjectName(QStringLiteral("LIT_SW"));
    litSw->setGeometry(twipRect(0, 4020, 4800, 375));

    for (Bank bank : {Bank::Sw1, Bank::Sw2}) {
        for (int i = 0; i < sc::kLeversPerBank; ++i) {
            connect(lever(bank, i), &QScrollBar::valueChanged, this,
                    [this, bank, i] { leverChanged(bank, i); });
            description(bank, i)->installEventFilter(this);
        }
    }
    connect(litSw, &QPushButton::clicked, this, &SwitchesWindow::readSwitches);
    alsoShows(label30,
              {sc::variantText(sc::Variant::Unknown), sc::variantText(sc::Variant::ThreeColours),
               sc::variantText(sc::Variant::OneColour)});
    finishWindow(this);
}

QScrollBar* SwitchesWindow::lever(Bank bank, int index) const {
    return (bank == Bank::Sw1 ? SW1 : SW2)[std::size_t(index)];
}

QLineEdit* SwitchesWindow::description(Bank bank, int index) const {
    return (bank == Bank::Sw1 ? Text3 : Text2)[std::size_t(index)];
}

void SwitchesWindow::leverChanged(Bank bank, int index) {
    const int value = lever(bank, index)->value();
    if (value == sc::kLeverOff)
        colour::setBackground(description(bank, index), colour::kWhite);
    else if (value == sc::kLeverOn)
        colour::setBackground(description(bank, index), colour::kGreen);
}

void SwitchesWindow::descriptionClicked(Bank bank, int index) {
    QLineEdit* box = description(bank, index);
    const auto background = colour::background(box);
    if (background == colour::kGreen) {
        colour::setBackground(box, colour::kWhite);
        lever(bank, index)->setValue(sc::kLeverOff);
    } else if (background == colour::kWhite) {
        colour::setBackground(box, colour::kGreen);
        lever(bank, index)->setValue(sc::kLeverOn);
    }
}

bool SwitchesWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (Bank bank : {Bank::Sw1, Bank::Sw2}) {
            for (int i = 0; i < sc::kLeversPerBank; ++i) {
                if (watched == description(bank, i)) {
                    descriptionClicked(bank, i);
                    return true;
                }
            }
        }
    }
    return BoardWindow::eventFilter(watched, event);
}

void SwitchesWindow::resetDisplay() {
    label30->setText(sc::variantText(sc::Variant::Unknown));
    label30->repaint();
    for (int i = 0; i < sc::kLeversPerBank; ++i) {
        SW2[std::size_t(i)]->setValue(sc::kLeverOff);
        SW1[std::size_t(i)]->setValue(sc::kLeverOff);
        // Run even for a lever that already stood OFF, so no description stays green.
        leverChanged(Bank::Sw2, i);
        leverChanged(Bank::Sw1, i);
        colour::setBackground(Text3[std::size_t(i)], colour::kWhite);
        colour::setBackground(Text2[std::size_t(i)], colour::kWhite);
        Text3[std::size_t(i)]->repaint();
        Text2[std::size_t(i)]->repaint();
    }
}

void SwitchesWindow::showSwitches(const CellTexts& cells) {
    const sc::Banks banks = sc::decodeBanks(cells);
    // Each change of value turns its description green through leverChanged.
    for (int i = 0; i < sc::kLeversPerBank; ++i)
        SW1[std::size_t(i)]->setValue(sc::leverValue(banks.sw1[std::size_t(i)]));
    for (int i = 0; i < sc::kLeversPerBank; ++i)
        SW2[std::size_t(i)]->setValue(sc::leverValue(banks.sw2[std::size_t(i)]));
    const sc::Variant variant = sc::decodeVariant(cells);
    if (variant != sc::Variant::Unknown) label30->setText(sc::variantText(variant));
}

void SwitchesWindow::showLoadedImage(const CellTexts& cells) {
    resetDisplay();
    showSwitches(cells);
}

void SwitchesWindow::readSwitches() {
    // Nothing is touched without an open port.
    if (!mayStartOperation(link(), prompts(), this)) return;
    // Every lever OFF and the variant unknown, shown before the board is asked.
    resetDisplay();

    // Banks from cells 74 and 75, the variant from cell 76.
    readBoard(litSw->text(), board::readSwitches,
              [this](const CellTexts& cells) { showSwitches(cells); });
}

}  // namespace trv
