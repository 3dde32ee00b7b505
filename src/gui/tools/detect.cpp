#include "tools/detect.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "link/link.h"
#include "link/port_guard.h"
#include "link/window_exchange.h"
#include "protocol/board_operations.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace {
QLabel* rowLabel(const QString& text, int index, const QRect& geometry, QWidget* window) {
    auto* l = new QLabel(text, window);
    nameDescribed(l, arrayName("Label1", index));
    l->setGeometry(geometry);
    l->setAutoFillBackground(true);
    return l;
}
}  // namespace

Detect::Detect(Link& link, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_link(link), m_prompts(prompts) {
    setObjectName(QStringLiteral("DETECT"));
    setWindowTitle(QStringLiteral(" Détection."));
    setFixedSize(twipSize(3225, 3825));
    setFont(windowFont());
    for (int n = 1; n <= kPorts; ++n) {
        const int top = 120 + 240 * (n - 1);
        Label1[std::size_t(n)] =
            rowLabel(QStringLiteral("COM%1:").arg(n), n, twipRect(120, top, 735, 240), this);
        Label1[std::size_t(n + kPorts)] =
            rowLabel(QStringLiteral(" "), n + kPorts, twipRect(960, top, 735, 240), this);
        Label1[std::size_t(n + 2 * kPorts)] =
            rowLabel(QStringLiteral(" "), n + 2 * kPorts, twipRect(1800, top, 1400, 240), this);
    }
    Command1 = new QPushButton(QStringLiteral("Détection"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(
        QStringLiteral("Recherche des ports COMs disponibles et d'un chronomètre connecté."));
    Command1->setGeometry(twipRect(-120, 3480, 3375, 375));
    connect(Command1, &QPushButton::clicked, this, &Detect::scan);
    // What a scan writes into the rows.
    for (int n = 1; n <= kPorts; ++n) {
        alsoShows(portLabel(n), {QStringLiteral("COM %1:").arg(n)});
        alsoShows(stateLabel(n), {QStringLiteral("Absent."), QStringLiteral("Libre.")});
        alsoShows(boardLabel(n), {QStringLiteral(" TRV_CD."), QStringLiteral(".")});
    }
    finishWindow(this);
}

void Detect::closeEvent(QCloseEvent* event) {
    if (!refuseCloseWhileBusy(m_link, event)) QWidget::closeEvent(event);
}

void Detect::showRow(int n, bool opened, bool board) {
    colour::setBackground(portLabel(n), board ? colour::kGreen : colour::kWhite);
    stateLabel(n)->setText(opened ? QStringLiteral("Libre.") : QStringLiteral("Absent."));
    colour::setBackground(stateLabel(n), opened ? colour::kGreen : colour::kWhite);
    boardLabel(n)->setText(board ? QStringLiteral(" TRV_CD.") : QStringLiteral("."));
    colour::setBackground(boardLabel(n), board ? colour::kGreen : colour::kWhite);
}

void Detect::scan() {
    if (refuseWhileBusy(m_link)) return;
    WindowExchange exchange(m_link, m_prompts, this, Command1->text());
    // The port the settings window opened is given up for the scan.
    exchange.port().close();
    // Every row starts blank on white.
    for (int n = 1; n <= kPorts; ++n) {
        portLabel(n)->setText(QStringLiteral("COM %1:").arg(n));
        stateLabel(n)->clear();
        boardLabel(n)->clear();
        for (QLabel* l : {portLabel(n), stateLabel(n), boardLabel(n)})
            colour::setBackground(l, colour::kWhite);
    }
    QStringList found;
    // Port after port: open it, probe with one "RRR", wait up to 1 s for the exact answer.
    board::DetectionSteps steps;
    steps.trying = [&](int n) {
        stateLabel(n)->setText(QStringLiteral("Absent."));
        colour::setBackground(portLabel(n), colour::kGreen);
        colour::setBackground(stateLabel(n), colour::kWhite);
        colour::setBackground(boardLabel(n), colour::kWhite);
        portLabel(n)->repaint();
    };
    steps.opened = [&](int n) {
        stateLabel(n)->setText(QStringLiteral("Libre."));
        colour::setBackground(stateLabel(n), colour::kGreen);
        stateLabel(n)->repaint();
    };
    steps.done = [&](int n, board::PortState state) {
        showRow(n, state != board::PortState::Absent, state == board::PortState::Board);
        if (state == board::PortState::Absent) return;
        if (state == board::PortState::Board) found << QStringLiteral("COM%1").arg(n);
        for (QLabel* l : {portLabel(n), stateLabel(n), boardLabel(n)}) l->repaint();
    };
    board::detectPorts(exchange, steps);
    exchange.setOutcome(
        found.isEmpty() ? QStringLiteral("aucune carte trouvée")
                        : QStringLiteral("carte trouvée sur ") + found.join(QStringLiteral(", ")),
        false);
    // The board windows must wait for the settings to be validated again.
    m_link.setPortOpen(false);
}

}  // namespace trv
