#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "image/image_history.h"

class QPushButton;
class QTreeWidget;

namespace trv {

class BoardWindow;
class Link;
class Prompts;

// The window "Historique des images": every image read from or written to a board, newest
// first, with what can be done with one: load it into a board window's grid, compare it
// with that grid, save a copy elsewhere, or open its folder.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // The board window the buttons act on (the last one the technician worked in), if any.
    using Target = std::function<BoardWindow*()>;

    HistoryWindow(Link& link, Prompts& prompts, Target target, QWidget* parent = nullptr);

    // Lists the records on disk again.
    void refresh();

    void loadSelected();     // "Charger dans la grille"
    void compareSelected();  // "Comparer avec la grille"
    void saveSelectedAs();   // "Enregistrer sous…"
    void openFolder();       // "Ouvrir le dossier"

    QTreeWidget* list = nullptr;
    QPushButton* butCharger = nullptr;
    QPushButton* butComparer = nullptr;
    QPushButton* butEnregistrer = nullptr;
    QPushButton* butDossier = nullptr;

private:
    std::optional<history::Entry> selected() const;
    // The selected record's image; nullopt, with the reason shown, when it cannot be read.
    std::optional<ImageBytes> selectedImage();
    BoardWindow* targetOrWarn();
    void updateButtons();

    Link& m_link;
    Prompts& m_prompts;
    Target m_target;
    QList<history::Entry> m_entries;
};

}  // namespace trv
