#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/prompts.h"

using trv::PlatformPrompts;
namespace msg = trv::msg;

Q_DECLARE_METATYPE(msg::Kind)
Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace {

// Runs `prompt` and hands the modal widget it opens to `answer`, which closes it.
template <typename W>
bool whileModal(const std::function<void()>& prompt, const std::function<void(W*)>& answer) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!w || seen) return;
        seen = true;
        answer(w);
    });
    poll.start();
    // Never leave the test waiting on a box nobody answers.
    QTimer::singleShot(10000, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    prompt();
    return seen;
}

}  // namespace

// The program's own prompts: the real modal boxes and file dialogs.
class PromptsTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxes_data() {
        QTest::addColumn<msg::Kind>("kind");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::newRow("info") << msg::Kind::Info << QString() << QMessageBox::Information;
        QTest::newRow("warning") << msg::Kind::Warning << QString() << QMessageBox::Warning;
        QTest::newRow("critical, with its cause")
            << msg::Kind::Critical << QStringLiteral("le port est absent") << QMessageBox::Critical;
        QTest::newRow("plain") << msg::Kind::Plain << QString() << QMessageBox::NoIcon;
    }
    // One modal box on the parent, captioned "TRV_T", the text as given, one OK button.
    void messageBoxes() {
        QFETCH(msg::Kind, kind);
        QFETCH(QString, detail);
        QFETCH(QMessageBox::Icon, icon);
        QWidget parent;
        parent.show();
        PlatformPrompts prompts;
        QMessageBox::Icon shownIcon{};
        QString caption, text, informative;
        QWidget* shownParent = nullptr;
        QStringList buttons;
        bool ok = false;
        const bool seen = whileModal<QMessageBox>(
            [&] { prompts.show(kind, &parent, QStringLiteral("Lecture effectuée."), detail); },
            [&](QMessageBox* box) {
                shownIcon = box->icon();
                caption = box->windowTitle();
                text = box->text();
                informative = box->informativeText();
                shownParent = box->parentWidget();
                for (QAbstractButton* b : box->buttons()) buttons << b->text();
                ok = box->buttons().size() == 1 &&
                     box->standardButton(box->buttons().front()) == QMessageBox::Ok;
                box->buttons().front()->click();
            });
        QVERIFY(seen);
        QCOMPARE(shownIcon, icon);
        QCOMPARE(caption, QStringLiteral("TRV_T"));
        QCOMPARE(text, QStringLiteral("Lecture effectuée."));
        QCOMPARE(informative, detail);
        QCOMPARE(shownParent, &parent);
        QVERIFY2(ok, qPrintable(buttons.join(u',')));
    }

    // The question box: Oui goes on; Non, Escape and an Enter pressed by habit do not.
    void question_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("goesOn");
        QTest::newRow("Oui") << "yes" << true;
        QTest::newRow("Non") << "no" << false;
        QTest::newRow("Enter") << "enter" << false;
        QTest::newRow("Escape") << "escape" << false;
    }
    void question() {
        QFETCH(QString, answer);
        QFETCH(bool, goesOn);
        QWidget parent;
        parent.show();
        PlatformPrompts prompts;
        bool result = !goesOn;
        QString caption, informative;
        QMessageBox::Icon icon{};
        const bool seen = whileModal<QMessageBox>(
            [&] {
                result = prompts.question(&parent, QStringLiteral("Restaurer ?"),
                                          QStringLiteral("Adresses : 0x3C."));
            },
            [&](QMessageBox* box) {
                caption = box->windowTitle();
                informative = box->informativeText();
                icon = box->icon();
                if (answer == QLatin1String("yes"))
                    box->button(QMessageBox::Yes)->click();
                else if (answer == QLatin1String("no"))
                    box->button(QMessageBox::No)->click();
                else
                    QTest::keyClick(
                        box, answer == QLatin1String("enter") ? Qt::Key_Return : Qt::Key_Escape);
            });
        QVERIFY(seen);
        QCOMPARE(result, goesOn);
        QCOMPARE(caption, QStringLiteral("TRV_T"));
        QCOMPARE(informative, QStringLiteral("Adresses : 0x3C."));
        QCOMPARE(icon, QMessageBox::Question);
    }

    void fileDialogs_data() {
        QTest::addColumn<int>("which");  // open, save, save asking
        QTest::addColumn<QString>(
            "pick");  // the file chosen: none (cancel), an existing one, a new one
        QTest::addColumn<int>("boxes");   // boxes the dialog puts in the way (answered yes)
        QTest::addColumn<bool>("taken");  // the chosen path comes back
        QTest::newRow("open, cancelled") << 0 << "" << 0 << false;
        QTest::newRow("open, an existing file") << 0 << "existing" << 0 << true;
        QTest::newRow("open, a missing file is refused") << 0 << "new" << 1 << false;
        QTest::newRow("save, cancelled") << 1 << "" << 0 << false;
        QTest::newRow("save, an existing file as is") << 1 << "existing" << 0 << true;
        QTest::newRow("save, a new file") << 1 << "new" << 0 << true;
        QTest::newRow("save asking, cancelled") << 2 << "" << 0 << false;
        QTest::newRow("save asking, an existing file") << 2 << "existing" << 1 << true;
        QTest::newRow("save asking, a new file") << 2 << "new" << 0 << true;
    }
    // Each dialog carries the title, the filters and the initial name and adds no suffix; it
    // answers the chosen path, or an empty name when cancelled. Only the asking save questions
    // an existing name, and only the open refuses a missing one.
    void fileDialogs() {
        QFETCH(int, which);
        QFETCH(QString, pick);
        QFETCH(int, boxes);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("existing.hex"));
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString chosen = pick.isEmpty() ? QString() : dir.filePath(pick + ".hex");

        PlatformPrompts prompts;
        const QString title = QStringLiteral("Enregistrer l'image");
        const QString filter = QStringLiteral("Image Intel HEX (*.hex);;Tous les fichiers (*)");
        const QString initial = QStringLiteral("compteur.hex");
        QString shownTitle, fileName, suffix;
        QStringList filters;
        int boxesSeen = 0;
        QPointer<QMessageBox> lastBox;
        QFileDialog* seen = nullptr;
        QString answer = QStringLiteral("unanswered");
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (box == lastBox) return;
                lastBox = box;
                ++boxesSeen;
                QAbstractButton* yes = box->button(QMessageBox::Yes);
                QTimer::singleShot(0, yes ? yes : box->buttons().front(), &QAbstractButton::click);
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !seen) {
                seen = dialog;
                shownTitle = dialog->windowTitle();
                filters = dialog->nameFilters();
                suffix = dialog->defaultSuffix();
                fileName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
                if (chosen.isEmpty()) {
                    dialog->reject();
                } else {
                    // Typed into the name box, as a technician would.
                    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    QVERIFY(name);
                    name->setText(chosen);
                    QTimer::singleShot(0, dialog, &QDialog::accept);
                }
            } else if (modal && modal == seen && boxesSeen > 0) {
                seen->reject();  // still open after refusing the name
            }
        });
        poll.start();
        // Never leave the test waiting on a box nobody answers.
        QTimer::singleShot(10000, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        if (which == 0) answer = prompts.openFileName(nullptr, title, filter, initial);
        if (which == 1) answer = prompts.saveFileName(nullptr, title, filter, initial);
        if (which == 2) answer = prompts.saveFileNameAsking(nullptr, title, filter, initial);
        QVERIFY(seen);
        QCOMPARE(shownTitle, title);
        QCOMPARE(filters, (QStringList{QStringLiteral("Image Intel HEX (*.hex)"),
                                       QStringLiteral("Tous les fichiers (*)")}));
        QVERIFY(suffix.isEmpty());
        QCOMPARE(fileName, initial);
        QCOMPARE(boxesSeen, boxes);
        QCOMPARE(answer, taken ? chosen : QString());
    }
};

QTEST_MAIN(PromptsTest)
#include "test_prompts.moc"
