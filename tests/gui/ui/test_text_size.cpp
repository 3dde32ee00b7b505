// The board windows at every text size: values fitted to what they hold, the grid panel and
// the traffic monitor opening in view, the size kept between runs. Measured with the fonts the
// install script brings (fonts-comic-neue, fonts-dejavu-core) on an offscreen screen of a
// common desktop's size.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/main_window.h"
#include "boards/counter_window.h"
#include "link/link.h"
#include "port/system_serial_port.h"
#include "test_support.h"
#include "tools/traffic_monitor.h"
#include "ui/preferences.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

using namespace trv;

namespace {
// The row labels' and fields' size at 100 %.
constexpr qreal kRowPoints = 8.25;

qreal digitHeight(const QFont& font) {
    return QFontMetricsF(font).tightBoundingRect(QStringLiteral("0123456789")).height();
}

void typeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// Where a frame lies and the area it must show in.
struct Placed {
    QRect frame;
    QRect area;
};

Placed placed(QWidget* frame) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(frame))
        return {sub->geometry(), sub->mdiArea()->viewport()->rect()};
    return {frame->frameGeometry(), frame->screen()->availableGeometry()};
}

// All of the frame shows, or, larger than its area, its top left does.
bool inView(QWidget* frame) {
    const auto [outer, area] = placed(frame);
    const bool fits = outer.width() <= area.width() && outer.height() <= area.height();
    return fits ? area.contains(outer) : outer.topLeft() == area.topLeft();
}
}  // namespace

class TextSizeTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TempDataHome> home;
    test::MessageRecorder prompts;

