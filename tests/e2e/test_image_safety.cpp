// Image safety end to end against the simulated board: the history every transfer leaves,
// loading an image and programming it, comparing the grid with the board, and verifying
// what the board holds after a write.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "boards/counter_window.h"
#include "boards/luminosity_window.h"
#include "image/image_file.h"
#include "image/image_history.h"
#include "link/link.h"
#include "protocol/frames.h"
#include "sim/faults.h"
#include "simulated_board.h"
#include "test_support.h"
#include "tools/history_window.h"
#include "ui/colours.h"

using namespace trv;

Q_DECLARE_METATYPE(trv::ImageBytes)

namespace {
using Changes = QList<QPair<int, int>>;  // address, byte on the board

const QString kProgrammed = QStringLiteral("Programmation effectuée avec succés.");
const QString kError = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");

// The simulator's signed image with a register and a pattern in the bytes no window owns.
ImageBytes boardImage() {
    ImageBytes e = sim::presetImage(sim::Preset::Signed);
    for (int a = 77; a < kImageSize; ++a) e[std::size_t(a)] = quint8(255 - a);
    e[64] = 0x56;
    return e;
}

ImageBytes fileImage(const QString& path) {
    const imagefile::Parsed parsed = imagefile::readFile(path);
    return parsed.bytes.value_or(ImageBytes{});
}

// Bytes programming the counter window writes: its records, colours, flags and signature.
QList<int> allCells() {
    QList<int> all;
    for (int a = 0; a < kImageSize; ++a) all << a;
    return all;
}

bool counterOwned(int a) {
    return a <= 23 || (a >= 30 && a <= 59) || a == 63 || (a >= 70 && a <= 73);
}

QList<int> cellsColoured(const GridControls& grid, colour::Packed colour) {
    QList<int> found;
    for (int i = 0; i < kImageSize; ++i)
        if (colour::background(grid.Text1[std::size_t(i)]) == colour) found << i;
    return found;
}

using test::wholeRead;

const QString kHeld =
    QStringLiteral("La carte contient pourtant l'image envoyée (relue et vérifiée).");
const QString kRestored = QStringLiteral(
    "Restauration effectuée avec succés : la carte contient l'image choisie, "
    "octet pour octet (relue et vérifiée).");

// The kinds of the newest records, newest first.
QStringList newestKinds(int count) {
    QStringList kinds;
    for (const history::Entry& e : history::ImageHistory().entries().mid(0, count))
        kinds << history::directionText(e.direction);
    return kinds;
}

}  // namespace

class ImageSafetyTest : public test::SharedBoardTest {
    Q_OBJECT
    bool verify = false;

    std::unique_ptr<CounterWindow> counter(Prompts& prompts) {
        auto w = std::make_unique<CounterWindow>(*link, prompts,
                                                 [this] { return test::replyControl(reply); });
        w->setVerifySetting([this] { return verify; });
        return w;
    }
    history::ImageHistory history() const { return history::ImageHistory(); }

private slots:
    void cleanup() { verify = false; }

    // Programming keeps the image it replaced and the image it wrote; the one it replaced
    // loads back from the history window and programs the board as it was.
    void programmingIsRecordedAndUndone() {
        test::MessageRecorder recorder;
        const ImageBytes before = boardImage();
        board->setEeprom(before);
        auto w = counter(recorder);
        const int known = int(history().entries().size());
        w->valeur[0]->setText(QStringLiteral("12"));
        w->programSettings();
        QCOMPARE(recorder.texts(), QStringList{kProgrammed});
        const ImageBytes after = board->eeprom();
        QVERIFY(after != before);

        QList<history::Entry> entries = history().entries();
        QCOMPARE(entries.size(), known + 2);
        QCOMPARE(entries[0].direction, history::Direction::Written);
        QCOMPARE(entries[1].direction, history::Direction::ReadBeforeWrite);
        QCOMPARE(entries[0].port, 3);
        QCOMPARE(entries[0].window, QStringLiteral("compteur"));
        QCOMPARE(fileImage(entries[1].path), before);
        QCOMPARE(fileImage(entries[0].path), after);

        HistoryWindow h(*link, recorder, [&w] { return w.get(); });
        QCOMPARE(h.list->topLevelItemCount(), known + 2);
        h.list->setCurrentItem(h.list->topLevelItem(1));
        forgetReceived();
        h.loadSelected();
        QCOMPARE(w->valeur[0]->text(), QStringLiteral("0000000010"));
        QCOMPARE(cellsColoured(w->grid(), colour::kLightBlue).size(), kImageSize);
        QCOMPARE(board->received(), QByteArray());  // loading sends nothing
        w->programSettings();
        QCOMPARE(board->eeprom(), before);
    }

