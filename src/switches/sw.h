#pragma once

#include "protocol/board_window.h"

namespace trv {

// The microswitch window SW.
class Sw : public BoardWindow {
    Q_OBJECT
public:
    Sw(Link& link, ReplyControl replyControl, QWidget* parent = nullptr);
};

}  // namespace trv
