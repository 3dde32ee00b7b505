#include "boards/luminosity_window.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "link/port_guard.h"
#include "settings/luminosity_codec.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace lc = luminosity;

namespace {
const QString kThresholdCaption = QStringLiteral("Commutation JOUR/NUIT");
const QString kThresholdTip =
    QStringLiteral("Seuil de commutation jour/nuit avec 0=Jour. 15=Nuit(4 par défaut)");

// The threshold caption while the board's byte lies above the slider's scale; the byte is
// shown in decimal, on the scale's own terms.
QString keptThresholdText(unsigned byte) {
    return QStringLiteral("Seuil lu: %1 (conservé)").arg(byte);
}

// Top to bottom as the window shows them: "100%" ... "20%", then "Capteur".
constexpr std::array<int, lc::kOptionCount> kOptionOrder{1, 2, 3, 4, 5, 6, 0};

QSlider* slider(const char* name, int minimum, int maximum, int value, const QString& tip,
                const QRect& geometry, QWidget* window) {
    auto* s = new QSlider(Qt::Horizontal, window);
    nameControl(s, QLatin1String(name));
    s->setRange(minimum, maximum);
    s->setSingleStep(1);
    s->setPageStep(1);
    s->setValue(value);
    s->setToolTip(tip);
    s->setGeometry(geometry);
    return s;
}

QLabel* caption(const QString& text, const QString& name, const QString& tip, const QRect& geometry,
                QWidget* window) {
    auto* l = new QLabel(text, window);
    nameDescribed(l, name);
    l->setToolTip(tip);
    l->setGeometry(geometry);
    return l;
}

QPushButton* button(const QString& text, const char* name, const QString& tip,
                    const QRect& geometry, QWidget* window) {
    auto* b = new QPushButton(text, window);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setGeometry(geometry);
    return b;
}
}  // namespace

LuminosityWindow::LuminosityWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                                   QWidget* parent)
    : BoardWindow(link, prompts, std::move(replyControl), {2760, true, true}, ReadVariant::Plain,
                  parent) {
    setObjectName(QStringLiteral("LUM"));
    setWindowTitle(QStringLiteral(" Luminosité."));
    resize(twipSize(2040, 3570));

    for (int position = 0; position < lc::kOptionCount; ++position) {
        const int option = kOptionOrder[std::size_t(position)];
        auto* b = new QRadioButton(lc::optionCaption(option), this);
        // The caption stays the accessible name; the control's name goes in the description.
        nameDescribed(b, arrayName("Option1", option));
        b->setGeometry(twipRect(120, 60 + 240 * position, 1800, 240));
        Option1[std::size_t(option)] = b;
    }
    // Only a read can select the lowest level.
    Option1[lc::kLowestOption]->setEnabled(false);
    Option1[lc::kFullOption]->setChecked(true);

    text4 = caption(kThresholdCaption, QStringLiteral("Text4"), kThresholdTip,
                    twipRect(120, 1800, 1800, 240), this);
    compLdr = slider("COMP_LDR", lc::kThresholdMin, lc::kThresholdMax, lc::kThresholdDefault,
                     QStringLiteral("0=Jour. 15=Nuit(4 par défaut)"),
                     twipRect(120, 2040, 1800, 255), this);
    text5 = caption(
        QStringLiteral("Fréquence de Commutation"), arrayName("Text5", 1),
        QStringLiteral("Fréquence de Commutation sur les 4 mesures de luminosité précédentes."),
        twipRect(120, 2400, 1800, 240), this);
    dureLdr = slider("DURE_LDR", lc::kPeriodMin, lc::kPeriodMax, lc::kPeriodDefault,
                     QStringLiteral("de 1 à 128 secondes (5sec par défaut)"),
                     twipRect(120, 2640, 1800, 255), this);
    dureLdr->setPageStep(8);

    butLitLum = button(QStringLiteral("Lit"), "but_LIT_LUM",
                       QStringLiteral("Lecture des paramètres de luminosité."),
                       twipRect(120, 3060, 855, 375), this);
    butEcritLum = button(QStringLiteral("Envoi"), "but_ECRIT_LUM",
                         QStringLiteral("Programmation des paramètres de luminosité."),
                         twipRect(1065, 3060, 855, 375), this);

    // Any move of the threshold slider that the window did not make itself is the user's
    // choice and replaces the board's out-of-range byte.
    connect(compLdr, &QSlider::valueChanged, this, [this] {
        if (!m_settingSliders) setKeptThreshold(std::nullopt);
    });
    connect(butLitLum, &QPushButton::clicked, this, &LuminosityWindow::readSettings);
    connect(butEcritLum, &QPushButton::clicked, this, &LuminosityWindow::programSettings);
    // Every byte above the slider's scale that a read can keep.
    QStringList kept;
    for (unsigned byte = lc::kThresholdMax + 1; byte <= 0xFF; ++byte)
        kept << keptThresholdText(byte);
    alsoShows(text4, kept);
    finishWindow(this);
}

