#include "tools/history_window.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "boards/board_window.h"
#include "image/image_file.h"
#include "link/link.h"
#include "ui/preferences.h"
#include "ui/prompts.h"

namespace trv {
namespace {

const QString kWhenFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss,zzz");

QPushButton* button(const QString& caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

}  // namespace

HistoryWindow::HistoryWindow(Link& link, Prompts& prompts, Target target, QWidget* parent)
    : QWidget(parent), m_link(link), m_prompts(prompts), m_target(std::move(target)) {
    setObjectName(QStringLiteral("HISTORIQUE"));
    setWindowTitle(QStringLiteral(" Historique des images."));

    list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("LISTE_HISTORIQUE"));
    list->setAccessibleName(QStringLiteral("LISTE_HISTORIQUE"));
    list->setHeaderLabels({QStringLiteral("Date et heure"), QStringLiteral("Port"),
                           QStringLiteral("Fenêtre"), QStringLiteral("Opération")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    butCharger = button(QStringLiteral("Charger dans la grille"), "but_charger", this);
    butComparer = button(QStringLiteral("Comparer avec la grille"), "but_comparer", this);
    butRestaurer = button(QStringLiteral("Restaurer sur la carte…"), "but_restaurer", this);
    butEnregistrer = button(QStringLiteral("Enregistrer sous…"), "but_enregistrer", this);
    butDossier = button(QStringLiteral("Ouvrir le dossier"), "but_dossier", this);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {butCharger, butComparer, butRestaurer, butEnregistrer, butDossier})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);
    resize(640, 360);

    connect(list, &QTreeWidget::itemSelectionChanged, this, &HistoryWindow::updateButtons);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &HistoryWindow::loadSelected);
    connect(butCharger, &QPushButton::clicked, this, &HistoryWindow::loadSelected);
    connect(butComparer, &QPushButton::clicked, this, &HistoryWindow::compareSelected);
    connect(butRestaurer, &QPushButton::clicked, this, &HistoryWindow::restoreSelected);
    connect(butEnregistrer, &QPushButton::clicked, this, &HistoryWindow::saveSelectedAs);
    connect(butDossier, &QPushButton::clicked, this, &HistoryWindow::openFolder);
    refresh();
}

void HistoryWindow::refresh() {
    m_entries = m_link.imageHistory().entries();
    list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(m_entries.size());
    for (const history::Entry& e : std::as_const(m_entries))
        items << new QTreeWidgetItem({e.when.toString(kWhenFormat), portName(e.port, e.address),
                                      e.window, history::directionText(e.direction)});
    list->addTopLevelItems(items);
    if (!items.isEmpty()) list->setCurrentItem(items.front());
    updateButtons();
}

void HistoryWindow::updateButtons() {
    const bool any = selected().has_value();
    for (QPushButton* b : {butCharger, butComparer, butRestaurer, butEnregistrer})
        b->setEnabled(any);
}

std::optional<history::Entry> HistoryWindow::selected() const {
    const QList<QTreeWidgetItem*> chosen = list->selectedItems();
    if (chosen.isEmpty()) return std::nullopt;
    const int row = list->indexOfTopLevelItem(chosen.front());
    if (row < 0 || row >= m_entries.size()) return std::nullopt;
    return m_entries[row];
}

std::optional<ImageBytes> HistoryWindow::selectedImage() {
    const std::optional<history::Entry> e = selected();
    if (!e) return std::nullopt;
    const imagefile::Parsed parsed = imagefile::readFile(e->path);
    if (!parsed.bytes) m_prompts.plain(this, parsed.error);
    return parsed.bytes;
}

BoardWindow* HistoryWindow::targetOrWarn() {
    BoardWindow* w = m_target ? m_target() : nullptr;
    if (!w)
        m_prompts.warning(this,
                          QStringLiteral("Aucune fenêtre de carte ouverte : ouvrez la fenêtre "
                                         "du compteur, de la luminosité ou des microswitches."));
    return w;
}

void HistoryWindow::loadSelected() {
    const std::optional<ImageBytes> bytes = selectedImage();
    if (!bytes) return;
    BoardWindow* w = targetOrWarn();
    if (!w) return;
    w->loadImage(*bytes);
    // The grid that now holds the image comes to the front.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        if (QMdiArea* area = frame->mdiArea()) area->setActiveSubWindow(frame);
}

void HistoryWindow::compareSelected() {
    const std::optional<history::Entry> e = selected();
    const std::optional<ImageBytes> bytes = selectedImage();
    if (!e || !bytes) return;
    BoardWindow* w = targetOrWarn();
    if (!w) return;
    w->compareWithImage(*bytes, QStringLiteral("image"), describe(*e));
}

QString HistoryWindow::describe(const history::Entry& e) {
    return QStringLiteral("l'image %1 le %2")
        .arg(history::directionText(e.direction),
             e.when.toString(QStringLiteral("dd/MM/yyyy à HH:mm:ss")));
}

void HistoryWindow::restoreSelected() {
    const std::optional<history::Entry> e = selected();
    const std::optional<ImageBytes> bytes = selectedImage();
    if (!e || !bytes) return;
    BoardWindow* w = targetOrWarn();
    if (!w) return;
    w->restoreImage(*bytes, describe(*e));
    // The restore added records: the list shows them.
    refresh();
}

void HistoryWindow::saveSelectedAs() {
    const std::optional<history::Entry> e = selected();
    const std::optional<ImageBytes> bytes = selectedImage();
    if (!e || !bytes) return;
    const QString initial = prefs::imageFolder() + u'/' + QFileInfo(e->path).fileName();
    saveImageAs(m_prompts, this, QStringLiteral("Enregistrer l'image sous"), initial, *bytes);
}

void HistoryWindow::openFolder() {
    const std::optional<history::Entry> e = selected();
    const QString folder = e ? QFileInfo(e->path).absolutePath() : m_link.imageHistory().folder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace trv
