#include "boards/board_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QPushButton>
#include <algorithm>

#include "image/image_file.h"
#include "link/link.h"
#include "link/port_guard.h"
#include "link/window_exchange.h"
#include "settings/image_diff.h"
#include "ui/preferences.h"
#include "ui/text_fit.h"

namespace trv {
namespace {

const QString kSaveTitle = QStringLiteral("Enregistrer l'image de la grille");
const QString kLoadTitle = QStringLiteral("Charger une image dans la grille");

// A message box stays readable: beyond this many lines the rest is counted.
constexpr int kMostLines = 40;

QString listed(QStringList lines) {
    if (lines.size() > kMostLines) {
        const qsizetype rest = lines.size() - kMostLines;
        lines.resize(kMostLines);
        lines << QStringLiteral("… et %1 autres différences.").arg(rest);
    }
    return lines.join(u'\n');
}

QString addressText(int address) { return QStringLiteral("0x%1").arg(cellText(quint8(address))); }

}  // namespace

void showReport(Prompts& prompts, QWidget* parent, const std::optional<Report>& report) {
    if (report) prompts.show(report->kind, parent, report->text);
}

std::optional<Report> reportFor(const board::Result& result, board::ReplyControl reply,
                                bool programming) {
    const bool quiet = reply == board::ReplyControl::Non;
    switch (result.outcome) {
        case board::Outcome::Done:
            if (quiet) return std::nullopt;
            return Report{msg::Kind::Info, programming ? kProgramDoneText : kReadDoneText};
        case board::Outcome::BoardSilent:
        case board::Outcome::WriteFailed:
            if (quiet) return std::nullopt;
            return Report{msg::Kind::Warning, kBoardErrorText};
        case board::Outcome::SignatureMismatch:
            return Report{msg::Kind::Warning, kBlankText};
        case board::Outcome::NotBytes:
            // Whatever the reply control: the cells would otherwise pass for a board's image.
            return Report{msg::Kind::Warning, kNotBytesText};
        case board::Outcome::CellRefused:
            // Whatever the reply control: the technician must learn why nothing was sent.
            return Report{msg::Kind::Warning,
                          unsendableCellMessage(result.refusedCell.value_or(0))};
        case board::Outcome::PortLost:
            // Whatever the reply control: nothing else would tell why the board went quiet.
            return Report{msg::Kind::Warning, lostPortText(result.lostPort)};
        case board::Outcome::Cancelled:
            // The technician declined; there is nothing to tell.
            break;
    }
    return std::nullopt;
}

BoardWindow::BoardWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                         GridControls::Placement placement, ReadVariant readVariant,
                         QWidget* parent)
    : QWidget(parent),
      m_link(link),
      m_prompts(prompts),
      m_replyControl(std::move(replyControl)),
      m_readVariant(readVariant),
      m_image(this) {
    setFont(windowFont());
    m_grid = new GridControls(m_image, this, placement);
    connect(m_grid, &GridControls::readRequested, this, &BoardWindow::readFromGrid);
    if (placement.fillButtons)
        connect(m_grid, &GridControls::writeRequested, this, &BoardWindow::writeFromGrid);
    // The image is the transfer buffer: no fill while an exchange reads into or writes from it.
    m_grid->setRefusal([this] { return refuseWhileBusy(m_link); });
    m_grid->followVisibleArea(rect());
}

board::ReplyControl BoardWindow::replyControl() const { return m_replyControl(); }

namespace {
const QString kRefusedOutcome = QStringLiteral("envoi refusé, rien n'a été envoyé");
}

board::Result BoardWindow::runOnBoard(const QString& caption, const Operation& operation,
                                      CellState done) {
    board::Result result;
    {
        WindowExchange exchange(m_link, m_prompts, this, caption);
        result = operation(exchange, replyControl());
        if (result.outcome == board::Outcome::CellRefused)
            exchange.setOutcome(kRefusedOutcome, true);
        if (result.outcome == board::Outcome::Cancelled)
            exchange.setOutcome(QStringLiteral("annulée, rien n'a été écrit"), false);
    }
    if (result.outcome == board::Outcome::Cancelled) return result;  // the grid stays as it was
    if (result.outcome == board::Outcome::BoardSilent ||
        result.outcome == board::Outcome::WriteFailed ||
        result.outcome == board::Outcome::PortLost) {
        markFailed(m_image);
    } else {
        // Anything short of a completed operation leaves the cells as the read found them
        // (or, refused, as they would have been sent): the board was not written.
        m_image.setTexts(result.cells);
        m_image.setAllStates(result.outcome == board::Outcome::Done ? done : CellState::Read);
        markNonBytesFailed(m_image);
    }
    return result;
}

