#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

#include "app/board_window_gate.h"
#include "link/link.h"
#include "protocol/board_operations.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QUrl;

namespace trv {

class BoardWindow;
class SettingsWindow;
class Detect;
class HelpWindow;
class HistoryWindow;
class CounterWindow;
class LuminosityWindow;
class SerialPortsWindow;
class SwitchesWindow;
class LinkTest;
class Prompts;
class TrafficMonitor;

// The main window PRINCIPAL: the frame of every other window and their menus. It keeps
// the program's one link so that the port outlives any child window, and hands every window
// it makes the prompts it was given.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // prompts: outlives the main window.
    MainWindow(std::unique_ptr<SerialPort> port, Prompts& prompts, QWidget* parent = nullptr);
    ~MainWindow() override;

    Link& link() { return m_link; }
    QMdiArea* mdiArea() const { return m_mdi; }
    QAction* action(const char* name) const;

    // Show a child window: create it when absent, else bring it to the front.
    SettingsWindow* showConfiguration();  // also in the normal state, with the focus
    Detect* showDetect();
    HistoryWindow* showHistory();  // "Historique des images…", listed afresh
    CounterWindow* showCounter();
    LuminosityWindow* showLuminosity();
    SwitchesWindow* showSwitches();
    TrafficMonitor* showTrafficMonitor();
    LinkTest* showLinkTest();
    SerialPortsWindow* showSerialPorts();
    HelpWindow* showHelp(const QString& manual);  // at the manual's first page

    SettingsWindow* configuration() const;
    CounterWindow* counter() const;
    LuminosityWindow* luminosity() const;
    SwitchesWindow* switches() const;
    Detect* detect() const;
    TrafficMonitor* trafficMonitor() const;
    LinkTest* linkTest() const;
    HistoryWindow* history() const;
    // The board window in front (counter, luminosity or microswitches), if any: the one the
    // "&Image" menu acts on.
    BoardWindow* activeBoardWindow() const;
    SerialPortsWindow* serialPorts() const;
    HelpWindow* helpWindow() const;

    // The "&Outils" menu: every tool of the program (ports, traffic, link test) has its entry
    // here.
    QMenu* toolsMenu() const { return m_tools; }

    // "Outils > Taille du texte": scales the open board windows and those opened later, and is
    // kept for the next run. percent: one of prefs::kTextSizes.
    void setTextSize(int percent);

    void newConfiguration();
    void help();

    // How "Aide" hands a document to the desktop (TRV_VXM.doc, and the manual's links that
    // lead out of it); the desktop's own opener unless replaced.
    using OpenDocument = std::function<void(const QUrl&)>;
    void setOpenDocument(OpenDocument open) { m_openDocument = std::move(open); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename W, typename Make>
    W* showChild(QPointer<QMdiSubWindow>& slot, Make make, bool maximisable = false);
    board::ReplyControl replyControl() const;
    void buildMenus();
    void buildImageMenu();
    void buildTextSizeMenu();
    void updateImageMenu();
    // A new board window checks its writes when "Vérifier après programmation" is on, and
    // opens at the text size chosen.
    template <typename W>
    W* asBoardWindow(W* window);

    Link m_link;
    Prompts& m_prompts;
    // What the settings window asks of the board windows after a validation.
    BoardWindowGate m_boardWindows{*this};
    QMdiArea* m_mdi = nullptr;
    QMenu* m_tools = nullptr;
    QPointer<QMdiSubWindow> m_configuration, m_detect, m_counter, m_luminosity, m_switches,
        m_traffic, m_linkTest, m_history, m_serialPorts, m_help;
    OpenDocument m_openDocument;
    // The history window's buttons act on the board window the technician was in last.
    QPointer<BoardWindow> m_lastBoard;
};

}  // namespace trv
