// The program as a technician meets it: every window after real operations against the
// simulated board, with the fonts the install script brings. Every text fits its control,
// the keyboard only reaches what can be seen, and one operation runs at a time.
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <map>

#include "app/kel_nd_splash.h"
#include "app/main_window.h"
#include "boards/counter_window.h"
#include "boards/luminosity_window.h"
#include "boards/switches_window.h"
#include "configuration/settings_window.h"
#include "image/image_file.h"
#include "image/image_history.h"
#include "port/qt_serial_port.h"
#include "sim/pty_board.h"
#include "test_support.h"
#include "tools/detect.h"
#include "tools/history_window.h"
#include "ui/preferences.h"
#include "ui/text_fit.h"

using namespace trv;

namespace {
// The signed board with ten-digit values, a four-digit step and a threshold byte the slider
// cannot show.
sim::Eeprom wideImage() {
    sim::Eeprom e = sim::presetImage(sim::Preset::Signed);
    const quint8 start[] = {0x12, 0x90, 0x78, 0x56, 0x34, 0x12};  // 1234567890,12
    const quint8 end[] = {0x99, 0x10, 0x32, 0x54, 0x76, 0x98};    // 9876543210,99
    for (int i = 0; i < 6; ++i) {
        e[std::size_t(i)] = start[i];
        e[std::size_t(6 + i)] = end[i];
        e[std::size_t(24 + i)] = 0x88;  // maximum end 8888888888,88
        e[std::size_t(64 + i)] = 0x00;
    }
    e[55] = 0x34;  // step 1234
    e[56] = 0x12;
    e[62] = 0xFF;  // threshold byte 255
    return e;
}

// Every control of a window whose text is clipped, with the texts concerned.
QStringList clippedControls(const QWidget* window) {
    QStringList found;
    for (const QWidget* c : window->findChildren<QWidget*>()) {
        const QStringList clipped = clippedTexts(c);
        if (!clipped.isEmpty())
            found << QStringLiteral("%1 %2 (%3 pt, %4 px wide): %5")
                         .arg(window->objectName(), c->objectName())
                         .arg(c->font().pointSizeF())
                         .arg(textArea(c).width())
                         .arg(clipped.join(QStringLiteral(" | ")));
    }
    return found;
}
}  // namespace

class FieldUseTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    std::unique_ptr<sim::PtyBoard> board;
    // What the main window and its windows show and ask, recorded.
    std::unique_ptr<test::MessageRecorder> prompts;
    std::unique_ptr<MainWindow> main;

    // The recorder, emptied of what earlier steps showed.
    test::MessageRecorder& freshRecorder() {
        prompts->clear();
        return *prompts;
    }

    SettingsWindow* settings() { return main->configuration(); }
    void validate() {
        test::MessageRecorder& recorder = freshRecorder();
        settings()->validateButton()->click();
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("Ouverture du port COM3: effectuée avec succès.")});
    }

