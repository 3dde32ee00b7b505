#pragma once

#include <array>

#include "boards/board_window.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace trv {

// The microswitch window SW: the board's two banks of DIP switches as levers with their
// descriptions, and its colour variant. It only reads; nothing goes back to the board.
class SwitchesWindow : public BoardWindow {
    Q_OBJECT
public:
    SwitchesWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                   QWidget* parent = nullptr);

    void readSwitches();  // LIT_SW

    enum class Bank { Sw1, Sw2 };
    // A lever's value changed, by the user or the program: its description follows it.
    void leverChanged(Bank bank, int index);
    // A description clicked: it turns the switch over, on screen only.
    void descriptionClicked(Bank bank, int index);

    // Levers: value 0 is up, at "ON"; 1 is down, OFF. Index 0 is switch 1.
    std::array<QScrollBar*, 8> SW1{};   // bank SW1, frame "SW3" on the right
    std::array<QScrollBar*, 8> SW2{};   // bank SW2, frame "SW2" on the left
    std::array<QLineEdit*, 8> Text3{};  // descriptions of SW1
    std::array<QLineEdit*, 8> Text2{};  // descriptions of SW2
    QLabel* label30 = nullptr;          // Label30, the colour variant
    QPushButton* litSw = nullptr;       // LIT_SW

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showLoadedImage(const CellTexts& cells) override;

private:
    QScrollBar* lever(Bank bank, int index) const;
    QLineEdit* description(Bank bank, int index) const;
    void resetDisplay();
    void showSwitches(const CellTexts& cells);
};

}  // namespace trv
