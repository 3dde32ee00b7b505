#include "protocol/board_window.h"

#include <QCloseEvent>
#include <QPushButton>

#include "link/link.h"
#include "link/serial_port.h"
#include "link/vxmbase.h"
#include "protocol/exchange.h"
#include "ui/text_fit.h"

namespace trv {

void showReport(QWidget* parent, const std::optional<Report>& report) {
    if (report) msg::show(report->kind, parent, report->text);
}

void sendClosingBurst(Exchange& exchange) {
    exchange.sendBurst("RRR", 5);
    exchange.port().drain(int(Exchange::kReplyLimit.count()));
}

BoardWindow::BoardWindow(Link& link, ReplyControl replyControl, GridWidget::Placement placement,
                         ReadVariant readVariant, QWidget* parent)
    : QWidget(parent),
      m_link(link),
      m_replyControl(std::move(replyControl)),
      m_readVariant(readVariant),
      m_image(this) {
    setFont(windowFont());
    m_grid = new GridWidget(m_image, this, placement);
    connect(m_grid, &GridWidget::readRequested, this, &BoardWindow::readFromGrid);
    if (placement.fillButtons)
        connect(m_grid, &GridWidget::writeRequested, this, &BoardWindow::writeFromGrid);
    // The image is the transfer buffer: no fill while an exchange reads into or writes from it.
    m_grid->setRefusal([this] { return refuseWhileBusy(m_link); });
}

std::optional<Report> BoardWindow::endFailedRead(Exchange& exchange) {
    if (replyControl() == QLatin1String("OUI")) return Report{msg::Kind::Warning, kBoardErrorText};
    sendClosingBurst(exchange);
    return std::nullopt;
}

void BoardWindow::readBoard(const QString& caption,
                            const std::function<void(const CellTexts&)>& show) {
    const std::optional<Report> report = [&]() -> std::optional<Report> {
        Exchange exchange(m_link, this, caption);
        exchange.sendBurst("SSS", 11);
        exchange.sendFrame("PPP");
        exchange.settle();
        if (LIT_24C01(exchange, m_image, m_readVariant)) return endFailedRead(exchange);
        show(m_image.texts());
        sendClosingBurst(exchange);
        if (replyControl() == QLatin1String("NON")) return std::nullopt;
        return Report{msg::Kind::Info, kReadDoneText};
    }();
    showReport(this, report);
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    if (m_link.busy())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

// The grid's own buttons move the image alone and report only through the cells; without
// an open port they warn as the board operations do and leave the grid as it is.
void BoardWindow::readFromGrid() {
    if (refuseWhileBusy(m_link) || !openPortGuard(m_link, this)) return;
    Exchange exchange(m_link, this, m_grid->butRd->text());
    LIT_24C01(exchange, m_image, m_readVariant);
}

void BoardWindow::writeFromGrid() {
    if (refuseWhileBusy(m_link) || !openPortGuard(m_link, this)) return;
    Exchange exchange(m_link, this, m_grid->butWr->text());
    ECRIT_24C01(exchange, m_image);
}

}  // namespace trv
