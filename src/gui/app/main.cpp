#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QScreen>

#include "app/kel_nd_splash.h"
#include "app/main_window.h"
#include "port/routed_port.h"
#include "program/program.h"
#include "program/qt_french.h"
#include "program/quit_on_signal.h"
#include "ui/prompts.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    trv::nameProgram(QStringLiteral("trv-compteur"));
    // The desktop matches the windows to the menu entry, and so to its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TRV_APP_ID));
    QIcon icon(QStringLiteral(":/icons/trv-compteur-48.png"));
    icon.addFile(QStringLiteral(":/icons/trv-compteur-256.png"));
    QApplication::setWindowIcon(icon);
    QApplication::setQuitOnLastWindowClosed(false);
    trv::installQtFrench(app);
    trv::quitOnTerminationSignals();

    // Declared before the main window, which it outlives.
    trv::PlatformPrompts prompts;
    std::unique_ptr<trv::MainWindow> principal;
    auto* splash = new trv::KelNdSplash([&principal, &prompts] {
        if (!principal)
            principal =
                std::make_unique<trv::MainWindow>(std::make_unique<trv::RoutedPort>(), prompts);
        // Cover the screen first, so that the window is full-size even where no window
        // manager carries out the maximised state.
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            principal->setGeometry(screen->availableGeometry());
        principal->showMaximized();
    });
    splash->show();
    return app.exec();
}