    // A loaded image reaches the board only through the window's fields: everything else
    // stays as the board has it, and the window says so before it writes. Declined, nothing
    // is written and the board goes back to sleep.
    void loadThenProgramChangesOnlyTheWindowsBytes_data() {
        QTest::addColumn<bool>("go");
        QTest::newRow("programmed") << true;
        QTest::newRow("declined") << false;
    }
    void loadThenProgramChangesOnlyTheWindowsBytes() {
        QFETCH(bool, go);
        test::MessageRecorder recorder;
        recorder.answer = [go](const QString&) { return go; };
        ImageBytes loaded = boardImage();
        loaded[1] = 0x12;   // start 12,00
        loaded[57] = 0x21;  // ranges 1 and 2 red and green
        loaded[60] = 0x08;  // brightness, not the counter's
        loaded[100] = 0x00;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("image.hex"));
        QCOMPARE(imagefile::writeFile(file, loaded), QString());
        recorder.open = [&](QWidget*, const QString&, const QString&, const QString&) {
            return file;
        };
        ImageBytes onBoard = boardImage();
        onBoard[61] = 0x0B;
        onBoard[110] = 0x42;
        board->setEeprom(onBoard);

        auto w = counter(recorder);
        w->loadImageIntoGrid();
        QCOMPARE(w->valeur[0]->text(), QStringLiteral("0000000012"));
        QCOMPARE(w->image().text(100), QStringLiteral("00"));
        forgetReceived();
        w->programSettings();
        const QString warning = QStringLiteral(
            "Les réglages hors de cette fenêtre ne seront pas programmés : Luminosité, Fréquence "
            "de commutation, Octet 0x64, Octet 0x6E. Utilisez Image > Restaurer sur la carte.");
        QCOMPARE(recorder.questions, QStringList{warning});
        QVERIFY(recorder.questionDetails.value(0).startsWith(
            QStringLiteral("Luminosité : image 60 % / carte 100 %\n")));
        if (!go) {
            QCOMPARE(recorder.texts(), QStringList{});
            QCOMPARE(board->eeprom(), onBoard);
            QTRY_COMPARE_WITH_TIMEOUT(board->received(),
                                      test::wakeBurst() + wholeRead() + test::closingBurst(), 3000);
            // The grid keeps the loaded image for a restore.
            QCOMPARE(cellsColoured(w->grid(), colour::kLightBlue).size(), kImageSize);
            return;
        }
        QCOMPARE(recorder.texts(), QStringList{kProgrammed});
        const ImageBytes result = board->eeprom();
        for (int a = 0; a < kImageSize; ++a)
            QVERIFY2(result[std::size_t(a)] == (counterOwned(a) ? loaded : onBoard)[std::size_t(a)],
                     qPrintable(QString::number(a)));
    }

    void compareWithBoard_data() {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("message");
        QTest::newRow("three settings") << Changes{{1, 0x11}, {60, 0x04}, {90, 0xA4}} << false
                                        << QStringLiteral(
                                               "Différences entre la grille et la carte :\n"
                                               "Départ : grille 10,00 / carte 11,00\n"
                                               "Luminosité : grille 100 % / carte 80 %\n"
                                               "Octet 0x5A : grille A5 / carte A4");
        QTest::newRow("identical")
            << Changes{} << false << QStringLiteral("La grille et la carte sont identiques.");
        QTest::newRow("silent board") << Changes{{1, 0x11}} << true << kError;
    }
    void compareWithBoard() {
        QFETCH(Changes, changes);
        QFETCH(bool, silent);
        QFETCH(QString, message);
        test::MessageRecorder recorder;
        ImageBytes onBoard = boardImage();
        QList<int> changed;
        for (const auto& [address, byte] : changes) {
            onBoard[std::size_t(address)] = quint8(byte);
            changed << address;
        }
        board->setEeprom(onBoard);
        if (silent) {
            sim::Faults faults;
            faults.silent = true;
            board->setFaults(faults);
        }

        auto w = counter(recorder);
        w->loadImage(boardImage());
        const CellTexts grid = w->image().texts();
        w->compareWithBoard();
        QCOMPARE(recorder.texts(), QStringList{message});
        QCOMPARE(w->image().texts(), grid);
        QCOMPARE(cellsColoured(w->grid(), colour::kYellow), silent ? QList<int>{} : changed);
        QCOMPARE(cellsColoured(w->grid(), colour::kLightBlue).size(),
                 kImageSize - (silent ? 0 : changed.size()));
        if (!silent) QCOMPARE(board->received(), wholeRead());
    }

    // A read-back after every write the board took: a worn cell is caught and marked, a good
    // board adds " Vérifiée." to the success message.
    void verification_data() {
        QTest::addColumn<int>("worn");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("replyControl");
        QTest::addColumn<QStringList>("messages");
        const QString failed = QStringLiteral(
            "La vérification a échoué : la carte ne contient pas l'image programmée.\n"
            "Adresses : 0x01.\nDépart : grille 12,00 / carte 10,00");
        QTest::newRow("good board")
            << -1 << true << "OUI" << QStringList{kProgrammed + " Vérifiée."};
        QTest::newRow("worn cell") << 1 << true << "OUI" << QStringList{failed};
        QTest::newRow("worn cell, no reports") << 1 << true << "NON" << QStringList{failed};
        QTest::newRow("verification off") << 1 << false << "OUI" << QStringList{kProgrammed};
    }
    void verification() {
        QFETCH(int, worn);
        QFETCH(bool, on);
        QFETCH(QString, replyControl);
        QFETCH(QStringList, messages);
        test::MessageRecorder recorder;
        board->setEeprom(boardImage());
        sim::Faults faults;
        faults.unwritten = worn;
        board->setFaults(faults);
        reply = replyControl;
        verify = on;

        auto w = counter(recorder);
        w->valeur[0]->setText(QStringLiteral("12"));
        w->programSettings();
        QCOMPARE(recorder.texts(), messages);
        QCOMPARE(cellsColoured(w->grid(), colour::kRed),
                 on && worn >= 0 ? QList<int>{worn} : QList<int>{});
        // The programming's frames are unchanged; the read-back and its closing burst follow.
        ImageBytes written = boardImage();
        written[1] = 0x12;
        const QByteArray programming = test::wakeBurst() + wholeRead() + test::wholeWrite(written) +
                                       frames::frame("OOO") + test::closingBurst();
        QTRY_COMPARE_WITH_TIMEOUT(
            board->received(), on ? programming + wholeRead() + test::closingBurst() : programming,
            3000);
    }

    // The grid's own write and the luminosity window verify the same way.
    void verificationOfOtherWrites() {
        test::MessageRecorder recorder;
        board->setEeprom(boardImage());
        sim::Faults worn;
        worn.unwritten = 60;
        board->setFaults(worn);
        verify = true;
        auto w = counter(recorder);
        w->loadImage(boardImage());
        w->image().setText(60, QStringLiteral("8"));
        w->grid().butWr->click();
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("La vérification a échoué : la carte ne contient pas "
                                            "l'image programmée.\nAdresses : 0x3C.\n"
                                            "Luminosité : grille 60 % / carte 100 %")});
        QCOMPARE(cellsColoured(w->grid(), colour::kRed), QList<int>{60});

        recorder.clear();
        board->setFaults({});
        LuminosityWindow lum(*link, recorder, [this] { return test::replyControl(reply); });
        lum.setVerifySetting([] { return true; });
        lum.Option1[3]->setChecked(true);
        lum.programSettings();
        QCOMPARE(recorder.texts(), QStringList{kProgrammed + " Vérifiée."});
        QCOMPARE(board->eeprom()[60], quint8(0x08));
    }

    // "Restaurer sur la carte…": the board's image read and kept, the differences shown, and
    // once confirmed all 128 bytes written, read back and kept.
    void restore_data() {
        QTest::addColumn<Changes>("chosenChanges");  // the chosen image against the board's
        QTest::addColumn<QString>("faults");
        QTest::addColumn<bool>("go");
        QTest::addColumn<QStringList>("messages");  // after the question, if one is asked
        QTest::addColumn<bool>("restored");         // the board equals the chosen image
        QTest::addColumn<QStringList>("kinds");     // the records left, newest first
        const Changes lumAndByte{{60, 0x08}, {100, 0x00}};
        const QString stuck = QStringLiteral(
            "La vérification a échoué : la carte ne contient pas l'image programmée.\n"
            "Adresses : 0x64.\nOctet 0x64 : grille 00 / carte 9B");
        const QString before = QStringLiteral("lue avant programmation");
        const QStringList all{QStringLiteral("vérification"), QStringLiteral("écrite"), before};
        // clang-format off
        QTest::newRow("whole image back") << lumAndByte << "none" << true << QStringList{kRestored} << true << all;
        QTest::newRow("declined") << lumAndByte << "none" << false << QStringList{} << false << QStringList{before};
        QTest::newRow("stuck cell") << lumAndByte << "unwritten=100" << true << QStringList{stuck} << false << all;
        // Not acknowledged as it should be, so not kept as written; its read-back is.
        QTest::newRow("extra reply bytes") << lumAndByte << "extra=3" << true << QStringList{kError + u'\n' + kHeld} << true
                                           << QStringList{QStringLiteral("vérification"), before};
        QTest::newRow("already there") << Changes{} << "none" << true
            << QStringList{QStringLiteral("La carte contient déjà l'image choisie : rien à restaurer.")} << true
            << QStringList{before};
        QTest::newRow("silent board") << lumAndByte << "silent" << true << QStringList{kError} << false << QStringList{};
        // clang-format on
    }
    void restore() {
        QFETCH(Changes, chosenChanges);
        QFETCH(QString, faults);
        QFETCH(bool, go);
        QFETCH(QStringList, messages);
        QFETCH(bool, restored);
        QFETCH(QStringList, kinds);
        test::MessageRecorder recorder;
        recorder.answer = [go](const QString&) { return go; };
        const ImageBytes onBoard = boardImage();
        ImageBytes chosen = onBoard;
        for (const auto& [address, byte] : chosenChanges)
            chosen[std::size_t(address)] = quint8(byte);
        board->setEeprom(onBoard);
        QString error;
        board->setFaults(*sim::parseFaults(faults, &error));
        auto w = counter(recorder);
        const int known = int(history().entries().size());

        w->restoreImage(chosen, QStringLiteral("l'image choisie"));
        const bool asked = !chosenChanges.isEmpty() && faults != QLatin1String("silent");
        if (asked) {
            QCOMPARE(recorder.questions,
                     QStringList{QStringLiteral("Restaurer sur la carte l'image choisie ? Les 128 "
                                                "octets de la carte seront remplacés.")});
            QCOMPARE(recorder.questionDetails.value(0),
                     QStringLiteral("Différences entre la carte et l'image :\n"
                                    "Luminosité : carte 100 % / image 60 %\n"
                                    "Octet 0x64 : carte 9B / image 00\nAdresses : 0x3C, 0x64."));
        }
        QCOMPARE(recorder.questions.size(), asked ? 1 : 0);
        QCOMPARE(recorder.texts(), messages);
        const int stuck = board->faults().unwritten;
        board->setFaults({});
        const bool written = asked && go;
        ImageBytes held = written ? chosen : onBoard;
        if (stuck >= 0) held[std::size_t(stuck)] = onBoard[std::size_t(stuck)];
        QCOMPARE(board->eeprom(), held);
        QCOMPARE(held == chosen, restored);
        QCOMPARE(newestKinds(int(kinds.size())), kinds);
        QCOMPARE(int(history().entries().size()), known + int(kinds.size()));

        const QByteArray reading = wholeRead() + test::closingBurst();
        if (faults != QLatin1String("silent"))
            QTRY_COMPARE_WITH_TIMEOUT(
                board->received(), written ? reading + test::wholeWrite(chosen) + reading : reading,
                3000);
        if (!written) return;
        // The image replaced, and what the board holds now: kept, and shown in the grid.
        const QList<history::Entry> entries = history().entries();
        QCOMPARE(fileImage(entries[kinds.size() - 1].path), onBoard);
        QCOMPARE(fileImage(entries[0].path), held);
        QVERIFY(imageBytes(w->image().texts()) == std::optional<ImageBytes>(held));
        QCOMPARE(cellsColoured(w->grid(), colour::kRed),
                 restored ? QList<int>{} : QList<int>{stuck});
    }

    // A write whose acknowledgements do not add up (three bytes too many) is read back when
    // verification is on: the board's image is told and kept, and shown in place of "Er".
    void failedWriteIsReadBack_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("grid");  // the grid's "Envoi" rather than the programming
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<int>>("red");
        const QString differs =
            kError +
            QStringLiteral(
                "\nLa vérification a échoué : la carte ne contient pas l'image programmée.\n"
                "Adresses : 0x01.\nDépart : grille 12,00 / carte 10,00");
        QTest::newRow("held anyway")
            << "extra=3" << true << false << kError + u'\n' + kHeld << QList<int>{};
        QTest::newRow("one cell not taken")
            << "extra=3 unwritten=1" << true << false << differs << QList<int>{1};
        QTest::newRow("verification off") << "extra=3" << false << false << kError << QList<int>{};
        QTest::newRow("grid write held anyway")
            << "extra=3" << true << true << kError + u'\n' + kHeld << QList<int>{};
    }
    void failedWriteIsReadBack() {
        QFETCH(QString, faults);
        QFETCH(bool, on);
        QFETCH(bool, grid);
        QFETCH(QString, message);
        QFETCH(QList<int>, red);
        test::MessageRecorder recorder;
        board->setEeprom(boardImage());
        QString error;
        board->setFaults(*sim::parseFaults(faults, &error));
        verify = on;
        auto w = counter(recorder);
        ImageBytes sent = boardImage();
        sent[1] = 0x12;
        if (grid) {
            w->loadImage(sent);
            w->grid().butWr->click();
        } else {
            w->valeur[0]->setText(QStringLiteral("12"));
            w->programSettings();
        }
        QCOMPARE(recorder.texts(), QStringList{message});
        QCOMPARE(cellsColoured(w->grid(), colour::kRed), on ? red : allCells());
        if (!on) {
            QCOMPARE(w->image().text(0), QStringLiteral("Er"));
            return;
        }
        // The cells show what the board holds, and the read-back is kept.
        ImageBytes held = sent;
        for (int a : red) held[std::size_t(a)] = boardImage()[std::size_t(a)];
        QVERIFY(imageBytes(w->image().texts()) == std::optional<ImageBytes>(held));
        QCOMPARE(newestKinds(1), QStringList{"vérification"});
        QCOMPARE(fileImage(history().entries()[0].path), held);
    }

    // A history that cannot be written warns once a run and never stops an operation.
    void unwritableHistory() {
        test::MessageRecorder recorder;
        board->setEeprom(boardImage());
        const QString folder = history::defaultFolder();
        const QString aside = folder + QStringLiteral(".aside");
        QVERIFY(QDir().rename(folder, aside));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        auto w = counter(recorder);
        w->valeur[0]->setText(QStringLiteral("12"));
        w->programSettings();
        QCOMPARE(recorder.texts().size(), 2);
        QVERIFY(recorder.texts()[0].startsWith(
            QStringLiteral("L'historique des images ne peut pas être écrit")));
        QCOMPARE(recorder.texts()[1], kProgrammed);
        QCOMPARE(board->eeprom()[1], quint8(0x12));
        recorder.clear();
        w->valeur[0]->setText(QStringLiteral("13"));
        w->programSettings();
        QCOMPARE(recorder.texts(), QStringList{kProgrammed});
        QCOMPARE(board->eeprom()[1], quint8(0x13));

        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().rename(aside, folder));
    }

    void saveRefusesACellThatIsNoByte() {
        test::MessageRecorder recorder;
        bool asked = false;
        recorder.saveAsking = [&](QWidget*, const QString&, const QString&, const QString&) {
            asked = true;
            return QString();
        };
        auto w = counter(recorder);
        w->loadImage(boardImage());
        w->image().setText(0x2A, QStringLiteral("Er"));
        w->saveGridImage();
        QVERIFY(!asked);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("Enregistrement impossible : la case 42 (adresse 0x2A) "
                                            "ne contient pas un octet hexadécimal. Rien n'a été "
                                            "enregistré.")});
    }
};

QTEST_MAIN(ImageSafetyTest)
#include "test_image_safety.moc"
