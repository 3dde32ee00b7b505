#pragma once

#include <QList>
#include <QObject>
#include <array>
#include <functional>
#include <optional>

#include "image/eeprom_image.h"
#include "ui/packed_colours.h"

class QLabel;
class QRect;
class QLineEdit;
class QPushButton;
class QWidget;

namespace trv {

// A cell's background for its state; nullopt: the control's own. Read and written cells are
// alike green: the board holds what they show.
std::optional<colour::Packed> cellColour(CellState state);

// The 128-cell view and editor of a window's EEPROM image, with its row of buttons. Its
// controls are placed straight on the board window at the window's fixed positions.
class GridControls : public QObject {
    Q_OBJECT
public:
    struct Placement {
        int left = 3360;          // left of the first cell column, twips
        bool extension = true;    // the "Férmer l'extension." button
        bool fillButtons = true;  // EDIT, Lin and Envoi act (the microswitch window: no)
    };

    GridControls(EepromImage& image, QWidget* window, Placement placement);

    std::array<QLineEdit*, 129> Text1{};  // 0..127 the cells, 128 the fill box
    QPushButton* butRd = nullptr;
    QPushButton* butEdit = nullptr;
    QPushButton* butLin = nullptr;
    QPushButton* butWr = nullptr;
    QPushButton* extension = nullptr;

    void fillFromBox();        // EDIT
    void fillWithAddresses();  // Lin
    // Only the grid's controls that lie in the window's visible area take the keyboard focus:
    // a closed panel's cells are skipped by Tab and cannot be typed into unseen.
    void followVisibleArea(const QRect& visible);
    // The grid's controls in Tab order: cells, then the button row, then the extension.
    QList<QWidget*> tabOrder() const;

    // While refused() holds, EDIT and Lin leave the image as it is.
    void setRefusal(std::function<bool()> refused) { m_refused = std::move(refused); }

signals:
    void readRequested();
    void writeRequested();
    void closeExtensionRequested();

private:
    void showCell(int address);

    EepromImage& m_image;
    Placement m_placement;
    std::function<bool()> m_refused = [] { return false; };
};

}  // namespace trv
