// Image files (Intel HEX and raw binary) and the history of images read and written.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "image/image_file.h"
#include "image/image_history.h"

using namespace trv;

namespace {

ImageBytes pattern() {
    ImageBytes b{};
    for (int i = 0; i < kImageSize; ++i) b[std::size_t(i)] = quint8(i * 37 + 11);
    return b;
}

ImageBytes ascending() {
    ImageBytes b{};
    for (int i = 0; i < kImageSize; ++i) b[std::size_t(i)] = quint8(i);
    return b;
}

// One data record of the given bytes at address, with its checksum.
QByteArray record(int address, const QList<int>& data, int type = 0) {
    QList<int> all{int(data.size()), address >> 8, address & 0xFF, type};
    all += data;
    int sum = 0;
    QByteArray line(":");
    for (int b : all) {
        line += QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        sum += b;
    }
    line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).toUpper().rightJustified(2, '0');
    return line;
}

// The image as records of `size` bytes (the last one shorter), end record, `eol` line ends.
QByteArray hexOf(const ImageBytes& b, int size, const QByteArray& eol = "\r\n") {
    QByteArray text;
    for (int at = 0; at < kImageSize; at += size) {
        QList<int> data;
        for (int i = at; i < std::min(at + size, kImageSize); ++i) data << b[std::size_t(i)];
        text += record(at, data) + eol;
    }
    return text + ":00000001FF" + eol;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}  // namespace

class ImageFileTest : public QObject {
    Q_OBJECT
private slots:
    void intelHexIsWhatObjcopyWrites() {
        const QByteArray hex = imagefile::toIntelHex(ascending());
        QVERIFY(hex.startsWith(":10000000000102030405060708090A0B0C0D0E0F78\r\n"));
        QVERIFY(hex.endsWith(":10007000707172737475767778797A7B7C7D7E7F08\r\n:00000001FF\r\n"));
        QCOMPARE(hex.count('\n'), 9);
    }

