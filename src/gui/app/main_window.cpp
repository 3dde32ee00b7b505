#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QUrl>

#include "app/help.h"
#include "app/help_window.h"
#include "boards/counter_window.h"
#include "boards/luminosity_window.h"
#include "boards/switches_window.h"
#include "configuration/configuration_file.h"
#include "configuration/settings_window.h"
#include "link/port_guard.h"
#include "tools/detect.h"
#include "tools/history_window.h"
#include "tools/link_test.h"
#include "tools/serial_ports_window.h"
#include "tools/traffic_monitor.h"
#include "ui/preferences.h"
#include "ui/text_fit.h"

namespace trv {
namespace {
// The window a frame holds, while it is open.
template <typename W>
W* childIn(const QPointer<QMdiSubWindow>& frame) {
    return frame ? qobject_cast<W*>(frame->widget()) : nullptr;
}
}  // namespace

MainWindow::MainWindow(std::unique_ptr<SerialPort> port, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent),
      m_link(std::move(port)),
      m_prompts(prompts),
      m_openDocument([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("PRINCIPAL"));
    setWindowTitle(QStringLiteral(" Gestion Compteur / Décompteur TRV."));
    m_mdi = new QMdiArea(this);
    setCentralWidget(m_mdi);
    buildMenus();
    setWindowState(windowState() | Qt::WindowMaximized);
    showConfiguration();
}

MainWindow::~MainWindow() {
    // Child windows go while the link still exists: the settings window releases the port.
    for (QMdiSubWindow* w : m_mdi->subWindowList()) delete w;
}

void MainWindow::buildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption,
                      std::function<void()> run) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
        return a;
    };
    QMenu* fichier = menuBar()->addMenu(QStringLiteral("&Fichier"));
    fichier->setObjectName(QStringLiteral("MENU_FICHIER"));
    add(fichier, "MENU_NOUVELLE", QStringLiteral("&Nouvelle configuration"),
        [this] { newConfiguration(); });
    // Loading a file reopens the port: not while an exchange uses it.
    add(fichier, "MENU_OUVRIR", QStringLiteral("&Ouvrir une configuration"), [this] {
        if (!refuseWhileBusy(m_link))
            openConfiguration([this] { return showConfiguration(); }, m_prompts, this);
    });
    add(fichier, "MENU_ENREGISTRER", QStringLiteral("&Enregistrer une configuration"),
        [this] { saveConfiguration([this] { return showConfiguration(); }, m_prompts, this); });
    add(fichier, "MENU_QUITTER", QStringLiteral("&Quitter"), [] { QCoreApplication::quit(); });

    QMenu* configurer = menuBar()->addMenu(QStringLiteral("&Configuration"));
    configurer->setObjectName(QStringLiteral("MENU_CONFIGURER2"));
    add(configurer, "MENU_CONFIGURER", QStringLiteral("Configuration"),
        [this] { showConfiguration(); });
    add(configurer, "MENU_DETECT", QStringLiteral("Détection port COM"), [this] { showDetect(); });

    QMenu* fenetre = menuBar()->addMenu(QStringLiteral("&Fenêtre"));
    fenetre->setObjectName(QStringLiteral("MENU_FENETRE"));
    add(fenetre, "MENU_PARA", QStringLiteral("&Paramètres du Compteur Décompteur"),
        [this] { showCounter(); });
    add(fenetre, "MENU_AFF", QStringLiteral("&Luminosité"), [this] { showLuminosity(); });
    add(fenetre, "MENU_MISEALH", QStringLiteral("&Lire les microswitches"),
        [this] { showSwitches(); });

    buildImageMenu();

    // The tools menu: what watches and tests the serial link rather than a board's settings.
    // Every tool has its entry here.
    m_tools = menuBar()->addMenu(QStringLiteral("&Outils"));
    m_tools->setObjectName(QStringLiteral("MENU_OUTILS"));
    add(m_tools, "MENU_PORTS_SERIE", QStringLiteral("&Ports série…"),
        [this] { showSerialPorts(); });
    add(m_tools, "MENU_TRAFIC", QStringLiteral("&Trafic série"), [this] { showTrafficMonitor(); });
    add(m_tools, "MENU_TEST_LIAISON", QStringLiteral("Test de &liaison"),
        [this] { showLinkTest(); });
    buildTextSizeMenu();

    QMenu* aide = menuBar()->addMenu(QStringLiteral("&?"));
    aide->setObjectName(QStringLiteral("MENU_Aide_generale"));
    add(aide, "MENU_Aide", QStringLiteral("Aide"), [this] { help(); });
}

void MainWindow::buildTextSizeMenu() {
    QMenu* sizes = m_tools->addMenu(QStringLiteral("T&aille du texte"));
    sizes->setObjectName(QStringLiteral("MENU_TAILLE_TEXTE"));
    auto* group = new QActionGroup(sizes);
    const int chosen = prefs::textSize();
    for (int percent : prefs::kTextSizes) {
        QAction* a = sizes->addAction(QStringLiteral("%1 %").arg(percent));
        a->setObjectName(QStringLiteral("MENU_TAILLE_%1").arg(percent));
        a->setCheckable(true);
        a->setChecked(percent == chosen);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, percent] { setTextSize(percent); });
    }
}