void BoardWindow::readBoard(const QString& caption, const Operation& read,
                            const std::function<void(const CellTexts&)>& show) {
    const board::Result result = runOnBoard(caption, read, CellState::Read);
    if (result.outcome == board::Outcome::Done) show(result.cells);
    showReport(m_prompts, this, reportFor(result, replyControl(), false));
}

void BoardWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_grid->followVisibleArea(rect());
    QWidget* focused = focusWidget();
    if (focused && focused->focusPolicy() == Qt::NoFocus && focused->hasFocus()) focusNextChild();
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    if (!refuseCloseWhileBusy(m_link, event)) QWidget::closeEvent(event);
}

// The grid's own buttons move the image alone and report only through the cells, and a
// lost port; without an open port they warn as the board operations do and leave the grid
// as it is.
void BoardWindow::readFromGrid() {
    if (!mayStartOperation(m_link, m_prompts, this)) return;
    ReadOutcome read;
    int lost = 0;
    {
        WindowExchange exchange(m_link, m_prompts, this, m_grid->butRd->text());
        read = LIT_24C01(exchange, m_image, m_readVariant);
        lost = exchange.lostPortNumber();
    }
    if (read == ReadOutcome::Lost) m_prompts.warning(this, lostPortText(lost));
    // The red cells alone would not tell that the link, not the EEPROM, is at fault.
    if (read == ReadOutcome::Read && firstNonByteCell(m_image.texts()))
        m_prompts.warning(this, kNotBytesText);
}

void BoardWindow::writeFromGrid() {
    if (!mayStartOperation(m_link, m_prompts, this)) return;
    const CellTexts sent = m_image.texts();
    WriteOutcome outcome;
    std::optional<board::Verification> back;
    int lost = 0;
    {
        WindowExchange exchange(m_link, m_prompts, this, m_grid->butWr->text());
        outcome = ECRIT_24C01(exchange, m_image);
        if (outcome == WriteOutcome::Refused) exchange.setOutcome(kRefusedOutcome, true);
        // A reply count that does not add up may hide a board that took the whole image.
        if ((outcome == WriteOutcome::Written || outcome == WriteOutcome::TimedOut) && verifying())
            back = board::verifyImage(exchange, sent);
        lost = exchange.lostPortNumber();
    }
    if (outcome == WriteOutcome::TimedOut) {
        // The failure marks stay unless the read-back tells what the board holds.
        if (back && back->outcome == board::Verification::Outcome::PortLost)
            m_prompts.warning(this, lostPortText(lost));
        showReport(m_prompts, this, showHeldImage(back, sent, kBoardErrorText));
        return;
    }
    const Verification check = verificationOf(back, sent);
    if (outcome == WriteOutcome::Lost || check.portLost)
        m_prompts.warning(this, lostPortText(lost));
    // A grid holding a cell that is not a byte is never sent; the window says which cell.
    if (outcome == WriteOutcome::Refused)
        m_prompts.warning(this,
                          unsendableCellMessage(firstNonByteCell(m_image.texts()).value_or(0)));
    markUnverified(check);
    // Otherwise the grid's own write reports through the cells only, unless verification failed.
    showReport(m_prompts, this, check.failure);
}

void BoardWindow::showLoadedImage(const CellTexts&) {}

// The image is the transfer buffer: none of these touches it while an exchange runs.
void BoardWindow::saveGridImage() {
    if (refuseWhileBusy(m_link)) return;
    const std::optional<ImageBytes> bytes = imageBytes(m_image.texts());
    if (!bytes) {
        m_prompts.warning(this, nonByteCellMessage(QStringLiteral("Enregistrement impossible"),
                                                   *firstNonByteCell(m_image.texts())) +
                                    QStringLiteral(" Rien n'a été enregistré."));
        return;
    }
    const QString initial =
        prefs::imageFolder() + u'/' + historyWindowName(this) + QStringLiteral(".hex");
    saveImageAs(m_prompts, this, kSaveTitle, initial, *bytes);
}

void saveImageAs(Prompts& prompts, QWidget* parent, const QString& title, const QString& initial,
                 const ImageBytes& bytes) {
    QString name = prompts.saveFileNameAsking(parent, title, kImageSaveFilter, initial);
    if (name.isEmpty()) return;
    // A name typed without an extension is an Intel HEX file.
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".hex");
    const QString error = imagefile::writeFile(name, bytes);
    if (!error.isEmpty()) {
        prompts.plain(parent, error);
        return;
    }
    prefs::setImageFolder(QFileInfo(name).absolutePath());
}

