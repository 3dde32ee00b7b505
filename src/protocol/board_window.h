#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "grid/eeprom_image.h"
#include "grid/grid_widget.h"
#include "protocol/board_operations.h"
#include "protocol/image_transfer.h"
#include "ui/messages.h"

namespace trv {

class Exchange;
class Link;

// The board windows' messages after an exchange.
inline const QString kBoardErrorText = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");
inline const QString kReadDoneText = QStringLiteral("Lecture effectuée avec succés.");
inline const QString kProgramDoneText = QStringLiteral("Programmation effectuée avec succés.");
inline const QString kBlankText =
    QStringLiteral("EEPROM vièrge ou corrompue. Programmer les paramètres.");

// What an operation tells the user once its exchange with the board is over.
struct Report {
    msg::Kind kind;
    QString text;
};
// Shown after the exchange, so the message comes without the busy cursor.
void showReport(QWidget* parent, const std::optional<Report>& report);
// The message a board operation's outcome calls for under the reply control.
std::optional<Report> reportFor(const board::Result& result, board::ReplyControl reply,
                                bool programming);

// What the counter, luminosity and microswitch windows share: the link, their own EEPROM
// image with its grid, the grid's "Lire " and "Envoi", and refusing to close while an
// exchange with the board runs.
class BoardWindow : public QWidget {
    Q_OBJECT
public:
    // replyControl gives the settings window's reply control at the time of an operation.
    using ReplyControl = std::function<board::ReplyControl()>;

    BoardWindow(Link& link, ReplyControl replyControl, GridWidget::Placement placement,
                ReadVariant readVariant, QWidget* parent);

    EepromImage& image() { return m_image; }
    // The windows are laid out by position at a given client size, which is their natural
    // size inside a frame.
    QSize sizeHint() const override { return size(); }
    GridWidget& grid() { return *m_grid; }

protected:
    using Operation = std::function<board::Result(Exchange&, board::ReplyControl)>;

    Link& link() { return m_link; }
    board::ReplyControl replyControl() const;
    // Runs a board operation from this window and shows the image it leaves in the grid:
    // green as read or sent, "Er" on red after a silent board or a failed write. caption:
    // the button that asked, for the traffic trace.
    board::Result runOnBoard(const QString& caption, const Operation& operation);
    // Reads the board, hands a good image to show, and reports as the reply control asks.
    void readBoard(const QString& caption, const Operation& read,
                   const std::function<void(const CellTexts&)>& show);
    void closeEvent(QCloseEvent* event) override;
    // The grid takes the focus only where it can be seen; a focus left in a part that went
    // out of view moves on to a visible control.
    void resizeEvent(QResizeEvent* event) override;

private:
    void readFromGrid();
    void writeFromGrid();

    Link& m_link;
    ReplyControl m_replyControl;
    ReadVariant m_readVariant;
    EepromImage m_image;
    GridWidget* m_grid = nullptr;
};

}  // namespace trv