    void roundTrips_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("hex") << QStringLiteral("image.hex");
        QTest::newRow("eep") << QStringLiteral("image.eep");
        QTest::newRow("bin") << QStringLiteral("image.BIN");
    }
    void roundTrips() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QCOMPARE(imagefile::writeFile(path, pattern()), QString());
        const QByteArray first = readAll(path);
        const imagefile::Parsed parsed = imagefile::readFile(path);
        QCOMPARE(parsed.error, QString());
        QVERIFY(parsed.bytes == pattern());
        // The same image gives the same file, byte for byte.
        QCOMPARE(imagefile::writeFile(path, pattern()), QString());
        QCOMPARE(readAll(path), first);
        if (name.endsWith(QLatin1String("BIN"))) QCOMPARE(first.size(), kImageSize);
    }

    void otherLayoutsRead_data() {
        QTest::addColumn<QByteArray>("text");
        const ImageBytes b = pattern();
        QTest::newRow("8-byte records, LF") << hexOf(b, 8, "\n");
        QTest::newRow("32-byte records") << hexOf(b, 32);
        QTest::newRow("one record of 128") << hexOf(b, 128);
        QTest::newRow("7-byte records, lower case") << hexOf(b, 7).toLower();
        QByteArray reversed;
        const QList<QByteArray> lines = hexOf(b, 16, "\n").split('\n');
        for (int i = 7; i >= 0; --i) reversed += lines[i] + '\n';
        QTest::newRow("records out of order") << reversed + ":00000001FF\n";
        QTest::newRow("zero bases, start address, blank lines")
            << record(0, {0, 0}, 4) + "\r\n" + record(0, {0, 0}, 2) + "\r\n" +
                   record(0, {0, 0, 1, 0}, 5) + "\r\n\r\n" + hexOf(b, 16) + "\r\n\r\n";
    }
    void otherLayoutsRead() {
        QFETCH(QByteArray, text);
        const imagefile::Parsed parsed = imagefile::parseIntelHex(text);
        QCOMPARE(parsed.error, QString());
        QVERIFY(parsed.bytes == pattern());
    }

    void intelHexRefused_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QByteArray good = hexOf(pattern(), 16);
        QList<QByteArray> lines = good.split('\n');
        auto with = [&](int line, const QByteArray& replacement) {
            QList<QByteArray> copy = lines;
            copy[line] = replacement;
            return copy.join('\n');
        };
        QByteArray badSum = lines[2];
        badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
        QTest::newRow("bad checksum") << with(2, badSum) << "Ligne 3 : somme de contrôle fausse";
        QTest::newRow("missing address")
            << with(7, record(0x70, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}) + "\r")
            << "L'adresse 0x7F n'est donnée par aucune ligne";
        QTest::newRow("repeated address") << with(8, record(0x15, {0}) + "\r\n:00000001FF\r")
                                          << "Ligne 9 : l'adresse 0x15 est déjà donnée ligne 2.";
        QTest::newRow("address beyond the image")
            << with(8, record(0x80, {0}) + "\r\n:00000001FF\r")
            << "Ligne 9 : l'adresse 0x80 est hors de l'image";
        QTest::newRow("non-hex character") << with(4, lines[4].left(20) + "G" + lines[4].mid(21))
                                           << "Ligne 5 : le caractère « G »";
        QTest::newRow("no colon") << with(0, lines[0].mid(1))
                                  << "Ligne 1 : un enregistrement commence";
        QTest::newRow("length not matching") << with(1, lines[1].left(lines[1].size() - 5) + "\r")
                                             << "Ligne 2 : l'enregistrement annonce 16";
        QTest::newRow("odd digit count")
            << with(3, lines[3].left(10) + "\r") << "Ligne 4 : enregistrement incomplet";
        QTest::newRow("no end record")
            << with(8, QByteArray()) << "L'enregistrement de fin (type 01) manque.";
        QTest::newRow("data after the end")
            << good + record(0, {1}) + "\r\n"
            << "Ligne 10 : des données suivent l'enregistrement de fin (ligne 9).";
        QTest::newRow("non-zero linear base")
            << record(0, {0, 1}, 4) + "\n" + good << "Ligne 1 : base d'adresse non nulle";
        QTest::newRow("unknown record type")
            << with(0, record(0, {1}, 7)) << "Ligne 1 : type d'enregistrement 07 inconnu.";
        QTest::newRow("nul byte") << with(0, QByteArray(":\0", 2)) << "Ligne 1 : le caractère 0x00";
        QTest::newRow("empty file") << QByteArray() << "L'enregistrement de fin (type 01) manque.";
    }
    void intelHexRefused() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const imagefile::Parsed parsed = imagefile::parseIntelHex(text);
        QVERIFY(!parsed.bytes);
        QVERIFY2(parsed.error.startsWith(message), qPrintable(parsed.error));
    }

    void filesRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("binary too short")
            << "a.bin" << QByteArray(127, 'x') << "Il contient 127 octets";
        QTest::newRow("binary too long")
            << "a.bin" << QByteArray(129, 'x') << "Il contient 129 octets";
        QTest::newRow("over 64 KiB")
            << "a.hex" << hexOf(pattern(), 16).repeated(200) << "dépasse 64 Kio";
        QTest::newRow("missing") << "absent.hex" << QByteArray() << "n'existe pas";
        QTest::newRow("directory") << "folder.hex" << QByteArray() << "est un dossier";
#ifdef Q_OS_UNIX
        // A device in the file tree, which only Unix has.
        QTest::newRow("device") << "/dev/null" << QByteArray() << "n'est pas un fichier ordinaire";