void MainWindow::setTextSize(int percent) {
    prefs::setTextSize(percent);
    if (QAction* a = action(qPrintable(QStringLiteral("MENU_TAILLE_%1").arg(percent))))
        a->setChecked(true);
    for (BoardWindow* w : std::initializer_list<BoardWindow*>{counter(), luminosity(), switches()})
        if (w) scaleWindow(w, percent / 100.0);
}

void MainWindow::buildImageMenu() {
    QMenu* image = menuBar()->addMenu(QStringLiteral("&Image"));
    image->setObjectName(QStringLiteral("MENU_IMAGE"));
    auto add = [this, image](const char* name, const QString& caption, auto run) {
        QAction* a = image->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, run] {
            if (BoardWindow* w = activeBoardWindow()) (w->*run)();
        });
    };
    add("MENU_IMAGE_ENREGISTRER", QStringLiteral("&Enregistrer l'image de la grille…"),
        &BoardWindow::saveGridImage);
    add("MENU_IMAGE_CHARGER", QStringLiteral("&Charger une image dans la grille…"),
        &BoardWindow::loadImageIntoGrid);
    add("MENU_IMAGE_COMPARER", QStringLiteral("C&omparer la grille avec la carte"),
        &BoardWindow::compareWithBoard);
    add("MENU_IMAGE_RESTAURER", QStringLiteral("&Restaurer sur la carte…"),
        &BoardWindow::restoreImageFromFile);
    image->addSeparator();
    QAction* history = image->addAction(QStringLiteral("&Historique des images…"));
    history->setObjectName(QStringLiteral("MENU_IMAGE_HISTORIQUE"));
    connect(history, &QAction::triggered, this, [this] { showHistory(); });
    image->addSeparator();
    QAction* verify = image->addAction(QStringLiteral("&Vérifier après programmation"));
    verify->setObjectName(QStringLiteral("MENU_IMAGE_VERIFIER"));
    verify->setCheckable(true);
    verify->setChecked(prefs::verifyAfterWrite());
    connect(verify, &QAction::toggled, this, [](bool on) { prefs::setVerifyAfterWrite(on); });

    connect(image, &QMenu::aboutToShow, this, &MainWindow::updateImageMenu);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] {
        if (BoardWindow* w = activeBoardWindow()) m_lastBoard = w;
        updateImageMenu();
    });
    updateImageMenu();
}

void MainWindow::updateImageMenu() {
    const bool board = activeBoardWindow() != nullptr;
    for (const char* name : {"MENU_IMAGE_ENREGISTRER", "MENU_IMAGE_CHARGER", "MENU_IMAGE_COMPARER",
                             "MENU_IMAGE_RESTAURER"})
        action(name)->setEnabled(board);
}

BoardWindow* MainWindow::activeBoardWindow() const {
    // The current window stays current while a menu or a message box has the focus.
    QMdiSubWindow* frame = m_mdi->currentSubWindow();
    return frame ? qobject_cast<BoardWindow*>(frame->widget()) : nullptr;
}

template <typename W>
W* MainWindow::asBoardWindow(W* window) {
    window->setVerifySetting([this] { return action("MENU_IMAGE_VERIFIER")->isChecked(); });
    // At the text size chosen before it opens; its frame is made to fit it.
    scaleWindow(window, prefs::textSize() / 100.0);
    return window;
}

HistoryWindow* MainWindow::showHistory() {
    auto* h = showChild<HistoryWindow>(m_history, [this] {
        return new HistoryWindow(m_link, m_prompts, [this] { return m_lastBoard.data(); });
    });
    h->refresh();
    return h;
}

QAction* MainWindow::action(const char* name) const {
    return findChild<QAction*>(QLatin1String(name));
}

template <typename W, typename Make>
W* MainWindow::showChild(QPointer<QMdiSubWindow>& slot, Make make, bool maximisable) {
    if (!slot) {
        W* widget = make();
        // Fixed-size windows get a plain frame: no minimise or maximise box.
        const bool fixedSize = widget->minimumSize() == widget->maximumSize();
        Qt::WindowFlags flags = Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint;
        if (!fixedSize) flags |= Qt::WindowMinimizeButtonHint;
        if (maximisable) flags |= Qt::WindowMaximizeButtonHint;
        slot = m_mdi->addSubWindow(widget, flags);
        slot->setAttribute(Qt::WA_DeleteOnClose);
        slot->setObjectName(widget->objectName() + QStringLiteral("_frame"));
        if (fixedSize) slot->setFixedSize(slot->sizeHint());
    }
    slot->show();
    m_mdi->setActiveSubWindow(slot);
    slot->raise();
    return childIn<W>(slot);
}

