#include "protocol/board_window.h"

#include <QCloseEvent>
#include <QPushButton>

#include "link/link.h"
#include "link/vxmbase.h"
#include "protocol/window_exchange.h"
#include "ui/colours.h"
#include "ui/text_fit.h"

namespace trv {

void showReport(QWidget* parent, const std::optional<Report>& report) {
    if (report) msg::show(report->kind, parent, report->text);
}

std::optional<Report> reportFor(const board::Result& result, board::ReplyControl reply,
                                bool programming) {
    const bool quiet = reply == board::ReplyControl::Non;
    switch (result.outcome) {
        case board::Outcome::Done:
            if (quiet) return std::nullopt;
            return Report{msg::Kind::Info, programming ? kProgramDoneText : kReadDoneText};
        case board::Outcome::BoardSilent:
        case board::Outcome::WriteFailed:
            if (quiet) return std::nullopt;
            return Report{msg::Kind::Warning, kBoardErrorText};
        case board::Outcome::SignatureMismatch:
            return Report{msg::Kind::Warning, kBlankText};
        case board::Outcome::CellRefused:
            // Whatever the reply control: the technician must learn why nothing was sent.
            return Report{msg::Kind::Warning,
                          unsendableCellMessage(result.refusedCell.value_or(0))};
    }
    return std::nullopt;
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
    m_grid->followVisibleArea(rect());
}

board::ReplyControl BoardWindow::replyControl() const { return m_replyControl(); }

namespace {
const QString kRefusedOutcome = QStringLiteral("envoi refusé, rien n'a été envoyé");
}

board::Result BoardWindow::runOnBoard(const QString& caption, const Operation& operation) {
    board::Result result;
    {
        WindowExchange exchange(m_link, this, caption);
        result = operation(exchange, replyControl());
        if (result.outcome == board::Outcome::CellRefused)
            exchange.setOutcome(kRefusedOutcome, true);
    }
    if (result.outcome == board::Outcome::BoardSilent ||
        result.outcome == board::Outcome::WriteFailed) {
        markFailed(m_image);
    } else {
        m_image.setTexts(result.cells);
        for (int i = 0; i < kImageSize; ++i) m_image.setColour(i, colour::kGreen);
    }
    return result;
}

void BoardWindow::readBoard(const QString& caption, const Operation& read,
                            const std::function<void(const CellTexts&)>& show) {
    const board::Result result = runOnBoard(caption, read);
    if (result.outcome == board::Outcome::Done) show(result.cells);
    showReport(this, reportFor(result, replyControl(), false));
}

void BoardWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_grid->followVisibleArea(rect());
    QWidget* focused = focusWidget();
    if (focused && focused->focusPolicy() == Qt::NoFocus && focused->hasFocus()) focusNextChild();
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    if (!refuseCloseWhileBusy(m_link, event)) QWidget::closeEvent(event);
}

// The grid's own buttons move the image alone and report only through the cells; without
// an open port they warn as the board operations do and leave the grid as it is.
void BoardWindow::readFromGrid() {
    if (refuseWhileBusy(m_link) || !openPortGuard(m_link, this)) return;
    WindowExchange exchange(m_link, this, m_grid->butRd->text());
    LIT_24C01(exchange, m_image, m_readVariant);
}

void BoardWindow::writeFromGrid() {
    if (refuseWhileBusy(m_link) || !openPortGuard(m_link, this)) return;
    WriteOutcome outcome;
    {
        WindowExchange exchange(m_link, this, m_grid->butWr->text());
        outcome = ECRIT_24C01(exchange, m_image);
        if (outcome == WriteOutcome::Refused) exchange.setOutcome(kRefusedOutcome, true);
    }
    // A grid holding a cell that is not a byte is never sent; the window says which cell.
    if (outcome == WriteOutcome::Refused)
        msg::warning(this, unsendableCellMessage(firstUnsendableCell(m_image.texts()).value_or(0)));
}

}  // namespace trv
