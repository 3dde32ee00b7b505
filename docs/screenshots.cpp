// trv-screenshots: the pictures of the user manual and of the README, taken from the program's
// own windows against a simulated board linked as COM3 (scripts/screenshots.sh sets that up). Every
// control is reached by its object name, as a user reaches it by its caption, so the
// pictures follow the windows when they change.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QIcon>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <utility>

#include "app/main_window.h"
#include "port/port_assignment.h"
#include "port/port_map.h"
#include "port/system_serial_port.h"
#include "program/qt_french.h"
#include "ui/prompts.h"

namespace {

QDir output;
QDir readmeOutput;
int failures = 0;

void save(QWidget* widget, const QString& name, const QDir& folder = output) {
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    if (!widget || !widget->grab().save(path)) {
        std::fprintf(stderr, "trv-screenshots: %s not taken\n", qPrintable(name));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// The frame of the child window whose contents carry `name`, title bar included.
QWidget* frameOf(trv::MainWindow& main, const char* name) {
    for (QMdiSubWindow* w : main.mdiArea()->subWindowList())
        if (w->widget() && w->widget()->objectName() == QLatin1String(name)) return w;
    return nullptr;
}

// Lets timers that catch up with the program's state run before a picture.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename T>
T* child(QWidget* window, const char* name) {
    return window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
}

bool click(QWidget* window, const char* button) {
    auto* b = child<QPushButton>(window, button);
    if (!b) {
        std::fprintf(stderr, "trv-screenshots: no button %s\n", button);
        ++failures;
        return false;
    }
    b->click();
    return true;
}

bool trigger(trv::MainWindow& main, const char* action) {
    QAction* a = main.findChild<QAction*>(QLatin1String(action));
    if (a) a->trigger();
    return a != nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    trv::installQtFrench(app);
    // The icon the tool itself sets, so that every title bar pictured shows it.
    QIcon icon(QStringLiteral(":/icons/trv-compteur-48.png"));
    icon.addFile(QStringLiteral(":/icons/trv-compteur-256.png"));
    QApplication::setWindowIcon(icon);
    if (argc != 3) {
        std::fprintf(stderr, "usage : trv-screenshots DOSSIER_MANUEL DOSSIER_README\n");
        return 2;
    }
    output.setPath(QString::fromLocal8Bit(argv[1]));
    output.mkpath(QStringLiteral("."));
    readmeOutput.setPath(QString::fromLocal8Bit(argv[2]));

    // Message boxes are pictured once, then answered as the user would.
    QString nextBox;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&nextBox] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (!nextBox.isEmpty()) save(box, nextBox);
        nextBox.clear();
        box->accept();
    });
    boxes.start(50);

    // The real boxes, so that they can be pictured.
    trv::PlatformPrompts prompts;
    trv::MainWindow main(std::make_unique<trv::SystemSerialPort>(), prompts);
    main.setGeometry(0, 0, 980, 420);
    main.show();
    QApplication::processEvents();

    QWidget* settings = frameOf(main, "CONFIGURATION");
    save(settings, QStringLiteral("configuration"));
    if (auto* com = child<QComboBox>(settings, "SEL_COM"))
        com->setCurrentText(QStringLiteral("COM3:"));
    nextBox = QStringLiteral("message-ouverture");
    click(settings, "BOUTON_VALIDE");

    nextBox = QStringLiteral("message-lecture");
    click(frameOf(main, "dump_24c01"), "but_lit_para");
    click(frameOf(main, "LUM"), "but_LIT_LUM");
    click(frameOf(main, "SW"), "LIT_SW");
    save(&main, QStringLiteral("principal"));
    save(&main, QStringLiteral("main-window"), readmeOutput);
    save(frameOf(main, "dump_24c01"), QStringLiteral("parametres"));
    save(frameOf(main, "LUM"), QStringLiteral("luminosite"));
    save(frameOf(main, "SW"), QStringLiteral("microswitches"));

    QWidget* counter = frameOf(main, "dump_24c01");
    click(counter, "Command2");
    QApplication::processEvents();
    save(counter, QStringLiteral("grille"));

    // The traffic monitor records while it is open: one more read to show.
    if (trigger(main, "MENU_TRAFIC")) {
        QWidget* monitor = frameOf(main, "TRAFIC_SERIE");
        if (monitor) monitor->resize(900, 420);
        click(counter, "but_lit_para");
        settle(500);
        // The start of the operation: its heading, the wake-up frames and the first replies.
        if (auto* rows = child<QTableView>(monitor, "lignes")) rows->scrollToTop();
        save(monitor, QStringLiteral("trafic"));
        if (monitor) monitor->close();
    }

