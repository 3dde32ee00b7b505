#include <QApplication>
#include <QPointer>
#include <QScreen>

#include "app/kel_nd_splash.h"
#include "app/principal.h"
#include "link/qt_serial_port.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trv-compteur"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(TRV_VERSION_MAJOR)
                                            .arg(TRV_VERSION_MINOR)
                                            .arg(TRV_VERSION_PATCH));
    QApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<trv::Principal> principal;
    auto* splash = new trv::KelNdSplash([&principal] {
        if (!principal)
            principal = std::make_unique<trv::Principal>(std::make_unique<trv::QtSerialPort>());
        // Cover the screen first, so that the window is full-size even where no window
        // manager carries out the maximised state.
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            principal->setGeometry(screen->availableGeometry());
        principal->showMaximized();
    });
    splash->show();
    return app.exec();
}