void BoardWindow::loadImageIntoGrid() {
    if (refuseWhileBusy(m_link)) return;
    QString name;
    if (const auto bytes = chooseImageFile(kLoadTitle, &name)) loadImage(*bytes);
}

std::optional<ImageBytes> BoardWindow::chooseImageFile(const QString& title, QString* name) {
    *name = m_prompts.openFileName(this, title, kImageOpenFilter, prefs::imageFolder());
    if (name->isEmpty()) return std::nullopt;
    const imagefile::Parsed parsed = imagefile::readFile(*name);
    if (!parsed.bytes) {
        m_prompts.plain(this, parsed.error);
        return std::nullopt;
    }
    prefs::setImageFolder(QFileInfo(*name).absolutePath());
    return parsed.bytes;
}

void BoardWindow::loadImage(const ImageBytes& bytes) {
    if (refuseWhileBusy(m_link)) return;
    const CellTexts cells = cellTexts(bytes);
    m_image.setTexts(cells);
    m_image.setAllStates(CellState::Loaded);
    showLoadedImage(cells);
}

void BoardWindow::compareWithImage(const ImageBytes& other, const QString& otherName,
                                   const QString& description) {
    if (refuseWhileBusy(m_link)) return;
    const std::optional<ImageBytes> grid = imageBytes(m_image.texts());
    if (!grid) {
        m_prompts.warning(this, nonByteCellMessage(QStringLiteral("Comparaison impossible"),
                                                   *firstNonByteCell(m_image.texts())));
        return;
    }
    const QList<diff::Difference> found = diff::differences(*grid, other);
    if (found.isEmpty()) {
        m_prompts.info(this, QStringLiteral("La grille et %1 sont identiques.").arg(description));
        return;
    }
    for (int address : diff::differingAddresses(*grid, other))
        m_image.setState(address, CellState::Differs);
    m_prompts.info(this, QStringLiteral("Différences entre la grille et %1 :\n").arg(description) +
                             listed(diff::describeAll(found, QStringLiteral("grille"), otherName)));
}

void BoardWindow::compareWithBoard() {
    if (!mayStartOperation(m_link, m_prompts, this)) return;
    if (const auto bad = firstNonByteCell(m_image.texts())) {
        m_prompts.warning(this, nonByteCellMessage(QStringLiteral("Comparaison impossible"), *bad));
        return;
    }
    CellTexts scratch;
    ReadOutcome read;
    int lost = 0;
    {
        WindowExchange exchange(m_link, m_prompts, this,
                                QStringLiteral("Comparer la grille avec la carte"));
        read = readImage(exchange, scratch, m_readVariant);
        lost = exchange.lostPortNumber();
    }
    switch (read) {
        case ReadOutcome::Read:
            break;
        case ReadOutcome::TimedOut:
            m_prompts.warning(this, kBoardErrorText);
            return;
        case ReadOutcome::Lost:
            // The scratch image holds nothing from the board: nothing to compare.
            m_prompts.warning(this, lostPortText(lost));
            return;
    }
    if (const auto bad = firstNonByteCell(scratch)) {
        m_prompts.warning(this, QStringLiteral("Comparaison impossible : la carte a répondu « %1 » "
                                               "pour l'adresse %2, qui n'est pas un octet.")
                                    .arg(scratch[std::size_t(*bad)], addressText(*bad)));
        return;
    }
    compareWithImage(*imageBytes(scratch), QStringLiteral("carte"), QStringLiteral("la carte"));
}

bool BoardWindow::verifying() const { return m_verify && m_verify(); }

BoardWindow::Verification BoardWindow::verificationOf(
    const std::optional<board::Verification>& back, const CellTexts& sent) {
    if (!back) return {};
    switch (back->outcome) {
        case board::Verification::Outcome::BoardSilent:
            return {false,
                    Report{msg::Kind::Warning,
                           QStringLiteral("La vérification a échoué : la carte n'a pas répondu "
                                          "à la relecture de son image. Veuillez recommencer "
                                          "ou vérifier directement sur l'afficheur.")},
                    {}};
        case board::Verification::Outcome::Matches:
            return {true, std::nullopt, {}};
        case board::Verification::Outcome::PortLost:
            // A lost port has its own message; the read-back says nothing about the board.
            return {false, std::nullopt, {}, true};
        case board::Verification::Outcome::Differs:
            break;
    }
    // The write never sends a cell that is not a byte, so what was sent holds bytes.
    const QStringList lines = diff::describeReadBack(
        *imageBytes(sent), back->found, QStringLiteral("grille"), QStringLiteral("carte"));
    QStringList where;
    for (int address : back->addresses) where << addressText(address);
    return {false,
            Report{msg::Kind::Warning,
                   QStringLiteral("La vérification a échoué : la carte ne contient pas "
                                  "l'image programmée.\nAdresses : %1.\n")
                           .arg(where.join(QStringLiteral(", "))) +
                       listed(lines)},
            back->addresses};
}

