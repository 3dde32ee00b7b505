// The main window, the settings window and the port opening, driven as a user would.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "app/help.h"
#include "app/help_window.h"
#include "app/kel_nd_splash.h"
#include "app/main_window.h"
#include "boards/counter_window.h"
#include "boards/luminosity_window.h"
#include "boards/switches_window.h"
#include "configuration/configuration_file.h"
#include "configuration/settings_window.h"
#include "image/image_file.h"
#include "image/image_history.h"
#include "link/port_guard.h"
#include "port/port_map.h"
#include "port/system_serial_port.h"
#include "program/qt_french.h"
#include "shown_table.h"
#include "test_support.h"
#include "tools/detect.h"
#include "tools/history_window.h"
#include "tools/traffic_monitor.h"

using namespace trv;

Q_DECLARE_METATYPE(trv::HelpShownBy)

namespace {
void settleDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Clicks the link whose text is `text` in the browser, as a user would.
bool clickLink(QTextBrowser* browser, const QString& text) {
    const QTextCursor found = browser->document()->find(text);
    if (found.isNull()) return false;
    QTextCursor inside(browser->document());
    inside.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    browser->setTextCursor(inside);
    browser->ensureCursorVisible();
    const QPoint at = browser->cursorRect(inside).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    return true;
}
}  // namespace

class AppTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    // What the main window and its windows show and ask, recorded.
    std::unique_ptr<test::MessageRecorder> prompts;
    std::unique_ptr<MainWindow> main;

    // The recorder, emptied of what earlier steps showed.
    test::MessageRecorder& freshRecorder() {
        prompts->clear();
        return *prompts;
    }

    SettingsWindow* settings() { return main->configuration(); }
    void validate(int comIndex) {
        settings()->setIndex(Setting::Com, comIndex);
        settings()->validateButton()->click();
    }