private slots:
    void init() { home = std::make_unique<test::TempDataHome>(); }
    void cleanup() { home.reset(); }

    // Comic Neue stands in for the windows' face only where the system lacks the face itself
    // (Windows has it), whatever the case of the name the system gives.
    void faceStandIn_data() {
        QTest::addColumn<QStringList>("families");
        QTest::addColumn<QString>("standIn");
        const QString neue = QStringLiteral("Comic Neue");
        QTest::newRow("Linux, no Comic Sans MS") << QStringList{"DejaVu Sans", neue} << neue;
        QTest::newRow("Windows") << QStringList{"Arial", "Comic Sans MS", "Tahoma"} << QString();
        QTest::newRow("name in another case") << QStringList{"comic sans ms"} << QString();
        QTest::newRow("a face named alike") << QStringList{"Comic Sans MS Pro"} << neue;
        QTest::newRow("no fonts at all") << QStringList{} << neue;
    }
    void faceStandIn() {
        QFETCH(QStringList, families);
        QFETCH(QString, standIn);
        QCOMPARE(trv::faceStandIn(families), standIn);
    }

    // A value is drawn at the window's size whenever it fits, and shrinks only while it would
    // be cut: fitted again at each key typed. Readable: its digits stand as tall as the row
    // labels' at 100 % (9 px at 96 dpi), which ten digits reach from 150 % on.
    void valueFitsWhatItHolds_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("readable");
        // clang-format off
        QTest::newRow("100 % short")       << 100 << "10"         << true  << true;
        QTest::newRow("100 % ten digits")  << 100 << "9876543210" << false << false;
        QTest::newRow("100 % ten, zeros")  << 100 << "0000000003" << false << false;
        QTest::newRow("125 % short")       << 125 << "10"         << true  << true;
        QTest::newRow("125 % ten digits")  << 125 << "9876543210" << false << true;
        QTest::newRow("125 % ten, zeros")  << 125 << "0000000003" << false << false;
        QTest::newRow("150 % short")       << 150 << "10"         << true  << true;
        QTest::newRow("150 % ten digits")  << 150 << "9876543210" << false << true;
        QTest::newRow("150 % ten, zeros")  << 150 << "0000000003" << false << true;
        QTest::newRow("200 % short")       << 200 << "10"         << true  << true;
        QTest::newRow("200 % ten digits")  << 200 << "9876543210" << false << true;
        QTest::newRow("200 % ten, zeros")  << 200 << "0000000003" << false << true;
        // clang-format on
    }
    void valueFitsWhatItHolds() {
        QFETCH(int, percent);
        QFETCH(QString, value);
        QFETCH(bool, full);
        QFETCH(bool, readable);
        Link link(std::make_unique<SystemSerialPort>());
        CounterWindow w(link, prompts, [] { return board::ReplyControl::Oui; });
        scaleWindow(&w, percent / 100.0);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLineEdit* field = w.valeur[1];
        QCOMPARE(QFontInfo(field->font()).family(), QStringLiteral("Comic Neue"));
        const qreal fullPoints = kRowPoints * percent / 100;
        QCOMPARE(field->font().pointSizeF(), fullPoints);  // "50"

        const qreal start = w.valeur[0]->font().pointSizeF();
        const qreal decimals = w.vdeci[1]->font().pointSizeF();
        field->setFocus();
        typeInto(field, QString());
        for (QChar c : value) {
            QTest::keyClick(field, c.toLatin1());
            QVERIFY2(clippedTexts(field).isEmpty(), qPrintable(field->text()));
        }
        QCOMPARE(field->text(), value);
        QCOMPARE(field->font().pointSizeF() == fullPoints, full);
        QVERIFY(field->font().pointSizeF() <= fullPoints);
        QFont label = w.intitu[0]->font();
        label.setPointSizeF(kRowPoints);
        QCOMPARE(digitHeight(field->font()) >= digitHeight(label), readable);
        // Its neighbours keep their size.
        QCOMPARE(w.valeur[0]->font().pointSizeF(), start);
        QCOMPARE(w.vdeci[1]->font().pointSizeF(), decimals);

        // A short value again: the full size again.
        typeInto(field, QStringLiteral("7"));
        QCOMPARE(field->font().pointSizeF(), fullPoints);
    }

    // Opened near the right edge of its area, at every text size, the grid panel shows whole:
    // the window inside the main window's area and the window on its own on the screen.
    void gridPanelOpensInView_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("inMainWindow");
        for (int percent : prefs::kTextSizes) {
            QTest::addRow("%d %% in the main window", percent) << percent << true;
            QTest::addRow("%d %% on its own", percent) << percent << false;
        }
    }
    void gridPanelOpensInView() {
        QFETCH(int, percent);
        QFETCH(bool, inMainWindow);
        std::unique_ptr<MainWindow> main;
        std::unique_ptr<Link> link;
        std::unique_ptr<CounterWindow> own;
        CounterWindow* counter = nullptr;
        QWidget* frame = nullptr;
        if (inMainWindow) {
            main = std::make_unique<MainWindow>(std::make_unique<SystemSerialPort>(), prompts);
            main->show();
            QVERIFY(QTest::qWaitForWindowExposed(main.get()));
            main->setTextSize(percent);
            counter = main->showCounter();
            frame = counter->parentWidget();
        } else {
            link = std::make_unique<Link>(std::make_unique<SystemSerialPort>());
            own = std::make_unique<CounterWindow>(*link, prompts,
                                                  [] { return board::ReplyControl::Oui; });
            counter = own.get();
            scaleWindow(counter, percent / 100.0);
            counter->show();
            QVERIFY(QTest::qWaitForWindowExposed(counter));
            frame = counter;
        }
        QCOMPARE(counter->size(),
                 (QSize(qRound(174 * percent / 100.0), qRound(308 * percent / 100.0))));
        // As far right as the closed window goes.
        const auto [closed, area] = placed(frame);
        frame->move(frame->pos() + QPoint(area.right() - closed.right(), 0));
        QVERIFY(placed(frame).frame.right() == area.right());

        counter->Command2->click();
        QVERIFY(placed(frame).frame.width() > closed.width() * 4);
        QVERIFY(inView(frame));
    }

    // The menu scales the open board windows and those opened later, as a whole: sizes and
    // places in proportion to their twips, fonts with them; the choice outlives the program.
    void textSizeMenu_data() {
        QTest::addColumn<int>("percent");
        for (int percent : prefs::kTextSizes) QTest::addRow("%d %%", percent) << percent;
    }
    void textSizeMenu() {
        QFETCH(int, percent);
        const qreal factor = percent / 100.0;
        auto main = std::make_unique<MainWindow>(std::make_unique<SystemSerialPort>(), prompts);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        QVERIFY(main->action("MENU_TAILLE_100")->isChecked());
        CounterWindow* counter = main->showCounter();
        const QRect button = counter->butLitPara->geometry();
        const QSize frame = counter->parentWidget()->size();

        main->action(qPrintable(QStringLiteral("MENU_TAILLE_%1").arg(percent)))->trigger();
        for (int size : prefs::kTextSizes)
            QCOMPARE(
                main->action(qPrintable(QStringLiteral("MENU_TAILLE_%1").arg(size)))->isChecked(),
                size == percent);
        const auto checkScaled = [&](CounterWindow* w) {
            QCOMPARE(w->size(), QSize(qRound(174 * factor), qRound(308 * factor)));
            QCOMPARE(w->parentWidget()->size() - w->size(), frame - QSize(174, 308));
            QCOMPARE(w->butLitPara->geometry(),
                     QRect(QPoint(qRound(button.left() * factor), qRound(button.top() * factor)),
                           QPoint(qRound((button.right() + 1) * factor) - 1,
                                  qRound((button.bottom() + 1) * factor) - 1)));
            // Rows that meet at 100 % still meet.
            QCOMPARE(w->intitu[0]->geometry().right() + 1, w->valeur[0]->x());
            QCOMPARE(w->intitu[3]->font().pointSizeF(), kRowPoints * factor);
        };
        checkScaled(counter);

        // Kept: the next run opens its board windows at that size.
        main = std::make_unique<MainWindow>(std::make_unique<SystemSerialPort>(), prompts);
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        QVERIFY(
            main->action(qPrintable(QStringLiteral("MENU_TAILLE_%1").arg(percent)))->isChecked());
        checkScaled(main->showCounter());

        // And back.
        main->action("MENU_TAILLE_100")->trigger();
        QCOMPARE(main->counter()->size(), QSize(174, 308));
        QCOMPARE(main->counter()->butLitPara->geometry(), button);
        QCOMPARE(main->counter()->valeur[0]->font().pointSizeF(), kRowPoints);
    }

    void placeInView_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QPoint>("place");
        const QRect screen(0, 0, 1280, 800);
        QTest::newRow("the field test's grid panel")
            << QRect(781, 30, 786, 332) << screen << QPoint(494, 30);
        QTest::newRow("past both") << QRect(1200, 700, 300, 200) << screen << QPoint(980, 600);
        QTest::newRow("wider than the area") << QRect(500, 0, 1564, 664) << screen << QPoint(0, 0);
        QTest::newRow("second screen")
            << QRect(2900, 100, 786, 332) << QRect(1280, 0, 1920, 1080) << QPoint(2414, 100);
    }
    void placeInView() {
        QFETCH(QRect, frame);
        QFETCH(QRect, area);
        QFETCH(QPoint, place);
        QCOMPARE(trv::placeInView(frame, area), place);
    }

    // The traffic monitor opens with every column in view and can take the whole area.
    void trafficMonitorOpensWhole() {
        MainWindow main(std::make_unique<SystemSerialPort>(), prompts);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        TrafficMonitor* monitor = main.showTrafficMonitor();
        auto* frame = qobject_cast<QMdiSubWindow*>(monitor->parentWidget());
        QVERIFY(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
        QTableView* view = monitor->view();
        const int columns = view->model()->columnCount();
        QCOMPARE(columns, int(trace::TraceModel::ColumnCount));
        for (int c = 0; c < columns; ++c)
            QVERIFY2(
                view->columnViewportPosition(c) + view->columnWidth(c) <= view->viewport()->width(),
                qPrintable(QString::number(c)));
        frame->showMaximized();
        QCOMPARE(frame->geometry(), main.mdiArea()->viewport()->rect());
    }
};

int main(int argc, char* argv[]) {
    // The offscreen platform's screen at a common desktop's size rather than its own 800 × 600.
#ifdef Q_OS_WIN
    // Its options are separated by colons, so the file's path must not start with a drive
    // letter: a folder under the current one, named relative to it.
    QTemporaryDir dir(QStringLiteral("screen-XXXXXX"));
#else
    QTemporaryDir dir;
#endif
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        QFile config(dir.filePath(QStringLiteral("screen.json")));
        if (!config.open(QIODevice::WriteOnly) ||
            config.write(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": true,
                "screens": [{"name": "Bureau", "x": 0, "y": 0, "width": 1920, "height": 1080,
                "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
            return 2;
        config.close();
#ifdef Q_OS_WIN
        const QString path = QDir::current().relativeFilePath(config.fileName());
#else
        const QString path = config.fileName();
#endif
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
    }
    QApplication app(argc, argv);
    TextSizeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_text_size.moc"