void BoardWindow::markUnverified(const Verification& check) {
    for (int address : check.addresses) m_image.setState(address, CellState::Failed);
}

std::optional<Report> BoardWindow::showHeldImage(const std::optional<board::Verification>& back,
                                                 const CellTexts& sent, const QString& failure) {
    if (!back) return std::nullopt;
    switch (back->outcome) {
        case board::Verification::Outcome::BoardSilent:
        case board::Verification::Outcome::PortLost:
            return std::nullopt;
        case board::Verification::Outcome::Matches:
        case board::Verification::Outcome::Differs:
            break;
    }
    m_image.setTexts(back->found);
    m_image.setAllStates(CellState::Read);
    if (back->outcome == board::Verification::Outcome::Matches)
        return Report{msg::Kind::Warning, failure + u'\n' + kHeldAnywayText};
    const Verification check = verificationOf(back, sent);
    markUnverified(check);
    return Report{msg::Kind::Warning, failure + u'\n' + check.failure->text};
}

board::ConfirmWrite BoardWindow::loadedImageCheck() {
    bool loaded = false;
    for (int i = 0; i < kImageSize; ++i) loaded = loaded || m_image.state(i) == CellState::Loaded;
    const std::optional<ImageBytes> image = imageBytes(m_image.texts());
    if (!loaded || !image) return {};
    return [this, image = *image, own = programmedAddresses()](const CellTexts&,
                                                               const CellTexts& toWrite) {
        const std::optional<ImageBytes> written = imageBytes(toWrite);
        if (!written) return true;  // the write refuses it and sends nothing
        QStringList names;
        QStringList lines;
        for (const diff::Difference& d : diff::differences(image, *written)) {
            const bool foreign = std::any_of(d.addresses.cbegin(), d.addresses.cend(),
                                             [&](int a) { return !own.contains(a); });
            if (!foreign) continue;
            names << d.setting;
            lines << diff::describe(d, QStringLiteral("image"), QStringLiteral("carte"));
        }
        if (names.isEmpty()) return true;
        // The board waits while the technician reads; the busy cursor does not.
        const bool busy = QApplication::overrideCursor() != nullptr;
        if (busy) QApplication::restoreOverrideCursor();
        const bool go = m_prompts.question(
            this,
            QStringLiteral("Les réglages hors de cette fenêtre ne seront pas programmés : %1. "
                           "Utilisez Image > Restaurer sur la carte.")
                .arg(names.join(QStringLiteral(", "))),
            listed(lines) + QStringLiteral("\n\nProgrammer les seuls réglages de cette fenêtre ? "
                                           "Non n'écrit rien."));
        if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
        return go;
    };
}

void BoardWindow::restoreImageFromFile() {
    if (!mayStartOperation(m_link, m_prompts, this)) return;
    QString name;
    const auto bytes = chooseImageFile(QStringLiteral("Restaurer une image sur la carte"), &name);
    if (!bytes) return;
    restoreImage(*bytes, QStringLiteral("l'image « %1 »").arg(QFileInfo(name).fileName()));
}