private slots:
    void initTestCase() { QVERIFY(installQtFrench(*QCoreApplication::instance())); }

    void init() {
        home = std::make_unique<test::TempDataHome>();
        prompts = std::make_unique<test::MessageRecorder>();
        main = std::make_unique<MainWindow>(std::make_unique<SystemSerialPort>(), *prompts);
        main->show();
    }
    void cleanup() {
        main.reset();
        prompts.reset();
        home.reset();
    }

    void startUpState() {
        QVERIFY(main->windowState() & Qt::WindowMaximized);
        SettingsWindow* c = settings();
        QVERIFY(c);
        const QStringList expected = {QStringLiteral("COM3:"),
                                      QStringLiteral("Filaire "),
                                      QStringLiteral("4 Digits 99 sec 99 cen"),
                                      QStringLiteral("Mono couleur"),
                                      QStringLiteral("NON"),
                                      QStringLiteral("NON"),
                                      QStringLiteral("NON"),
                                      QStringLiteral("OUI")};
        for (int s = 0; s < kSettingCount; ++s) QCOMPARE(c->text(Setting(s)), expected[s]);
        QCOMPARE(c->list(Setting::Com)->count(), 12);
        QCOMPARE(c->list(Setting::Com)->itemText(11), QStringLiteral("COM12:"));
        QCOMPARE(c->list(Setting::Coul)->itemText(1), QStringLiteral("Tri couleur "));
        // The five board options are held but lie outside the window.
        QVERIFY(!c->rect().intersects(c->list(Setting::Inter)->geometry()));
        QVERIFY(c->rect().contains(c->list(Setting::Rep)->geometry()));
        QVERIFY(!main->link().portOpen());
        QVERIFY(!main->link().port().isOpen());
        QCOMPARE(c->list(Setting::Com)->accessibleDescription(), QStringLiteral("SEL_COM"));
    }

    // What the windows show before anything happens, one table per kind.
    void captionsToolTipsAndSizes() {
        CounterWindow counter(main->link(), *prompts, [] { return board::ReplyControl::Oui; });
        Detect detect(main->link(), *prompts);
        KelNdSplash splash([] {});
        const test::Roots windows{main.get(), &counter, &detect, &splash};
        using test::Shown;
        const QStringList wrong =
            test::wrongRows(windows, Shown::Caption,
                            {{"PRINCIPAL", " Gestion Compteur / Décompteur TRV."},
                             {"CONFIGURATION", " Configuration."},
                             {"dump_24c01", " Paramètres."},
                             {"but_lit_para", "Lire les paramètres"},
                             {"but_ecrit_para", "Programme les paramètres"},
                             {"POLREL3", ""},
                             {"Label1(1)", "COM1:"},
                             {"Label1(15)", " "},
                             {"lblVersion", "Version 1.0.34"},
                             {"MENU_NOUVELLE", "&Nouvelle configuration"},
                             {"MENU_OUVRIR", "&Ouvrir une configuration"},
                             {"MENU_ENREGISTRER", "&Enregistrer une configuration"},
                             {"MENU_QUITTER", "&Quitter"},
                             {"MENU_CONFIGURER", "Configuration"},
                             {"MENU_DETECT", "Détection port COM"},
                             {"MENU_PARA", "&Paramètres du Compteur Décompteur"},
                             {"MENU_AFF", "&Luminosité"},
                             {"MENU_MISEALH", "&Lire les microswitches"},
                             {"MENU_PORTS_SERIE", "&Ports série…"},
                             {"MENU_TRAFIC", "&Trafic série"},
                             {"MENU_TEST_LIAISON", "Test de &liaison"},
                             {"MENU_Aide", "Aide"}}) +
            test::wrongRows(windows, Shown::ToolTip,
                            {{"POLREL3",
                              "Cette case est cochée automatiquement si la valeur de DEBUT est "
                              "supérieur à la valeur de FIN."},
                             {"but_lit_para", "Lecture des paramètres du compteur."},
                             {"but_ecrit_para", "Programme les paramètres du compteur."},
                             {"Command2", "Section non documentée."}}) +
            test::wrongRows(
                windows, Shown::TwipSize,
                {{"CONFIGURATION", QSize(4515, 1635)}, {"dump_24c01", QSize(2610, 4620)}});
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    }

    // The menus in their order; every entry there is at start, without a shortcut.
    void menuBar() {
        QStringList menus;
        for (QAction* menu : main->menuBar()->actions()) {
            menus << menu->text();
            for (QAction* a : menu->menu()->actions()) {
                QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
                QVERIFY2(a->isEnabled() || menu->text() == "&Image", qPrintable(a->objectName()));
            }
        }
        QCOMPARE(menus, (QStringList{QStringLiteral("&Fichier"), QStringLiteral("&Configuration"),
                                     QStringLiteral("&Fenêtre"), QStringLiteral("&Image"),
                                     QStringLiteral("&Outils"), QStringLiteral("&?")}));
        // The image entries in French, as the manual names them (a class rename once leaked
        // into one of them).
        QStringList entries;
        for (QAction* a : main->findChild<QMenu*>(QStringLiteral("MENU_IMAGE"))->actions())
            if (!a->isSeparator()) entries << a->text();
        QCOMPARE(entries, (QStringList{QStringLiteral("&Enregistrer l'image de la grille…"),
                                       QStringLiteral("&Charger une image dans la grille…"),
                                       QStringLiteral("C&omparer la grille avec la carte"),
                                       QStringLiteral("&Restaurer sur la carte…"),
                                       QStringLiteral("&Historique des images…"),
                                       QStringLiteral("&Vérifier après programmation")}));
        QCOMPARE(main->showHistory()->windowTitle(), QStringLiteral(" Historique des images."));
    }

    void childWindowsExistOnceAndComeBackFresh() {
        main->action("MENU_MISEALH")->trigger();
        SwitchesWindow* first = main->switches();
        main->action("MENU_MISEALH")->trigger();
        QCOMPARE(main->switches(), first);
        int count = 0;
        for (QMdiSubWindow* w : main->mdiArea()->subWindowList())
            count += qobject_cast<SwitchesWindow*>(w->widget()) != nullptr;
        QCOMPARE(count, 1);

        main->action("MENU_PARA")->trigger();
        main->counter()->image().setText(5, QStringLiteral("AB"));
        main->counter()->parentWidget()->close();
        settleDeletes();
        QVERIFY(!main->counter());
        main->action("MENU_PARA")->trigger();
        QCOMPARE(main->counter()->image().text(5), QString());
    }

    // The "&Image" menu acts on the board window in front, the history window on the board
    // window last in front; the verification choice outlives the main window.
    void imageMenuFollowsTheBoardWindow() {
        QTemporaryDir dir;
        ImageBytes bytes{};
        bytes[1] = 0x12;  // start 12,00
        const QString file = dir.filePath(QStringLiteral("a.bin"));
        QCOMPARE(imagefile::writeFile(file, bytes), QString());
        prompts->open = [&](QWidget*, const QString&, const QString&, const QString&) {
            return file;
        };
        // The counter warns of the missing signature; the prompts record it.

        QVERIFY(!main->action("MENU_IMAGE_CHARGER")->isEnabled());
        QVERIFY(!main->action("MENU_IMAGE_RESTAURER")->isEnabled());
        main->action("MENU_AFF")->trigger();
        main->action("MENU_PARA")->trigger();
        QVERIFY(main->action("MENU_IMAGE_CHARGER")->isEnabled());
        QVERIFY(main->action("MENU_IMAGE_RESTAURER")->isEnabled());
        main->action("MENU_IMAGE_CHARGER")->trigger();
        QCOMPARE(main->counter()->image().text(1), QStringLiteral("12"));
        QCOMPARE(main->luminosity()->image().text(1), QString());

        bytes[61] = 0x0B;
        history::ImageHistory().record(bytes, 3, QStringLiteral("luminosité"),
                                       history::Direction::Read);
        main->action("MENU_AFF")->trigger();
        HistoryWindow* h = main->showHistory();
        QVERIFY(!main->action("MENU_IMAGE_CHARGER")->isEnabled());
        QCOMPARE(h->list->topLevelItemCount(), 1);
        h->butCharger->click();
        QCOMPARE(main->luminosity()->dureLdr->value(), 6);
        QCOMPARE(main->activeBoardWindow(), main->luminosity());
        prompts->open = {};

        // On from the start; a technician's "off" is kept from one run to the next.
        QVERIFY(main->action("MENU_IMAGE_VERIFIER")->isChecked());
        main->action("MENU_IMAGE_VERIFIER")->trigger();
        main = std::make_unique<MainWindow>(std::make_unique<SystemSerialPort>(), *prompts);
        QVERIFY(!main->action("MENU_IMAGE_VERIFIER")->isChecked());
    }

    void trafficMonitorWatchesThePortOnlyWhileOpen() {
        main->action("MENU_TRAFIC")->trigger();
        TrafficMonitor* monitor = main->trafficMonitor();
        QVERIFY(monitor);
        QCOMPARE(main->link().tap().observer(), &monitor->log());
        monitor->parentWidget()->close();
        settleDeletes();
        QVERIFY(!main->trafficMonitor());
        QCOMPARE(main->link().tap().observer(), nullptr);
    }

