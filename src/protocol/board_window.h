#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "grid/eeprom_image.h"
#include "grid/grid_widget.h"
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

// What an operation tells the user once its exchange with the board is over.
struct Report {
    msg::Kind kind;
    QString text;
};
// Shown after the exchange, so the message comes without the busy cursor.
void showReport(QWidget* parent, const std::optional<Report>& report);

// Five "RRR" frames send the board back to sleep. They are pushed onto the line at once, so
// the board is released even while a message waits for the user.
void sendClosingBurst(Exchange& exchange);

// What the counter, luminosity and microswitch windows share: the link, their own EEPROM
// image with its grid, the grid's "Lire " and "Envoi", and refusing to close while an
// exchange with the board runs.
class BoardWindow : public QWidget {
    Q_OBJECT
public:
    // replyControl gives the text of the reply-control setting ("OUI" or "NON").
    using ReplyControl = std::function<QString()>;

    BoardWindow(Link& link, ReplyControl replyControl, GridWidget::Placement placement,
                ReadVariant readVariant, QWidget* parent);

    EepromImage& image() { return m_image; }
    // The windows are laid out by position at a given client size, which is their natural
    // size inside a frame.
    QSize sizeHint() const override { return size(); }
    GridWidget& grid() { return *m_grid; }

protected:
    Link& link() { return m_link; }
    QString replyControl() const { return m_replyControl(); }
    ReadVariant readVariant() const { return m_readVariant; }
    // A read that failed: with reply control "OUI" the board is left awake and the user is
    // warned; otherwise it is sent back to sleep without a word.
    std::optional<Report> endFailedRead(Exchange& exchange);
    // caption: the button that asked, for the traffic trace.
    // Wakes the board, reads its whole image, hands it to show, sends the board back to sleep
    // and reports as the reply control asks; a failed read ends as endFailedRead says.
    void readBoard(const QString& caption, const std::function<void(const CellTexts&)>& show);
    void closeEvent(QCloseEvent* event) override;

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