#endif
        QTest::newRow("bad record")
            << "a.eep" << QByteArray(":zz\n") << "n'a pas été chargé.\nLigne 1 :";
    }
    void filesRefused() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        if (name.startsWith(u'/') && !QFile::exists(name)) QSKIP("no such device here");
        QTemporaryDir dir;
        const QString path = name.startsWith(u'/') ? name : dir.filePath(name);
        if (!content.isEmpty()) QVERIFY(writeAll(path, content));
        if (name == QLatin1String("folder.hex")) QVERIFY(QDir().mkpath(path));
        const imagefile::Parsed parsed = imagefile::readFile(path);
        QVERIFY(!parsed.bytes);
        QVERIFY2(parsed.error.contains(message), qPrintable(parsed.error));
    }

    void failedWriteLeavesNothing() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing-folder/image.hex"));
        QVERIFY(imagefile::writeFile(path, pattern()).startsWith(QStringLiteral("Le fichier")));
        QVERIFY(!QFile::exists(path));
    }

    // A common tool reads what the program writes, and the program reads what it writes.
    void objcopyAgrees() {
        const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
        if (objcopy.isEmpty()) QSKIP("objcopy is not installed");
        QTemporaryDir dir;
        const QByteArray raw(reinterpret_cast<const char*>(pattern().data()), kImageSize);
        QVERIFY(writeAll(dir.filePath(QStringLiteral("in.bin")), raw));
        auto run = [&](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(objcopy, args);
            return p.waitForFinished(10000) && p.exitCode() == 0;
        };
        QVERIFY(
            run({QStringLiteral("-I"), QStringLiteral("binary"), QStringLiteral("-O"),
                 QStringLiteral("ihex"), QStringLiteral("in.bin"), QStringLiteral("tool.hex")}));
        const imagefile::Parsed parsed =
            imagefile::readFile(dir.filePath(QStringLiteral("tool.hex")));
        QVERIFY2(parsed.bytes == pattern(), qPrintable(parsed.error));
        QCOMPARE(imagefile::writeFile(dir.filePath(QStringLiteral("ours.hex")), pattern()),
                 QString());
        QVERIFY(
            run({QStringLiteral("-I"), QStringLiteral("ihex"), QStringLiteral("-O"),
                 QStringLiteral("binary"), QStringLiteral("ours.hex"), QStringLiteral("out.bin")}));
        QCOMPARE(readAll(dir.filePath(QStringLiteral("out.bin"))), raw);
    }

    void historyRecordsAndLists() {
        QTemporaryDir dir;
        history::ImageHistory h(dir.path());
        const auto first = h.record(pattern(), 3, QStringLiteral("compteur"),
                                    history::Direction::Read, at("2026-12-07 14:03:05.042"));
        QCOMPARE(first.error, QString());
        QCOMPARE(first.path,
                 dir.filePath(QStringLiteral("2026-12-07/14-03-05-042_COM3_compteur_lue.hex")));
        QCOMPARE(readAll(first.path), imagefile::toIntelHex(pattern()));
        // Same millisecond, same port and window: a second file, a millisecond on.
        const auto twin = h.record(ascending(), 3, QStringLiteral("compteur"),
                                   history::Direction::Read, at("2026-12-07 14:03:05.042"));
        QVERIFY(twin.path.endsWith(QStringLiteral("14-03-05-043_COM3_compteur_lue.hex")));
        h.record(ascending(), 12, QStringLiteral("luminosité"), history::Direction::Written,
                 at("2026-12-08 00:00:00.001"));
        QVERIFY(writeAll(dir.filePath(QStringLiteral("2026-12-07/notes.txt")), "x"));

        const QList<history::Entry> list = h.entries();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0].when, at("2026-12-08 00:00:00.001"));
        QCOMPARE(list[0].port, 12);
        QCOMPARE(list[0].window, QStringLiteral("luminosité"));
        QCOMPARE(list[0].direction, history::Direction::Written);
        QCOMPARE(list[1].path, twin.path);
        QCOMPARE(list[2].path, first.path);
    }

    // Each kind of record has its own file name, listed back as that kind; the older names
    // ("lue", "écrite") still list, and names that are no record are passed over.
    void historyKinds_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");      // -1: not a record
        QTest::addColumn<QString>("port");  // as the history lists it
        const auto row = [](const char* name, int kind, const char* port = "COM3") {
            QTest::newRow(name) << QString::fromUtf8(name) << kind << QString::fromUtf8(port);
        };
        using D = history::Direction;
        row("10-00-00-000_COM3_compteur_lue.hex", int(D::Read));
        row("10-00-00-000_COM3_compteur_lue-avant-programmation.hex", int(D::ReadBeforeWrite));
        row("10-00-00-000_COM3_luminosité_vérification.hex", int(D::Verification));
        row("10-00-00-000_COM14_trvctl_écrite.hex", int(D::Written), "COM14");
        // Boards behind a server: the address rides after the port, a file name on any system.
        row("10-00-00-000_COM7-rfc2217-127.0.0.1-4001_compteur_lue.hex", int(D::Read),
            "COM7 (rfc2217://127.0.0.1:4001)");
        row("10-00-00-000_COM0-tcp-%3A%3A1-5_trvctl_écrite.hex", int(D::Written), "tcp://[::1]:5");
        row("10-00-00-000_COM2-tcp-serveur-hall.local-65535_grille_lue.hex", int(D::Read),
            "COM2 (tcp://serveur-hall.local:65535)");
        row("10-00-00-000_COM7-rfc2217-h-0_compteur_lue.hex", -1);
        row("10-00-00-000_COM7-rfc2217-h-70000_compteur_lue.hex", -1);
        row("10-00-00-000_COM7-telnet-h-23_compteur_lue.hex", -1);
        row("10-00-00-000_COM7-tcp-%3a%3a1-5_compteur_lue.hex", -1);
        row("10-00-00-000_COM3_compteur_lue avant programmation.hex", -1);
        row("10-00-00-000_COM3_compteur_relue.hex", -1);
        row("10-00-00-000_COM3_compteur_lue.bin", -1);
    }
    void historyKinds() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, port);
        const auto parsed = history::parseName(QStringLiteral("2026-12-07"), name);
        QCOMPARE(parsed.has_value(), kind >= 0);
        if (kind < 0) return;
        const auto direction = history::Direction(kind);
        QCOMPARE(parsed->direction, direction);
        QCOMPARE(portName(parsed->port, parsed->address), port);
        // What is recorded under that kind carries the same name and lists back as it.
        QTemporaryDir dir;
        history::ImageHistory h(dir.path());
        const auto r = h.record(pattern(), parsed->port, parsed->window, direction,
                                at("2026-12-07 10:00:00.000"), parsed->address);
        QCOMPARE(r.path, dir.filePath(QStringLiteral("2026-12-07/") + name));
        QCOMPARE(h.entries().value(0).direction, direction);
        QCOMPARE(h.entries().value(0).address, parsed->address);
    }

    void historyKeepsTheNewest() {
        QTemporaryDir dir;
        {
            history::ImageHistory earlier(dir.path(), 100);
            for (int i = 0; i < 4; ++i)
                earlier.record(pattern(), 1, QStringLiteral("compteur"), history::Direction::Read,
                               at("2026-12-06 10:00:00.000").addSecs(i));
        }
        // A new run finds the older records on disk and prunes them first.
        history::ImageHistory h(dir.path(), 5);
        for (int i = 0; i < 3; ++i)
            h.record(pattern(), 2, QStringLiteral("microswitches"), history::Direction::Written,
                     at("2026-12-07 10:00:00.000").addSecs(i));
        const QList<history::Entry> list = h.entries();
        QCOMPARE(list.size(), 5);
        QCOMPARE(list.back().when, at("2026-12-06 10:00:02.000"));
        QCOMPARE(list.front().when, at("2026-12-07 10:00:02.000"));
        for (int i = 0; i < 4; ++i)
            h.record(pattern(), 2, QStringLiteral("compteur"), history::Direction::Read,
                     at("2026-12-07 11:00:00.000").addSecs(i));
        // The emptied day folder goes with its last record.
        QVERIFY(!QDir(dir.filePath(QStringLiteral("2026-12-06"))).exists());
        QCOMPARE(h.entries().size(), 5);
    }

    void unwritableHistoryReports() {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("historique"));
        QVERIFY(writeAll(blocker, "not a folder"));
        history::ImageHistory h(blocker);
        const auto r = h.record(pattern(), 3, QStringLiteral("compteur"), history::Direction::Read);
        QVERIFY(r.path.isEmpty());
        QVERIFY(
            r.error.startsWith(QStringLiteral("L'historique des images ne peut pas être écrit")));
        QVERIFY(h.entries().isEmpty());
    }
};

QTEST_GUILESS_MAIN(ImageFileTest)
#include "test_image_file.moc"