#ifdef Q_OS_UNIX
    // On a pseudo-terminal linked as COM3, which only Unix has.
    void validatingOpensThePortAndGatesTheBoardWindows() {
        test::LinkedPty pty(3);
        QVERIFY(pty.ok());
        test::MessageRecorder& recorder = freshRecorder();
        validate(2);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Info);
        QCOMPARE(recorder.messages[0].text,
                 QStringLiteral("Ouverture du port COM3: effectuée avec succès."));
        QVERIFY(main->link().portOpen());
        QVERIFY(main->link().port().isOpen());
        QVERIFY(settings()->parentWidget()->isMinimized());
        QVERIFY(main->switches() && main->luminosity() && main->counter());
        QCOMPARE(main->mdiArea()->activeSubWindow()->widget(), main->counter());
        QVERIFY(main->action("MENU_MISEALH")->isEnabled());

        // The port really carries bytes both ways.
        QVERIFY(main->link().port().write("abc"));
        QVERIFY(main->link().port().drain(1000));
        QCOMPARE(pty.readAvailable(), QByteArray("abc"));

        // The settings window comes back in its normal state from the menu.
        main->action("MENU_CONFIGURER")->trigger();
        QVERIFY(!settings()->parentWidget()->isMinimized());

        // A failed re-validation closes the port that was open.
        recorder.clear();
        validate(4);
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Critical);
        QCOMPARE(recorder.messages[0].text, QStringLiteral("L'ouverture du port COM5 à échouée !"));
        QVERIFY(!main->link().portOpen());
        QVERIFY(!main->link().port().isOpen());
    }
