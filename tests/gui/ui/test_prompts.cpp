#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/prompts.h"

using trv::PlatformPrompts;
namespace msg = trv::msg;

Q_DECLARE_METATYPE(msg::Kind)
Q_DECLARE_METATYPE(QMessageBox::Icon)
Q_DECLARE_METATYPE(QFileDialog::AcceptMode)
Q_DECLARE_METATYPE(QFileDialog::FileMode)

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

    void fileDialogs_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QFileDialog::AcceptMode>("mode");
        QTest::addColumn<QFileDialog::FileMode>("files");
        QTest::addColumn<bool>("confirmsOverwrite");
        QTest::newRow("open") << 0 << QFileDialog::AcceptOpen << QFileDialog::ExistingFile << true;
        QTest::newRow("save") << 1 << QFileDialog::AcceptSave << QFileDialog::AnyFile << false;
        QTest::newRow("save, asking")
            << 2 << QFileDialog::AcceptSave << QFileDialog::AnyFile << true;
    }
    // Each dialog carries the title, the filters and the initial name, adds no suffix, and
    // answers an empty name when cancelled; only the plain save takes an existing name as is.
    void fileDialogs() {
        QFETCH(int, which);
        QFETCH(QFileDialog::AcceptMode, mode);
        QFETCH(QFileDialog::FileMode, files);
        QFETCH(bool, confirmsOverwrite);
        PlatformPrompts prompts;
        const QString title = QStringLiteral("Enregistrer l'image");
        const QString filter = QStringLiteral("Image Intel HEX (*.hex);;Tous les fichiers (*)");
        const QString initial = QStringLiteral("compteur.hex");
        QString shownTitle, fileName, suffix;
        QStringList filters;
        QFileDialog::AcceptMode shownMode{};
        QFileDialog::FileMode shownFiles{};
        bool confirms = false;
        QString answer = QStringLiteral("unanswered");
        const bool seen = whileModal<QFileDialog>(
            [&] {
                if (which == 0) answer = prompts.openFileName(nullptr, title, filter, initial);
                if (which == 1) answer = prompts.saveFileName(nullptr, title, filter, initial);
                if (which == 2)
                    answer = prompts.saveFileNameAsking(nullptr, title, filter, initial);
            },
            [&](QFileDialog* dialog) {
                shownTitle = dialog->windowTitle();
                filters = dialog->nameFilters();
                suffix = dialog->defaultSuffix();
                shownMode = dialog->acceptMode();
                shownFiles = dialog->fileMode();
                confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
                fileName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
                dialog->reject();
            });
        QVERIFY(seen);
        QCOMPARE(shownTitle, title);
        QCOMPARE(filters, (QStringList{QStringLiteral("Image Intel HEX (*.hex)"),
                                       QStringLiteral("Tous les fichiers (*)")}));
        QVERIFY(suffix.isEmpty());
        QCOMPARE(fileName, initial);
        QCOMPARE(shownMode, mode);
        QCOMPARE(shownFiles, files);
        QCOMPARE(confirms, confirmsOverwrite);
        QCOMPARE(answer, QString());
    }
};

QTEST_MAIN(PromptsTest)
#include "test_prompts.moc"