void LuminosityWindow::applyColourSetting(bool monoColour) {
    Option1[lc::kSensorOption]->setEnabled(monoColour);
    dureLdr->setEnabled(monoColour);
    compLdr->setEnabled(monoColour);
}

std::optional<int> LuminosityWindow::selectedOption() const {
    for (int option = 0; option < lc::kOptionCount; ++option)
        if (Option1[std::size_t(option)]->isChecked()) return option;
    return std::nullopt;
}

void LuminosityWindow::selectOption(std::optional<int> option) {
    // Exclusive option buttons cannot be unchecked one by one; lift the exclusivity for
    // the moment it takes to clear them all.
    for (QRadioButton* b : Option1) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
    if (option) Option1[std::size_t(*option)]->setChecked(true);
}

void LuminosityWindow::setSliders(int period, int threshold) {
    m_settingSliders = true;
    dureLdr->setValue(period);
    compLdr->setValue(threshold);
    m_settingSliders = false;
}

void LuminosityWindow::setKeptThreshold(std::optional<unsigned> byte) {
    m_keptThreshold = byte;
    if (byte) {
        text4->setText(keptThresholdText(*byte));
        text4->setToolTip(QStringLiteral("La carte contient le seuil %1, hors de l'échelle 0 à "
                                         "15 : « Envoi » le conserve tant que le curseur n'est "
                                         "pas déplacé.")
                              .arg(*byte));
    } else {
        text4->setText(kThresholdCaption);
        text4->setToolTip(kThresholdTip);
    }
}

void LuminosityWindow::showSettings(const CellTexts& cells) {
    const std::optional<int> threshold = lc::decodeThreshold(cells);
    // A byte the slider cannot show leaves the slider at its night end and is kept as read.
    setSliders(lc::decodePeriod(cells), threshold.value_or(lc::kThresholdMax));
    if (!threshold) setKeptThreshold(std::min(cellValue(cells[lc::kThresholdCell]), 0xFFu));
    selectOption(lc::decodeMode(cells));
}

board::LuminositySettings LuminosityWindow::settingsFromControls() const {
    // A threshold the slider cannot show goes back as the board had it.
    return {selectedOption(), dureLdr->value(),
            m_keptThreshold ? std::nullopt : std::optional(compLdr->value())};
}

void LuminosityWindow::showLoadedImage(const CellTexts& cells) {
    setKeptThreshold(std::nullopt);
    showSettings(cells);
}

void LuminosityWindow::readSettings() {
    // Nothing is touched without an open port.
    if (!mayStartOperation(link(), prompts(), this)) return;
    // The controls start blank, so a failed read shows nothing stale.
    selectOption(std::nullopt);
    setSliders(1, 1);
    setKeptThreshold(std::nullopt);

    // Period, threshold and mode from cells 61, 62 and 60.
    readBoard(butLitLum->text(), board::readLuminosity,
              [this](const CellTexts& cells) { showSettings(cells); });
}

void LuminosityWindow::programSettings() {
    if (!mayStartOperation(link(), prompts(), this)) return;
    const board::LuminositySettings settings = settingsFromControls();
    const board::ConfirmWrite confirm = loadedImageCheck();
    const Programmed done =
        programBoard(butEcritLum->text(), [&](Exchange& exchange, board::ReplyControl reply) {
            return board::programLuminosity(exchange, reply, settings, confirm);
        });
    showReport(prompts(), this, done.report);
}

}  // namespace trv