#endif

    void missingPortFailsAndShowsNoBoardWindow() {
        test::MessageRecorder& recorder = freshRecorder();
        validate(4);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("L'ouverture du port COM5 à échouée !")});
        QVERIFY(!main->link().portOpen());
        QVERIFY(!settings()->parentWidget()->isMinimized());
        QVERIFY(!main->counter() && !main->luminosity() && !main->switches());

        recorder.clear();
        QVERIFY(!openPortGuard(main->link(), *prompts, main.get()));
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Warning);
        QCOMPARE(recorder.messages[0].text,
                 QStringLiteral("Pas de port COM ouvert. Veuillez valider la Configuration dans le "
                                "menu Configuration."));
    }

    // A running exchange refuses without a word, ahead of the guard's warning, which would
    // otherwise open a box in the middle of the exchange.
    void operationsStartOnlyWhenIdleOnAnOpenPort_data() {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("warnings");
        QTest::newRow("idle, open") << false << true << true << 0;
        QTest::newRow("idle, closed") << false << false << false << 1;
        QTest::newRow("busy, open") << true << true << false << 0;
        QTest::newRow("busy, closed") << true << false << false << 0;
    }
    void operationsStartOnlyWhenIdleOnAnOpenPort() {
        QFETCH(bool, busy);
        QFETCH(bool, open);
        QFETCH(bool, starts);
        QFETCH(int, warnings);
        test::FakeClock clock;
        Link link(std::make_unique<test::FakePort>(clock), clock);
        link.setPortOpen(open);
        if (busy) link.beginExchange();
        test::MessageRecorder recorder;
        QCOMPARE(mayStartOperation(link, recorder, main.get()), starts);
        QCOMPARE(recorder.messages.size(), warnings);
        if (busy) link.endExchange();
    }

#ifdef Q_OS_UNIX
    // Port links and pseudo-terminals: Unix only; Windows opens COMn itself.
    void danglingLinkIsAPortThatFailsToOpen() {
        QDir().mkpath(portsFolder());
        QFile::link(home->path() + QStringLiteral("/no-such-device"), portLinkPath(3));
        test::MessageRecorder& recorder = freshRecorder();
        validate(2);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("L'ouverture du port COM3 à échouée !")});
    }

    void newConfigurationClosesThePortAndRestoresDefaults() {
        test::LinkedPty pty(3);
        validate(2);
        QVERIFY(main->link().portOpen());
        main->counter()->image().setText(0, QStringLiteral("12"));
        settings()->setIndex(Setting::Rep, 0);
        settings()->setIndex(Setting::Dcf77, 1);
        main->action("MENU_NOUVELLE")->trigger();
        QVERIFY(!main->link().portOpen());
        QVERIFY(!main->link().port().isOpen());
        QCOMPARE(settings()->text(Setting::Com), QStringLiteral("COM3:"));
        QCOMPARE(settings()->text(Setting::Rep), QStringLiteral("OUI"));
        QCOMPARE(settings()->text(Setting::Dcf77), QStringLiteral("NON"));
        QVERIFY(!settings()->parentWidget()->isMinimized());
        // Board windows keep their contents.
        QCOMPARE(main->counter()->image().text(0), QStringLiteral("12"));
    }
