#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <set>

#include "config/kel_file.h"
#include "configuration/configuration_file.h"
#include "configuration/settings_window.h"
#include "link/link.h"
#include "test_support.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using trv::Setting;
using trv::SettingsWindow;

namespace {

// Keeps each box as (kind, text), as the assertions read them.
class Recorder final : public trv::test::MessageRecorder {
public:
    explicit Recorder(QList<std::pair<trv::msg::Kind, QString>>& shown) : m_shown(shown) {}
    void message(trv::msg::Kind kind, QWidget*, const QString& text, const QString&) override {
        m_shown << std::pair(kind, text);
    }

private:
    QList<std::pair<trv::msg::Kind, QString>>& m_shown;
};

struct DialogCall {
    QString title, filter, initialName;
};

QList<int> indexesOf(const SettingsWindow& c) {
    QList<int> list;
    for (int i = 0; i < trv::kSettingCount; ++i) list << c.index(Setting(i));
    return list;
}

}  // namespace

class TestConfigurationFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savesStartupSelections();
    void roundTrip_data();
    void roundTrip();
    void opensFile_data();
    void opensFile();
    void cancelChangesNothing();
    void openFailureOffersDialogAgain_data();
    void openFailureOffersDialogAgain();
    void failedSaveKeepsPreviousFile_data();
    void failedSaveKeepsPreviousFile();
    void realDialogs_data();
    void realDialogs();

private:
    void save() {
        trv::saveConfiguration([this] { return showSettings(); }, m_prompts, nullptr);
    }
    void open() {
        trv::openConfiguration([this] { return showSettings(); }, m_prompts, nullptr);
    }
    SettingsWindow* showSettings() {
        ++m_shown;
        m_settings->show();
        m_settings->setWindowState(Qt::WindowNoState);
        m_settings->activateWindow();
        m_settings->setFocus();
        return m_settings.get();
    }
    QString path(const QString& name) const { return m_dir->filePath(name); }
    void writeBytes(const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readBytes(const QString& name) {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString successMessage(int port) const {
        return QStringLiteral("Ouverture du port COM%1: effectuée avec succès.").arg(port);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    trv::test::FakeClock m_clock;
    trv::test::FakePort* m_port = nullptr;
    std::unique_ptr<trv::Link> m_link;
    std::unique_ptr<SettingsWindow> m_settings;
    int m_shown = 0;
    QStringList m_answers;  // what the dialogs return, in turn; cancel once exhausted
    QList<DialogCall> m_calls;
    QList<std::pair<trv::msg::Kind, QString>> m_messages;
    Recorder m_prompts{m_messages};
};

void TestConfigurationFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    auto port = std::make_unique<trv::test::FakePort>(m_clock);
    m_port = port.get();
    // Opens exactly the port numbers that exist.
    m_port->openable = [](int n) { return std::set<int>{1, 2, 3, 12}.count(n) > 0; };
    m_link = std::make_unique<trv::Link>(std::move(port));
    m_settings = std::make_unique<SettingsWindow>(*m_link, m_prompts, nullptr);
    m_shown = 0;
    m_answers.clear();
    m_calls.clear();
    m_messages.clear();
    const auto ask = [this](QWidget*, const QString& title, const QString& filter,
                            const QString& initialName) {
        m_calls << DialogCall{title, filter, initialName};
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    };
    m_prompts.open = ask;
    m_prompts.save = ask;
}

void TestConfigurationFile::cleanup() {
    m_settings.reset();
    m_link.reset();
    m_dir.reset();
}

void TestConfigurationFile::savesStartupSelections() {
    writeBytes("a.kel", QByteArray(4000, 'x'));  // overwritten without a question
    m_answers = {path("a.kel")};
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    save();
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(m_calls.size(), 1);
    QCOMPARE(m_calls[0].title, QStringLiteral("Enregistrer un fichier de configuration RZP"));
    QCOMPARE(m_calls[0].filter,
             QStringLiteral("Fichiers configuration(*.KEL);;Tous les fichiers(*.*)"));
    QCOMPARE(m_calls[0].initialName, QStringLiteral("Configuration_RZP"));
    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_port->opened.isEmpty());
    QCOMPARE(m_shown, 1);
    QVERIFY(m_settings->isVisible());

    const QByteArray bytes = readBytes("a.kel");
    QVERIFY(bytes.endsWith("\r\n"));
    const QList<QByteArray> lines = bytes.chopped(1).split('\n');
    QCOMPARE(lines.size(), 31);
    for (const QByteArray& line : lines) QVERIFY(line.endsWith('\r'));
    const auto line = [&](int n) { return lines[n - 1].chopped(1); };
    const QList<QByteArray> indexes = {"2", "0", "2", "0", "0", "0", "0", "1"};
    for (int n = 1; n <= 8; ++n) QCOMPARE(line(n), indexes[n - 1]);
    QCOMPARE(line(9), "             K E L               ");
    QCOMPARE(line(13), "Chronom\xE8tre au centi\xE8me          ");
    QCOMPARE(line(15), "Connect\xE9 sur Port COM3:");
    QCOMPARE(line(16), "INTERFACE Filaire ");
    QCOMPARE(line(17), "DIGIT 4 Digits 99 sec 99 cen");
    QCOMPARE(line(18), "Couleur Mono couleur");
    QCOMPARE(line(22), "R\xE9ponse OUI");
    QCOMPARE(line(26), "FIN DU FICHIER DE CONFIGURATION  ");
    for (int n : {12, 23, 25, 27, 31}) QCOMPARE(line(n), QByteArray(33, ' '));
    for (int n : {10, 14, 24, 30}) QCOMPARE(line(n), QByteArray(33, '-'));
    // Date and time in the system's formats, taken while saving.
    const QLocale system = QLocale::system();
    QStringList dates, times;
    for (QDateTime t = before; t <= after.addSecs(1); t = t.addSecs(1)) {
        dates << QStringLiteral("crée le: ") + system.toString(t.date(), QLocale::ShortFormat);
        times << QStringLiteral("à ") + trv::kel::reportTime(t.time(), system);
    }
    QVERIFY2(dates.contains(QString::fromLatin1(line(28))), line(28).constData());
    QVERIFY2(times.contains(QString::fromLatin1(line(29))), line(29).constData());
}