private slots:
    void init() {
        home = std::make_unique<test::TempDataHome>();
        sim::PtyBoardOptions options;
        options.port = 3;
        options.pacing = false;
        board = std::make_unique<sim::PtyBoard>(options);
        board->setEeprom(wideImage());
        QVERIFY2(board->start(), qPrintable(board->errorString()));
        prompts = std::make_unique<test::MessageRecorder>();
        main = std::make_unique<MainWindow>(std::make_unique<QtSerialPort>(), *prompts);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }
    void cleanup() {
        main.reset();
        prompts.reset();
        board.reset();
        home.reset();
    }

    // The measure behind the layout check: a text cut by its control is found, and fitting
    // shrinks that control alone until the text shows whole.
    void fittingShrinksOnlyWhatIsCut_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cut");
        QTest::newRow("ten digits in a value field") << "field" << 55 << "1234567890" << true;
        QTest::newRow("two digits in a value field") << "field" << 55 << "12" << false;
        QTest::newRow("caption box") << "caption" << 75 << "Pas de comptage:" << true;
        QTest::newRow("label") << "label" << 38 << "COM 10:" << true;
        QTest::newRow("short label") << "label" << 49 << "Libre." << false;
        QTest::newRow("button") << "button" << 90 << "Programme les paramètres" << true;
        QTest::newRow("list") << "list" << 150 << "8 Digits 99 heu 59 min 59 sec 99 cen" << true;
    }
    void fittingShrinksOnlyWhatIsCut() {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(QString, text);
        QFETCH(bool, cut);
        QWidget window;
        window.setFont(windowFont(8.25));
        QWidget* control = nullptr;
        if (kind == QLatin1String("field") || kind == QLatin1String("caption")) {
            auto* edit = new QLineEdit(text, &window);
            edit->setReadOnly(kind == QLatin1String("caption"));
            control = edit;
        } else if (kind == QLatin1String("label")) {
            control = new QLabel(text, &window);
        } else if (kind == QLatin1String("button")) {
            control = new QPushButton(text, &window);
        } else {
            auto* list = new QComboBox(&window);
            list->addItems({QStringLiteral("NON"), text});
            control = list;
        }
        control->setGeometry(0, 0, width, 19);
        auto* neighbour = new QLabel(QStringLiteral("OUI"), &window);
        neighbour->setGeometry(0, 20, 60, 19);
        QCOMPARE(!clippedTexts(control).isEmpty(), cut);
        finishWindow(&window);
        QCOMPARE(clippedTexts(control), QStringList());
        QCOMPARE(control->font().pointSizeF() < 8.25, cut);
        QCOMPARE(neighbour->font().pointSizeF(), 8.25);
    }

    // Every window in the states a technician sees, at every text size: read from a board of
    // ten-digit values, grid panel open, after a detection scan. No text is clipped by its
    // control.
    void everyTextFits_data() {
        QTest::addColumn<int>("percent");
        for (int percent : prefs::kTextSizes) QTest::addRow("%d %%", percent) << percent;
    }
    void everyTextFits() {
        QFETCH(int, percent);
        main->setTextSize(percent);
        validate();
        test::MessageRecorder& recorder = freshRecorder();
        CounterWindow* counter = main->counter();
        counter->butLitPara->click();
        QCOMPARE(counter->valeur[0]->text(), QStringLiteral("1234567890"));
        QCOMPARE(counter->valeur[1]->text(), QStringLiteral("9876543210"));
        QCOMPARE(counter->valeur[8]->text(), QStringLiteral("1234"));
        counter->Command2->click();
        main->luminosity()->butLitLum->click();
        main->switches()->litSw->click();
        main->showDetect()->scan();
        QCOMPARE(recorder.texts().count(QStringLiteral("Lecture effectuée avec succés.")), 3);
        QCOMPARE(main->luminosity()->text4->text(), QStringLiteral("Seuil lu: 255 (conservé)"));

        QList<QWidget*> windows;
        for (QMdiSubWindow* frame : main->mdiArea()->subWindowList()) windows << frame->widget();
        QCOMPARE(windows.size(), 5);
        KelNdSplash splash({});
        windows << &splash;
        QStringList clipped;
        for (QWidget* w : windows) clipped += clippedControls(w);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u'\n')));

        // The face asked for, or the one that stands in for it: never a fallback's.
        for (QWidget* w : windows.mid(0, 5)) {
            const QString family = QFontInfo(w->font()).family();
            QVERIFY2(
                family == QLatin1String("Comic Sans MS") || family == QLatin1String("Comic Neue"),
                qPrintable(w->objectName() + u' ' + family));
        }
    }

    // The keyboard as a technician uses it: Tab reaches only what can be seen, Enter presses
    // the focused button, and after the port opens the focus waits in "Départ".
    void keyboard() {
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        const auto tabChain = [](QWidget* start, int presses) {
            QStringList names;
            start->setFocus();
            for (int i = 0; i < presses; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                names << QApplication::focusWidget()->objectName();
            }
            return names;
        };
        const auto allVisible = [](QWidget* window) {
            QWidget* f = QApplication::focusWidget();
            return window->isAncestorOf(f) &&
                   window->rect().intersects(QRect(f->mapTo(window, QPoint(0, 0)), f->size()));
        };

        // Settings: the three visible lists and the button, round and round.
        QComboBox* inter = settings()->list(Setting::Inter);
        const QStringList settingsChain = tabChain(settings()->list(Setting::Com), 8);
        QCOMPARE(QSet<QString>(settingsChain.begin(), settingsChain.end()),
                 QSet<QString>({"SEL_COM", "SEL_COUL", "SEL_REP", "BOUTON_VALIDE"}));
        settings()->list(Setting::Com)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(inter->currentIndex(), 0);
        QCOMPARE(settings()->list(Setting::Rep)->currentIndex(), 1);

        // Enter on the focused button validates; the focus then waits in "Départ".
        test::MessageRecorder& recorder = freshRecorder();
        settings()->validateButton()->setFocus();
        QTest::keyClick(settings()->validateButton(), Qt::Key_Return);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("Ouverture du port COM3: effectuée avec succès.")});
        CounterWindow* counter = main->counter();
        QTRY_COMPARE(QApplication::focusWidget(), counter->valeur[0]);

        // Panel closed: Tab never enters the grid.
        QStringList counterChain;
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(allVisible(counter), qPrintable(QApplication::focusWidget()->objectName()));
            counterChain << QApplication::focusWidget()->objectName();
        }
        QVERIFY(counterChain.contains("but_ecrit_para") && counterChain.contains("vdeci(8)"));
        QCOMPARE(counterChain.first(), QStringLiteral("vdeci(0)"));

        // Panel open: the cells are in the chain and take typing; closed again, they are not.
        counter->Command2->click();
        const QStringList open = tabChain(counter->butEcritPara, 3);
        QCOMPARE(open, QStringList({"Command2", "Text1(0)", "Text1(1)"}));
        QTest::keyClicks(QApplication::focusWidget(), "ab");
        QCOMPARE(counter->image().text(1), QStringLiteral("AB"));
        counter->grid().extension->setFocus();
        QTest::keyClick(counter->grid().extension, Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), counter->valeur[0]);
        QCOMPARE(tabChain(counter->butEcritPara, 2), QStringList({"Command2", "valeur(0)"}));

        // Enter on "Lire les paramètres" reads.
        recorder.clear();
        counter->butLitPara->setFocus();
        QTest::keyClick(counter->butLitPara, Qt::Key_Enter);
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral("Lecture effectuée avec succés.")});
        QCOMPARE(counter->valeur[0]->text(), QStringLiteral("1234567890"));
    }

    // A request that arrives while a read runs, by a route that user-input holding does not
    // cover (here a timer, as an accessibility tool's press would): it is dropped whole.
    void secondRequestDuringARead_data() {
        QTest::addColumn<QString>("request");
        for (const char* request :
             {"program", "grid write", "grid read", "luminosity program", "switches read",
              "detection", "validation", "new configuration", "close settings"})
            QTest::newRow(request) << QString::fromLatin1(request);
    }
    void secondRequestDuringARead() {
        QFETCH(QString, request);
        validate();
        main->showDetect();
        CounterWindow* counter = main->counter();
        const std::map<QString, std::function<void()>> requests{
            {"program", [&] { counter->butEcritPara->click(); }},
            {"grid write", [&] { counter->grid().butWr->click(); }},
            {"grid read", [&] { counter->grid().butRd->click(); }},
            {"luminosity program", [&] { main->luminosity()->butEcritLum->click(); }},
            {"switches read", [&] { main->switches()->litSw->click(); }},
            {"detection", [&] { main->detect()->Command1->click(); }},
            {"validation", [&] { settings()->validateButton()->click(); }},
            {"new configuration", [&] { main->action("MENU_NOUVELLE")->trigger(); }},
            {"close settings", [&] { settings()->parentWidget()->close(); }},
        };
        for (int f = 0; f < 9; ++f) counter->valeur[std::size_t(f)]->setText(QString());
        const sim::Eeprom before = board->eeprom();
        board->clearReceived();
        test::MessageRecorder& recorder = freshRecorder();
        bool delivered = false;
        QTimer::singleShot(700, counter, [&] {
            QVERIFY(main->link().busy());
            requests.at(request)();
            delivered = true;
        });
        counter->butLitPara->click();
        QVERIFY(delivered);

        // One read, nothing else: no write, no second wake-up, the board as it was.
        QCOMPARE(recorder.texts(), QStringList{QStringLiteral("Lecture effectuée avec succés.")});
        QTest::qWait(300);
        QCOMPARE(board->received(), test::readingFrames() + test::closingBurst());
        QVERIFY(board->eeprom() == before);
        QCOMPARE(counter->valeur[0]->text(), QStringLiteral("1234567890"));
        QCOMPARE(counter->image().text(0), QStringLiteral("12"));
        QVERIFY(main->link().portOpen() && main->link().port().isOpen());
        QVERIFY(settings());
    }

    // As a new user: the luminosity changed, then the image from before it put back from the
    // history with "Restaurer sur la carte…": the board equals that image byte for byte.
    void luminosityUndoneFromTheHistory() {
        validate();
        const sim::Eeprom before = board->eeprom();
        LuminosityWindow* lum = main->showLuminosity();
        lum->Option1[3]->setChecked(true);
        test::MessageRecorder& recorder = freshRecorder();
        lum->butEcritLum->click();
        // Verification is on from the start.
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("Programmation effectuée avec succés. Vérifiée.")});
        QVERIFY(board->eeprom() != before);

        HistoryWindow* h = main->showHistory();
        auto kinds = [h] {
            QStringList k;
            for (int i = 0; i < h->list->topLevelItemCount(); ++i)
                k << h->list->topLevelItem(i)->text(3);
            return k;
        };
        QCOMPARE(kinds(), (QStringList{"vérification", "écrite", "lue avant programmation"}));
        h->list->setCurrentItem(h->list->topLevelItem(2));
        freshRecorder();
        recorder.answer = [](const QString&) { return true; };
        h->butRestaurer->click();
        QCOMPARE(recorder.questions.size(), 1);
        QVERIFY(recorder.questionDetails[0].contains(
            QStringLiteral("Luminosité : carte 60 % / image 100 %")));
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("Restauration effectuée avec succés : la carte "
                                            "contient l'image choisie, octet pour octet (relue et "
                                            "vérifiée).")});
        QVERIFY(board->eeprom() == before);
        QCOMPARE(kinds().mid(0, 3),
                 (QStringList{"vérification", "écrite", "lue avant programmation"}));
        QCOMPARE(kinds().size(), 6);
        QCOMPARE(lum->Option1[1]->isChecked(), true);  // the window shows the board again
    }

    // A cell that does not take a write is named, with no preference ever set.
    void stuckCellNamedByDefault() {
        validate();
        CounterWindow* counter = main->showCounter();
        sim::Faults stuck;
        stuck.unwritten = 1;
        board->setFaults(stuck);
        counter->valeur[0]->setText(QStringLiteral("12"));
        test::MessageRecorder& recorder = freshRecorder();
        counter->butEcritPara->click();
        QCOMPARE(recorder.texts().size(), 1);
        QVERIFY2(recorder.texts()[0].startsWith(
                     QStringLiteral("La vérification a échoué : la carte ne contient pas "
                                    "l'image programmée.\nAdresses : 0x01.\n")),
                 qPrintable(recorder.texts()[0]));
        const QSettings prefs(
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/trv-compteur/trv-compteur.conf"),
            QSettings::IniFormat);
        QVERIFY(!prefs.contains(QStringLiteral("image/verifierApresProgrammation")));
    }
};

QTEST_MAIN(FieldUseTest)
#include "test_field_use.moc"