#endif

    void splashHandsOverOnceOnAKey() {
        int shown = 0;
        QPointer<KelNdSplash> splash = new KelNdSplash([&] { ++shown; });
        splash->show();
        QTest::keyClick(splash.data(), Qt::Key_Space);
        QCOMPARE(shown, 1);
        settleDeletes();
        QVERIFY(!splash);
        QTest::qWait(50);
        QCOMPARE(shown, 1);
    }

    void splashHandsOverOnceAfterItsTimer() {
        int shown = 0;
        QPointer<KelNdSplash> splash = new KelNdSplash([&] { ++shown; });
        splash->show();
        QCOMPARE(splash->Timer1->interval(), 5000);
        QVERIFY(splash->Timer1->isSingleShot());
        splash->Timer1->setInterval(10);
        splash->Timer1->start();
        QTRY_COMPARE(shown, 1);
        QTRY_VERIFY(!splash);
    }

    void helpDocument_data() {
        QTest::addColumn<bool>("besideProgram");
        QTest::addColumn<QString>("manualAt");
        QTest::addColumn<QString>("expected");
        const QString installed = QStringLiteral("../share/doc/trv-compteur/manuel/index.html");
        const QString buildTree = QStringLiteral("../../share/doc/trv-compteur/manuel/index.html");
        QTest::newRow("document beside the program") << true << installed << "TRV_VXM.doc";
        QTest::newRow("installed manual") << false << installed << installed;
        QTest::newRow("manual of the build tree") << false << buildTree << buildTree;
        QTest::newRow("neither") << false << QString() << QString();
        QTest::newRow("a folder in the manual's place") << false << installed + "/" << QString();
#ifdef Q_OS_WIN
        // As the Windows installer lays the program out: the manual under its own folder.
        QTest::newRow("manual of the Windows installation") << false << "doc/manuel/index.html"
                                                            << "doc/manuel/index.html";
        QTest::newRow("document beside the Windows installation's manual")
            << true << "doc/manuel/index.html" << QStringLiteral("TRV_VXM.doc");
#endif
    }

    // Who shows what "Aide" found: the desktop's opener for the site's document everywhere
    // and for the manual on Windows; the help window for the manual elsewhere.
    void helpShownBy_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<HelpShownBy>("shownBy");
        const QString onLinux = QStringLiteral("/opt/trv/");
        const QString onWindows = QStringLiteral("C:/Program Files/trv-compteur/");
        // clang-format off
        QTest::newRow("document, Linux")   << onLinux + "bin/TRV_VXM.doc"         << false
                                           << HelpShownBy::Desktop;
        QTest::newRow("document, Windows") << onWindows + "TRV_VXM.doc"           << true
                                           << HelpShownBy::Desktop;
        QTest::newRow("manual, Linux")     << onLinux + "doc/manuel/index.html"   << false
                                           << HelpShownBy::HelpWindow;
        QTest::newRow("manual, Windows")   << onWindows + "doc/manuel/index.html" << true
                                           << HelpShownBy::Desktop;
        // clang-format on
        // Only the exact name beside the program is the site's document.
        QTest::newRow("a page named like the document")
            << "/opt/trv/bin/TRV_VXM.doc.html" << false << HelpShownBy::HelpWindow;
    }
    void helpShownBy() {
        QFETCH(QString, document);
        QFETCH(bool, windows);
        QFETCH(HelpShownBy, shownBy);
        QCOMPARE(trv::helpShownBy(document, windows), shownBy);
    }
    void helpDocument() {
        QFETCH(bool, besideProgram);
        QFETCH(QString, manualAt);
        QFETCH(QString, expected);
        QTemporaryDir root;
        const QDir program(root.filePath(QStringLiteral("build/src/bin")));
        QVERIFY(program.mkpath(QStringLiteral(".")));
        auto create = [&](const QString& relative) {
            const QString path = program.filePath(relative);
            if (path.endsWith(QLatin1Char('/'))) return QDir().mkpath(path);
            QFile f(path);
            return QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly);
        };
        if (besideProgram) QVERIFY(create(QStringLiteral("TRV_VXM.doc")));
        if (!manualAt.isEmpty()) QVERIFY(create(manualAt));
        const QString found = trv::helpDocument(program.path());
        QCOMPARE(found, expected.isEmpty()
                            ? QString()
                            : QFileInfo(program.filePath(expected)).canonicalFilePath());
    }

    // "Aide" as a user chooses it: the manual of the build tree in the help window, with its
    // pictures and its links followed there; or the document that a technician put beside
    // the program, handed to the desktop.
    void aideOpensTheDocumentBesideTheProgramElseTheManual() {
        QList<QUrl> opened;
        main->setOpenDocument([&opened](const QUrl& url) { opened << url; });
        const QDir program(QCoreApplication::applicationDirPath());
        const QString document = program.filePath(QStringLiteral("TRV_VXM.doc"));
        const QFileInfo manual(
            program.filePath(QStringLiteral("../../share/doc/trv-compteur/manuel/index.html")));
        QVERIFY2(manual.isFile(), qPrintable(manual.filePath()));
        QFile::remove(document);

        main->action("MENU_Aide")->trigger();
#ifdef Q_OS_WIN
        // The shell opens the manual in the user's browser; no help window.
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(manual.canonicalFilePath())});
        QVERIFY(!main->helpWindow());
        opened.clear();
#else
        QVERIFY(opened.isEmpty());
        HelpWindow* help = main->helpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(help->parentWidget()->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QTextBrowser* browser = help->browser();
        QCOMPARE(browser->source(), QUrl::fromLocalFile(manual.canonicalFilePath()));
        // The main window's picture, loaded from the manual's folder as drawn.
        // The main window's picture, loaded from the manual's folder and shown whole: as wide
        // as the view at most, in proportion, in a block of its own below the text before it.
        const QVariant resource = browser->document()->resource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("images/principal.png")));
        QImage picture = resource.value<QImage>();
        if (picture.isNull()) picture.loadFromData(resource.toByteArray());
        QVERIFY(!picture.isNull());
        const QImage original(manual.path() + QStringLiteral("/images/principal.png"));
        QVERIFY(picture.width() <= browser->viewport()->width());
        QVERIFY(qAbs(picture.height() * original.width() - original.height() * picture.width()) <=
                original.width());
        const QTextCursor image = browser->document()->find(QStringLiteral("\uFFFC"));
        QVERIFY(!image.isNull());
        QCOMPARE(image.block().text().trimmed(), QStringLiteral("\uFFFC"));
        // A link of the contents, clicked: the place in the manual, in the same window.
        QVERIFY(clickLink(browser, QStringLiteral("Relier un port série")));
        QCOMPARE(browser->source().fragment(), QStringLiteral("port"));
        QVERIFY(browser->verticalScrollBar()->value() > 0);
        QVERIFY(opened.isEmpty());
