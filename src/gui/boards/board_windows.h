#pragma once

// What the port opening asks of the program's board windows once a port is open:
// show them and fit their colour-dependent controls to the board's digit colour.
namespace trv {

class BoardWindows {
public:
    virtual ~BoardWindows() = default;
    virtual void gateBoardWindows(bool monoColour) = 0;
};

}  // namespace trv