void TestConfigurationFile::roundTrip_data() {
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<int>("port");
    QTest::newRow("start-up selections") << QList<int>{2, 0, 2, 0, 0, 0, 0, 1} << 3;
    QTest::newRow("COM12 and every option") << QList<int>{11, 1, 0, 1, 1, 1, 1, 0} << 12;
}

// What is saved comes back on opening, two-character port indexes included, and is validated.
void TestConfigurationFile::roundTrip() {
    QFETCH(QList<int>, indexes);
    QFETCH(int, port);
    for (int i = 0; i < 8; ++i) QVERIFY(m_settings->setIndex(Setting(i), indexes[i]));
    m_answers = {path("Configuration_RZP")};
    save();
    for (int i = 0; i < 8; ++i)
        m_settings->setIndex(Setting(i), (indexes[i] + 1) % m_settings->list(Setting(i))->count());

    m_answers = {path("Configuration_RZP")};
    open();
    QCOMPARE(m_calls.last().title, QStringLiteral("Ouvrir un fichier de configuration RZP"));
    QCOMPARE(m_calls.last().filter,
             QStringLiteral("Fichiers configuration(*.kel);;Tous les fichiers(*.*)"));
    QCOMPARE(m_calls.last().initialName, QStringLiteral("Configuration_RZP"));
    QCOMPARE(indexesOf(*m_settings), indexes);
    QCOMPARE(m_port->opened, QList<int>{port});
    QVERIFY(m_link->portOpen());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].second, successMessage(port));
}

void TestConfigurationFile::opensFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<int>("port");  // 0: not validated
    const QList<int> startup = {2, 0, 2, 0, 0, 0, 0, 1};
    QTest::newRow("eight ones") << QByteArray("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n")
                                << QList<int>(8, 1) << 2;
    QTest::newRow("written elsewhere with LF")
        << QByteArray("11\n1\n3\n1\n0\n1\n0\n0\n") << QList<int>{11, 1, 3, 1, 0, 1, 0, 0} << 12;
    QTest::newRow("short file") << QByteArray("0\r\n1\r\n3") << QList<int>{0, 1, 3, 0, 0, 0, 0, 1}
                                << 0;
    QTest::newRow("5 on line 2") << QByteArray("0\r\n5\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n")
                                 << QList<int>{0, 0, 2, 0, 0, 0, 0, 1} << 0;
    QTest::newRow("index past COM12")
        << QByteArray("12\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\n") << startup << 0;
    QTest::newRow("empty file") << QByteArray() << startup << 0;
    QTest::newRow("huge file of NULs") << QByteArray(1 << 20, '\0') << startup << 0;
    // Only the first 64 KiB are read: there, the first line has not ended yet.
    QTest::newRow("lines past the read limit")
        << QByteArray(trv::kel::kReadLimit, '0') + QByteArray("1\r\n").repeated(8)
        << QList<int>{0, 0, 2, 0, 0, 0, 0, 1} << 0;
}

void TestConfigurationFile::opensFile() {
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, indexes);
    QFETCH(int, port);
    writeBytes("c.kel", content);
    m_settings->showMinimized();
    m_answers = {path("c.kel")};
    open();
    QCOMPARE(m_shown, 1);
    QCOMPARE(indexesOf(*m_settings), indexes);
    if (port == 0) {
        QVERIFY(m_messages.isEmpty());
        QVERIFY(m_port->opened.isEmpty());
        QVERIFY(!m_settings->isMinimized());
    } else {
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages[0].second, successMessage(port));
        QCOMPARE(m_port->opened, QList<int>{port});
    }
}

void TestConfigurationFile::cancelChangesNothing() {
    open();
    save();
    QCOMPARE(m_calls.size(), 2);
    QCOMPARE(m_shown, 0);
    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_port->opened.isEmpty());
    QCOMPARE(indexesOf(*m_settings), (QList<int>{2, 0, 2, 0, 0, 0, 0, 1}));
    QVERIFY(QDir(m_dir->path()).isEmpty());
}

