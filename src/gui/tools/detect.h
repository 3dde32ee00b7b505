#pragma once

#include <QWidget>
#include <array>

#include "port/port_assignment.h"

class QLabel;
class QPushButton;

namespace trv {

class Link;
class Prompts;

// The detection window DETECT: which of COM1 to COM14 open, and where a board answers
// (board::detectPorts scans them).
class Detect : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPorts = kAssignablePorts;

    Detect(Link& link, Prompts& prompts, QWidget* parent = nullptr);

    // Label1(n) port label, Label1(n + 14) state, Label1(n + 28) board, n = 1..14.
    std::array<QLabel*, 3 * kPorts + 1> Label1{};
    QPushButton* Command1 = nullptr;

    void scan();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* portLabel(int n) const { return Label1[std::size_t(n)]; }
    QLabel* stateLabel(int n) const { return Label1[std::size_t(n + kPorts)]; }
    QLabel* boardLabel(int n) const { return Label1[std::size_t(n + 2 * kPorts)]; }
    void showRow(int n, bool opened, bool board);

    Link& m_link;
    Prompts& m_prompts;
};

}  // namespace trv
