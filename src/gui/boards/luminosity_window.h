#pragma once

#include <array>
#include <optional>

#include "boards/board_window.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace trv {

// The luminosity window LUM: the board's brightness mode, the light sensor's switching
// period and its day/night threshold, read from and programmed into EEPROM cells 60 to 62.
class LuminosityWindow : public BoardWindow {
    Q_OBJECT
public:
    LuminosityWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                     QWidget* parent = nullptr);

    // After each port opening: the light-sensor controls only on a one-colour board.
    void applyColourSetting(bool monoColour);

    void readSettings();     // "Lit"
    void programSettings();  // "Envoi"

    // The board's threshold byte when it is above what COMP_LDR can show; "Envoi" then
    // writes it back unchanged until the user moves the slider.
    std::optional<unsigned> keptThreshold() const { return m_keptThreshold; }

    // Option1(0) "Capteur", Option1(1) "100%" ... Option1(6) "20%".
    std::array<QRadioButton*, 7> Option1{};
    QSlider* dureLdr = nullptr;  // DURE_LDR, the switching period in seconds
    QSlider* compLdr = nullptr;  // COMP_LDR, the day/night threshold
    QLabel* text4 = nullptr;     // Text4, the threshold's caption
    QLabel* text5 = nullptr;     // Text5(1), the period's caption
    QPushButton* butLitLum = nullptr;
    QPushButton* butEcritLum = nullptr;

protected:
    void showLoadedImage(const CellTexts& cells) override;
    QList<int> programmedAddresses() const override { return board::luminosityAddresses(); }

private:
    std::optional<int> selectedOption() const;
    void selectOption(std::optional<int> option);
    void setSliders(int period, int threshold);
    void setKeptThreshold(std::optional<unsigned> byte);
    void showSettings(const CellTexts& cells);
    board::LuminositySettings settingsFromControls() const;

    std::optional<unsigned> m_keptThreshold;
    bool m_settingSliders = false;
};

}  // namespace trv
