// Every board window and every way into the board, refused while no port is validated: one
// warning, nothing sent, nothing on screen changed. The port itself is open on the simulated
// board, so only the port-open flag stops the frames.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <functional>

#include "boards/counter_window.h"
#include "boards/luminosity_window.h"
#include "boards/switches_window.h"
#include "simulated_board.h"
#include "tools/link_test.h"
#include "ui/colours.h"

using namespace trv;

namespace {
const QString kGuard = QStringLiteral(
    "Pas de port COM ouvert. Veuillez valider la Configuration dans le menu Configuration.");

// What a technician sees of a window, one "name=value" line per named control.
QStringList shown(const QWidget* w) {
    QStringList s;
    for (const QWidget* c : w->findChildren<QWidget*>()) {
        if (c->objectName().isEmpty()) continue;
        const QString name = c->objectName() + u'=';
        if (auto* e = qobject_cast<const QLineEdit*>(c)) {
            s << name + e->text();
            const auto bg = colour::background(e);
            s << c->objectName() + QStringLiteral(" fond=") +
                     (bg ? QString::number(*bg) : QStringLiteral("aucun"));
        } else if (auto* b = qobject_cast<const QAbstractButton*>(c); b && b->isCheckable()) {
            s << name + (b->isChecked() ? QStringLiteral("oui") : QStringLiteral("non"));
        } else if (auto* v = qobject_cast<const QAbstractSlider*>(c)) {
            s << name + QString::number(v->value());
        } else if (auto* l = qobject_cast<const QLabel*>(c)) {
            s << name + l->text();
        }
    }
    return s;
}

// A window as a technician leaves it before asking for the board.
using Make = std::function<std::unique_ptr<QWidget>(Link&, Prompts&)>;

template <typename W>
std::unique_ptr<W> boardWindow(Link& link, Prompts& prompts) {
    return std::make_unique<W>(link, prompts, [] { return board::ReplyControl::Oui; });
}

Make counterWindow() {
    return [](Link& link, Prompts& prompts) -> std::unique_ptr<QWidget> {
        auto w = boardWindow<CounterWindow>(link, prompts);
        w->valeur[0]->setText(QStringLiteral("77"));
        return w;
    };
}
Make luminosityWindow() {
    return [](Link& link, Prompts& prompts) -> std::unique_ptr<QWidget> {
        auto w = boardWindow<LuminosityWindow>(link, prompts);
        w->Option1[3]->click();
        w->dureLdr->setValue(20);
        return w;
    };
}
Make switchesWindow() {
    return [](Link& link, Prompts& prompts) -> std::unique_ptr<QWidget> {
        auto w = boardWindow<SwitchesWindow>(link, prompts);
        w->show();
        for (int i : {1, 4, 7}) QTest::mouseClick(w->Text3[std::size_t(i)], Qt::LeftButton);
        for (int i : {0, 6})
            w->SW2[std::size_t(i)]->triggerAction(QAbstractSlider::SliderSingleStepSub);
        return w;
    };
}
// A window whose grid was filled with "Lin" beforehand.
Make filled(const Make& make) {
    return [make](Link& link, Prompts& prompts) {
        auto w = make(link, prompts);
        w->findChild<QPushButton*>(QStringLiteral("but_lin"))->click();
        return w;
    };
}
Make linkTestWindow() {
    return [](Link& link, Prompts& prompts) -> std::unique_ptr<QWidget> {
        return std::make_unique<LinkTest>(link, prompts);
    };
}
}  // namespace

Q_DECLARE_METATYPE(Make)

class WithoutPortTest : public test::SharedBoardTest {
    Q_OBJECT

private slots:
    void nothingIsSent_data() {
        QTest::addColumn<Make>("make");
        QTest::addColumn<QString>("entry");      // the button clicked, or an Image menu action
        QTest::addColumn<QStringList>("still");  // lines the window must still show
        const QStringList counterFields{"valeur(0)=77", "valeur(1)=50", "Text1(0)="};
        const QStringList luminosityControls{"Option1(3)=oui", "DURE_LDR=20"};
        const QStringList levers{"Text3(1) fond=" + QString::number(colour::kGreen), "SW2(0)=0",
                                 "Label30="};
        const QStringList fill{"Text1(127)=7F",
                               "Text1(127) fond=" + QString::number(colour::kWhite)};
        // clang-format off
        QTest::newRow("counter, read") << counterWindow() << "but_lit_para" << counterFields;
        QTest::newRow("counter, program") << counterWindow() << "but_ecrit_para" << counterFields;
        QTest::newRow("counter, grid read") << filled(counterWindow()) << "but_RD" << fill;
        QTest::newRow("counter, grid write") << filled(counterWindow()) << "but_WR" << fill;
        QTest::newRow("counter, compare") << filled(counterWindow()) << "compare" << fill;
        QTest::newRow("luminosity, read") << luminosityWindow() << "but_LIT_LUM" << luminosityControls;
        QTest::newRow("luminosity, program") << luminosityWindow() << "but_ECRIT_LUM" << luminosityControls;
        QTest::newRow("luminosity, grid read") << filled(luminosityWindow()) << "but_RD" << fill;
        QTest::newRow("luminosity, grid write") << filled(luminosityWindow()) << "but_WR" << fill;
        QTest::newRow("switches, read") << switchesWindow() << "LIT_SW" << levers;
        QTest::newRow("switches, grid read") << switchesWindow() << "but_RD" << levers;
        QTest::newRow("switches, compare") << switchesWindow() << "compare" << levers;
        QTest::newRow("link test") << linkTestWindow() << "but_demarrer" << QStringList{"verdict="};
        // clang-format on
    }
    void nothingIsSent() {
        QFETCH(Make, make);
        QFETCH(QString, entry);
        QFETCH(QStringList, still);
        test::MessageRecorder recorder;
        const auto w = make(*link, recorder);
        const QStringList before = shown(w.get());
        for (const QString& line : still) QVERIFY2(before.contains(line), qPrintable(line));
        QVERIFY(recorder.messages.isEmpty());

        link->setPortOpen(false);
        if (entry == QLatin1String("compare"))
            static_cast<BoardWindow*>(w.get())->compareWithBoard();
        else
            w->findChild<QPushButton*>(entry)->click();
        link->setPortOpen(true);

        QCOMPARE(recorder.texts(), QStringList{kGuard});
        QCOMPARE(recorder.messages[0].kind, msg::Kind::Warning);
        QCOMPARE(shown(w.get()), before);
        if (auto* t = qobject_cast<LinkTest*>(w.get())) QVERIFY(!t->running());
        QTest::qWait(100);
        QCOMPARE(board->received(), QByteArray());
    }
};

QTEST_MAIN(WithoutPortTest)
#include "test_without_port.moc"