void BoardWindow::restoreImage(const ImageBytes& chosen, const QString& description) {
    if (!mayStartOperation(m_link, m_prompts, this)) return;
    // 1. What the board holds now: kept in the history as the image the restore replaces.
    CellTexts onBoard;
    ReadOutcome read;
    int lost = 0;
    {
        WindowExchange exchange(m_link, m_prompts, this, kRestoreCaption);
        read = readImage(exchange, onBoard, m_readVariant, history::Direction::ReadBeforeWrite);
        // The board sleeps while the technician decides.
        if (read == ReadOutcome::Read) board::sendClosingBurst(exchange);
        lost = exchange.lostPortNumber();
    }
    if (read == ReadOutcome::Lost) {
        m_prompts.warning(this, lostPortText(lost));
        return;
    }
    if (read == ReadOutcome::TimedOut) {
        m_prompts.warning(this, kBoardErrorText);
        return;
    }
    const std::optional<ImageBytes> boardBytes = imageBytes(onBoard);
    if (!boardBytes) {
        const int bad = *firstNonByteCell(onBoard);
        m_prompts.warning(this,
                          QStringLiteral("Restauration impossible : la carte a répondu « %1 » "
                                         "pour l'adresse %2, qui n'est pas un octet.")
                              .arg(onBoard[std::size_t(bad)], addressText(bad)));
        return;
    }
    // 2. The differences, and the technician's word.
    const QList<diff::Difference> found = diff::differences(*boardBytes, chosen);
    if (found.isEmpty()) {
        m_prompts.info(
            this, QStringLiteral("La carte contient déjà %1 : rien à restaurer.").arg(description));
        return;
    }
    QStringList where;
    for (int address : diff::differingAddresses(*boardBytes, chosen)) where << addressText(address);
    if (!m_prompts.question(
            this,
            QStringLiteral("Restaurer sur la carte %1 ? Les 128 octets de la carte seront "
                           "remplacés.")
                .arg(description),
            QStringLiteral("Différences entre la carte et l'image :\n") +
                listed(diff::describeAll(found, QStringLiteral("carte"), QStringLiteral("image"))) +
                QStringLiteral("\nAdresses : %1.").arg(where.join(QStringLiteral(", ")))))
        return;
    // 3. The whole image, its read-back and the board back to sleep.
    const CellTexts sent = cellTexts(chosen);
    board::WholeWrite written;
    {
        WindowExchange exchange(m_link, m_prompts, this, kRestoreCaption);
        written = board::writeWholeImage(exchange, sent, true);
        if (!exchange.portLost()) board::sendClosingBurst(exchange);
        lost = exchange.lostPortNumber();
    }
    const bool portLost = written.outcome == WriteOutcome::Lost ||
                          (written.verification &&
                           written.verification->outcome == board::Verification::Outcome::PortLost);
    if (portLost) {
        markFailed(m_image);
        m_prompts.warning(this, lostPortText(lost));
        return;
    }
    if (written.outcome == WriteOutcome::TimedOut) {
        markFailed(m_image);
        const std::optional<Report> held =
            showHeldImage(written.verification, sent, kBoardErrorText);
        showReport(m_prompts, this, held ? held : Report{msg::Kind::Warning, kBoardErrorText});
        return;
    }
    m_image.setTexts(sent);
    m_image.setAllStates(CellState::Written);
    const Verification check = verificationOf(written.verification, sent);
    if (!check.failure) {
        showLoadedImage(sent);
        m_prompts.info(this, kRestoredText);
        return;
    }
    if (written.verification->outcome == board::Verification::Outcome::Differs) {
        m_image.setTexts(written.verification->found);
        m_image.setAllStates(CellState::Read);
    }
    markUnverified(check);
    showReport(m_prompts, this, check.failure);
}

BoardWindow::Programmed BoardWindow::programBoard(const QString& caption,
                                                  const Operation& program) {
    const board::Result result = runOnBoard(
        caption,
        [&](Exchange& exchange, board::ReplyControl reply) {
            board::Result r = program(exchange, reply);
            // Read back, when asked, only once the programming's own frames are out; after a
            // write whose acknowledgements did not add up too, to tell what the board holds.
            if ((r.outcome == board::Outcome::Done || r.outcome == board::Outcome::WriteFailed) &&
                verifying())
                r = board::readBack(exchange, std::move(r), true);
            return r;
        },
        CellState::Written);
    if (result.outcome == board::Outcome::WriteFailed) {
        const std::optional<Report> held =
            showHeldImage(result.verification, result.cells, kBoardErrorText);
        if (!held) return {result, reportFor(result, replyControl(), true)};
        // The reply control silences a failed write, but never a board that does not hold
        // what was programmed.
        const bool holds = result.verification->outcome == board::Verification::Outcome::Matches;
        if (holds && replyControl() == board::ReplyControl::Non) return {result, std::nullopt};
        return {result, held};
    }
    const Verification check = verificationOf(result.verification, result.cells);
    markUnverified(check);
    // A failed verification is the one report the reply control does not silence: the
    // board does not hold what the technician programmed.
    if (check.failure) return {result, check.failure};
    std::optional<Report> report = reportFor(result, replyControl(), true);
    if (report && check.verified && result.outcome == board::Outcome::Done)
        report->text += kVerifiedSuffix;
    return {result, report};
}

}  // namespace trv
