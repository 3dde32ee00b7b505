// Where the tool writes: the system's folders unless TRV_DATA_HOME or TRV_CONFIG_HOME names
// others, for everything that writes there (on Windows, where the XDG variables do nothing,
// a test or a second session would otherwise share the user's port links and history).
#include <QStandardPaths>
#include <QTest>

#include "image/image_history.h"
#include "port/port_map.h"
#include "program/folders.h"

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void chosenFolders_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("wantedData");  // empty: the system's
        QTest::addColumn<QString>("wantedConfig");
        QTest::newRow("blank") << QByteArray() << QByteArray() << QString() << QString();
        QTest::newRow("both") << QByteArray("/srv/a") << QByteArray("/srv/b")
                              << QStringLiteral("/srv/a") << QStringLiteral("/srv/b");
        QTest::newRow("data only, trailing slash")
            << QByteArray("/srv/a/") << QByteArray() << QStringLiteral("/srv/a") << QString();
#ifdef Q_OS_WIN
        QTest::newRow("Windows separators")
            << QByteArray("C:\\Users\\tech\\trv") << QByteArray("C:\\cfg\\")
            << QStringLiteral("C:/Users/tech/trv") << QStringLiteral("C:/cfg");
#endif
    }

    void chosenFolders() {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, config);
        QFETCH(QString, wantedData);
        QFETCH(QString, wantedConfig);
        // Set but blank counts as unset.
        qputenv("TRV_DATA_HOME", data);
        qputenv("TRV_CONFIG_HOME", config);
        if (wantedData.isEmpty())
            wantedData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (wantedConfig.isEmpty())
            wantedConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QCOMPARE(trv::dataFolder(), wantedData);
        QCOMPARE(trv::configFolder(), wantedConfig);
        QCOMPARE(trv::portsFolder(), wantedData + QStringLiteral("/trv-compteur/ports"));
        QCOMPARE(trv::history::defaultFolder(),
                 wantedData + QStringLiteral("/trv-compteur/historique"));
    }

    void cleanup() {
        qunsetenv("TRV_DATA_HOME");
        qunsetenv("TRV_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestFolders)
#include "test_folders.moc"
