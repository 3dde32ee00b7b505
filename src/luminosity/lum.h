#pragma once

#include "protocol/board_window.h"

namespace trv {

// The luminosity window LUM.
class Lum : public BoardWindow {
    Q_OBJECT
public:
    Lum(Link& link, ReplyControl replyControl, QWidget* parent = nullptr);

    // After each port opening: the light-sensor controls only on a one-colour board.
    void applyColourSetting(bool monoColour);
};

}  // namespace trv
