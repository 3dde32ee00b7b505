#pragma once

#include <QWidget>
#include <functional>

#include "grid/eeprom_image.h"
#include "grid/grid_widget.h"
#include "protocol/image_transfer.h"

namespace trv {

class Link;

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