SettingsWindow* MainWindow::showConfiguration() {
    auto* c = showChild<SettingsWindow>(
        m_configuration, [this] { return new SettingsWindow(m_link, m_prompts, &m_boardWindows); });
    m_configuration->showNormal();
    m_mdi->setActiveSubWindow(m_configuration);
    c->setFocus();
    return c;
}

Detect* MainWindow::showDetect() {
    auto* d = showChild<Detect>(m_detect, [this] { return new Detect(m_link, m_prompts); });
    m_detect->showNormal();
    m_mdi->setActiveSubWindow(m_detect);
    d->setFocus();
    return d;
}

board::ReplyControl MainWindow::replyControl() const {
    // Without a settings window the port is closed and the guard stops every operation
    // before the setting is read; "OUI" is the setting's start-up value.
    if (SettingsWindow* c = configuration()) return c->settings().reply;
    return board::ReplyControl::Oui;
}

CounterWindow* MainWindow::showCounter() {
    return showChild<CounterWindow>(m_counter, [this] {
        return asBoardWindow(
            new CounterWindow(m_link, m_prompts, [this] { return replyControl(); }));
    });
}

LuminosityWindow* MainWindow::showLuminosity() {
    return showChild<LuminosityWindow>(m_luminosity, [this] {
        return asBoardWindow(
            new LuminosityWindow(m_link, m_prompts, [this] { return replyControl(); }));
    });
}

SwitchesWindow* MainWindow::showSwitches() {
    return showChild<SwitchesWindow>(m_switches, [this] {
        return asBoardWindow(
            new SwitchesWindow(m_link, m_prompts, [this] { return replyControl(); }));
    });
}

TrafficMonitor* MainWindow::showTrafficMonitor() {
    // A long trace reads better on the whole area.
    return showChild<TrafficMonitor>(
        m_traffic, [this] { return new TrafficMonitor(m_link, m_prompts); }, true);
}

LinkTest* MainWindow::showLinkTest() {
    return showChild<LinkTest>(m_linkTest, [this] { return new LinkTest(m_link, m_prompts); });
}

SerialPortsWindow* MainWindow::showSerialPorts() {
    return showChild<SerialPortsWindow>(m_serialPorts,
                                        [this] { return new SerialPortsWindow(m_prompts); });
}

SettingsWindow* MainWindow::configuration() const {
    return childIn<SettingsWindow>(m_configuration);
}
CounterWindow* MainWindow::counter() const { return childIn<CounterWindow>(m_counter); }
LuminosityWindow* MainWindow::luminosity() const { return childIn<LuminosityWindow>(m_luminosity); }
SwitchesWindow* MainWindow::switches() const { return childIn<SwitchesWindow>(m_switches); }
Detect* MainWindow::detect() const { return childIn<Detect>(m_detect); }
TrafficMonitor* MainWindow::trafficMonitor() const { return childIn<TrafficMonitor>(m_traffic); }
LinkTest* MainWindow::linkTest() const { return childIn<LinkTest>(m_linkTest); }
HistoryWindow* MainWindow::history() const { return childIn<HistoryWindow>(m_history); }
SerialPortsWindow* MainWindow::serialPorts() const {
    return childIn<SerialPortsWindow>(m_serialPorts);
}

void MainWindow::newConfiguration() {
    if (refuseWhileBusy(m_link)) return;
    // Destroying the settings window closes the port; the new one starts from the defaults.
    if (m_configuration) delete m_configuration.data();
    showConfiguration();
}

void MainWindow::help() {
    // The help document beside the program comes first, handed to the desktop; else the
    // manual that ships with the program, read in the help window (no browser needed), or on
    // Windows handed to the shell too. With
    // neither, nothing happens and nothing is said. Whether the desktop managed to open the
    // document is not reported either.
    const QString folder = QCoreApplication::applicationDirPath();
    QDir::setCurrent(folder);
    const QString document = helpDocument(folder);
    if (document.isEmpty()) return;
    if (helpShownBy(document) == HelpShownBy::Desktop)
        m_openDocument(QUrl::fromLocalFile(document));
    else
        showHelp(document);
}

HelpWindow* MainWindow::showHelp(const QString& manual) {
    auto* h = showChild<HelpWindow>(m_help, [this, manual] {
        return new HelpWindow(manual, [this](const QUrl& url) { m_openDocument(url); });
    });
    // A manual reads best as large as the frame allows.
    if (!m_help->windowFlags().testFlag(Qt::WindowMaximizeButtonHint))
        m_help->setWindowFlag(Qt::WindowMaximizeButtonHint);
    h->showManual();
    m_help->showNormal();
    m_mdi->setActiveSubWindow(m_help);
    return h;
}

HelpWindow* MainWindow::helpWindow() const { return childIn<HelpWindow>(m_help); }

void MainWindow::closeEvent(QCloseEvent* event) {
    // No question and nothing saved; only an exchange in progress holds the window.
    if (refuseCloseWhileBusy(m_link, event)) return;
    event->accept();
    QCoreApplication::quit();
}

}  // namespace trv