    // The link test runs from the event loop until its verdict.
    if (trigger(main, "MENU_TEST_LIAISON")) {
        QWidget* test = frameOf(main, "TEST_LIAISON");
        if (test) test->resize(440, test->height());
        if (click(test, "but_demarrer")) {
            auto* start = child<QPushButton>(test, "but_demarrer");
            for (int i = 0; i < 300 && !start->isEnabled(); ++i) settle(100);
        }
        save(test, QStringLiteral("test-liaison"));
        if (test) test->close();
    }

    // The luminosity set to 60 %: its programming leaves the image it replaced in the history.
    QWidget* luminosity = frameOf(main, "LUM");
    if (auto* option = child<QRadioButton>(luminosity, "Option1(3)")) option->setChecked(true);
    click(luminosity, "but_ECRIT_LUM");

    // Every read and write above is in the image history, the latest first; the image from
    // before the programming is chosen, and its restore asks first (pictured, then declined).
    if (trigger(main, "MENU_IMAGE_HISTORIQUE")) {
        QWidget* history = frameOf(main, "HISTORIQUE");
        if (auto* list = child<QTreeWidget>(history, "LISTE_HISTORIQUE"))
            list->setCurrentItem(list->topLevelItem(2));
        save(history, QStringLiteral("historique"));
        nextBox = QStringLiteral("restauration");
        click(history, "but_restaurer");
        if (history) history->close();
    }

    // COM3 leads to the simulated board's pseudo-terminal, and is selected.
    if (trigger(main, "MENU_PORTS_SERIE")) {
        QWidget* ports = frameOf(main, "PORTS_SERIE");
        if (ports) ports->resize(900, 460);
        if (auto* table = child<QTableWidget>(ports, "TABLE_COM")) table->selectRow(2);
        save(ports, QStringLiteral("ports-serie"));

        // COM7 associated with a board behind a serial device server, as the user does it:
        // the address typed, COM7 chosen, the button pressed.
        if (auto* target = child<QComboBox>(ports, "SEL_COM_ASSOCIE")) target->setCurrentIndex(6);
        if (auto* address = child<QLineEdit>(ports, "ADRESSE_RESEAU"))
            address->setText(QStringLiteral("rfc2217://192.168.1.40:4001"));
        click(ports, "BOUTON_ASSOCIER_ADRESSE");
        settle(200);
        if (auto* table = child<QTableWidget>(ports, "TABLE_COM")) table->selectRow(6);
        save(ports, QStringLiteral("ports-reseau"));
        // The pictures after this one (the detection scan) know COM7 as before.
        trv::unassignPort(trv::portsFolder(), 7);
        if (ports) ports->close();
    }

    trigger(main, "MENU_DETECT");
    QWidget* detect = frameOf(main, "DETECT");
    click(detect, "Command1");
    save(detect, QStringLiteral("detection"));

    // The README's counter window: long values programmed into the board, then read back.
    click(counter, "Extension");
    const std::pair<const char*, const char*> values[] = {{"valeur(0)", "1234567890"},
                                                          {"vdeci(0)", "12"},
                                                          {"valeur(1)", "9876543210"},
                                                          {"vdeci(1)", "99"}};
    for (const auto& [field, text] : values)
        if (auto* edit = child<QLineEdit>(counter, field)) edit->setText(QString::fromLatin1(text));
    nextBox.clear();
    click(counter, "but_ecrit_para");
    click(counter, "but_lit_para");
    save(counter, QStringLiteral("counter-window"), readmeOutput);

    // The counter window at 100 % and at 150 % ("Outils > Taille du texte"), holding a short
    // value and a ten-digit one, for the README.
    // The window stays as the picture above left it.
    QWidget* sized = counter;
    if (auto* start = child<QLineEdit>(sized, "valeur(0)")) start->setText(QStringLiteral("10"));
    if (auto* end = child<QLineEdit>(sized, "valeur(1)"))
        end->setText(QStringLiteral("9876543210"));
    for (int percent : {100, 150}) {
        main.setTextSize(percent);
        QApplication::processEvents();
        save(sized, QStringLiteral("taille-%1").arg(percent));
    }
    main.setTextSize(100);

    return failures == 0 ? 0 : 1;
}
