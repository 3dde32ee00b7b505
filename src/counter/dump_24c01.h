#pragma once

#include "protocol/board_window.h"

namespace trv {

// The counter parameters window dump_24c01.
class Dump24c01 : public BoardWindow {
    Q_OBJECT
public:
    Dump24c01(Link& link, ReplyControl replyControl, QWidget* parent = nullptr);

    // After each port opening: range labels orange, clickable only on a three-colour board.
    void applyColourSetting(bool monoColour);

    void openGridPanel();   // Command2
    void closeGridPanel();  // "Férmer l'extension."
};

}  // namespace trv