void TestConfigurationFile::openFailureOffersDialogAgain_data() {
    QTest::addColumn<QString>("bad");
    QTest::addColumn<bool>("thenGoodFile");
    QTest::newRow("missing file, then cancel") << "missing.kel" << false;
    QTest::newRow("missing file, then a good one") << "missing.kel" << true;
    QTest::newRow("folder, then cancel") << "folder" << false;
#ifdef Q_OS_UNIX
    // Opening a FIFO for reading would wait for a writer for ever.
    QTest::newRow("FIFO, then cancel") << "fifo" << false;
#endif
}

void TestConfigurationFile::openFailureOffersDialogAgain() {
    QFETCH(QString, bad);
    QFETCH(bool, thenGoodFile);
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
#ifdef Q_OS_UNIX
    QCOMPARE(mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
#endif
    writeBytes("good.kel", "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");
    m_answers = {path(bad)};
    if (thenGoodFile) m_answers << path("good.kel");
    open();

    QCOMPARE(m_calls.size(), 2);
    QCOMPARE(m_calls[1].initialName, path(bad));
    QCOMPARE(m_calls[1].title, m_calls[0].title);
    QCOMPARE(m_messages.value(0).first, trv::msg::Kind::Plain);
    QCOMPARE(m_messages.value(0).second, QStringLiteral("Erreur d'ouverture de ") + path(bad));
    if (thenGoodFile) {
        QCOMPARE(indexesOf(*m_settings), QList<int>(8, 1));
        QCOMPARE(m_port->opened, QList<int>{2});
        QCOMPARE(m_messages.size(), 2);
    } else {
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_shown, 0);
        QVERIFY(m_port->opened.isEmpty());
    }
}

void TestConfigurationFile::failedSaveKeepsPreviousFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("folder missing") << "no/such/folder.kel" << false;
    QTest::newRow("name is a folder") << "folder" << false;
#ifdef Q_OS_UNIX
    QTest::newRow("write fails midway") << "a.kel" << true;
#endif
}

// A save that fails leaves whatever was there before, reports it, and offers the dialog again.
void TestConfigurationFile::failedSaveKeepsPreviousFile() {
    QFETCH(QString, name);
    QFETCH(bool, diskFull);
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
    const QByteArray previous = "3\r\n1\r\n0\r\n1\r\n1\r\n1\r\n1\r\n0\r\nkept\r\n";
    writeBytes("a.kel", previous);
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System);
    m_answers = {path(name)};
#ifdef Q_OS_UNIX
    // A file size limit makes the write itself fail, whoever runs the test.
    rlimit saved{};
    if (diskFull) {
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    }
#endif
    save();
#ifdef Q_OS_UNIX
    if (diskFull) setrlimit(RLIMIT_FSIZE, &saved);
#else
    Q_UNUSED(diskFull);
#endif
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].first, trv::msg::Kind::Plain);
    QCOMPARE(m_messages[0].second, QStringLiteral("Erreur lors de la création de ") + path(name) +
                                       QStringLiteral(". Essayer à nouveau"));
    QCOMPARE(m_calls.size(), 2);
    QCOMPARE(m_calls[1].initialName, path(name));
    QCOMPARE(readBytes("a.kel"), previous);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System), before);
}

void TestConfigurationFile::realDialogs_data() {
    QTest::addColumn<bool>("saving");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

// The platform's dialogs carry the titles, filters and initial name, and cancelling ends
// the operation quietly.
void TestConfigurationFile::realDialogs() {
    QFETCH(bool, saving);
    m_prompts.open = {};
    m_prompts.save = {};
    bool seen = false;  // the static dialogs delete themselves once answered
    QString title, fileName, suffix;
    QStringList filters;
    bool confirmOverwrite = true;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        confirmOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        fileName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->reject();
    });
    poll.start();
    // Never leave a test waiting on a dialog nobody answers.
    QTimer::singleShot(10000, this, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    if (saving)
        save();
    else
        open();
    poll.stop();

    QVERIFY(seen);
    QCOMPARE(fileName, QStringLiteral("Configuration_RZP"));
    QVERIFY(suffix.isEmpty());
    if (saving) {
        QCOMPARE(title, QStringLiteral("Enregistrer un fichier de configuration RZP"));
        QCOMPARE(filters, (QStringList{QStringLiteral("Fichiers configuration(*.KEL)"),
                                       QStringLiteral("Tous les fichiers(*.*)")}));
        QVERIFY(!confirmOverwrite);
    } else {
        QCOMPARE(title, QStringLiteral("Ouvrir un fichier de configuration RZP"));
        QCOMPARE(filters, (QStringList{QStringLiteral("Fichiers configuration(*.kel)"),
                                       QStringLiteral("Tous les fichiers(*.*)")}));
    }
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(m_shown, 0);
}

QTEST_MAIN(TestConfigurationFile)
#include "test_configuration_file.moc"