#endif

        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        main->action("MENU_Aide")->trigger();
        QFile::remove(document);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(document)});
        QCOMPARE(QDir::currentPath(), program.path());
    }

    // Where each kind of link of a manual leads: pages of the manual stay in the window,
    // everything else goes to the desktop.
    void helpWindowFollowsLinks_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("page");      // the window's page after the click
        QTest::addColumn<QString>("external");  // what the desktop was handed
        QTest::newRow("place in the page") << "#fin"
                                           << "index.html#fin"
                                           << "";
        QTest::newRow("another page") << "page2.html"
                                      << "page2.html"
                                      << "";
        QTest::newRow("place in another page") << "page2.html#b"
                                               << "page2.html#b"
                                               << "";
        QTest::newRow("web page") << "https://example.org/x"
                                  << "index.html"
                                  << "https://example.org/x";
        QTest::newRow("e-mail") << "mailto:atelier@example.org"
                                << "index.html"
                                << "mailto:atelier@example.org";
        QTest::newRow("a file that is not a page") << "notes.pdf"
                                                   << "index.html"
                                                   << "@notes.pdf";
    }
    void helpWindowFollowsLinks() {
        QFETCH(QString, link);
        QFETCH(QString, page);
        QFETCH(QString, external);
        QTemporaryDir manual;
        auto write = [&](const QString& name, const QByteArray& html) {
            QFile f(manual.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(html) == html.size();
        };
        QByteArray filler;
        for (int i = 0; i < 80; ++i) filler += "<p>ligne</p>";
        QVERIFY(write(QStringLiteral("index.html"),
                      "<html><body><p><a href=\"" + link.toUtf8() + "\">le lien</a></p>" + filler +
                          "<h2 id=\"fin\">Fin</h2>" + filler + "</body></html>"));
        QVERIFY(write(QStringLiteral("page2.html"), "<html><body><p>page deux</p>" + filler +
                                                        "<h2 id=\"b\">B</h2>" + filler +
                                                        "</body></html>"));
        QList<QUrl> opened;
        HelpWindow w(manual.filePath(QStringLiteral("index.html")),
                     [&opened](const QUrl& url) { opened << url; });
        w.resize(500, 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(clickLink(w.browser(), QStringLiteral("le lien")));

        const QUrl shown = w.browser()->source();
        QCOMPARE(shown.adjusted(QUrl::RemoveFragment),
                 QUrl::fromLocalFile(manual.filePath(page.section(u'#', 0, 0))));
        QCOMPARE(shown.fragment(), page.section(u'#', 1));
        // A place further down is scrolled to.
        QCOMPARE(w.browser()->verticalScrollBar()->value() > 0, page.contains(u'#'));
        const QList<QUrl> handed =
            external.isEmpty() ? QList<QUrl>()
            : external.startsWith(u'@')
                ? QList<QUrl>{QUrl::fromLocalFile(manual.filePath(external.mid(1)))}
                : QList<QUrl>{QUrl(external)};
        QCOMPARE(opened, handed);
        // Back to where the link was, and from anywhere to the first page.
        QCOMPARE(w.backButton()->isEnabled(), external.isEmpty());
        w.homeButton()->click();
        QCOMPARE(w.browser()->source(),
                 QUrl::fromLocalFile(manual.filePath(QStringLiteral("index.html"))));
    }

    // The configuration file's real dialog and a text box's menu speak French.
    void qtOwnTextsAreFrench() {
        QStringList buttons;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            for (auto* b : dialog->findChildren<QPushButton*>()) buttons << b->text();
            dialog->reject();
        });
        poll.start(20);
        openConfiguration([this] { return main->showConfiguration(); }, *prompts, main.get());
        poll.stop();
        QVERIFY2(buttons.contains(QStringLiteral("Annuler")), qPrintable(buttons.join(", ")));

        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList entries;
        for (QAction* a : menu->actions()) entries << a->text();
        QVERIFY2(entries.filter(QStringLiteral("Tout sélectionner")).size() == 1,
                 qPrintable(entries.join(", ")));
    }
};

QTEST_MAIN(AppTest)
#include "test_app.moc"
