#pragma once

#include "boards/board_windows.h"

namespace trv {

class MainWindow;

// What a validated port opening does to the main window's board windows: shows the three of
// them, counter in front, and fits their colour-dependent controls to the board. The main
// window owns one and hands it to the settings window.
class BoardWindowGate final : public BoardWindows {
public:
    explicit BoardWindowGate(MainWindow& main) : m_main(main) {}
    void gateBoardWindows(bool monoColour) override;

private:
    MainWindow& m_main;
};

}  // namespace trv
