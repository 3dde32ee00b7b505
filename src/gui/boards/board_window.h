#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "boards/grid_controls.h"
#include "image/eeprom_image.h"
#include "protocol/board_operations.h"
#include "protocol/image_transfer.h"
#include "ui/prompts.h"

namespace trv {

class Exchange;
class Link;

// The board windows' messages after an exchange.
inline const QString kBoardErrorText = QStringLiteral(
    "Une erreur est survenue. Veuillez recommencer ou  vérifier directement sur l'afficheur.");
inline const QString kReadDoneText = QStringLiteral("Lecture effectuée avec succés.");
inline const QString kProgramDoneText = QStringLiteral("Programmation effectuée avec succés.");
inline const QString kBlankText =
    QStringLiteral("EEPROM vièrge ou corrompue. Programmer les paramètres.");
// A read whose answers hold characters that are not bytes: the link is at fault, not the EEPROM.
inline const QString kNotBytesText = QStringLiteral(
    "La carte a répondu des caractères qui ne sont pas des octets : liaison perturbée ?");
// Added to the success message when the image read back equals the image written.
inline const QString kVerifiedSuffix = QStringLiteral(" Vérifiée.");
// After a write whose acknowledgements did not add up, when the read-back equals the image.
inline const QString kHeldAnywayText =
    QStringLiteral("La carte contient pourtant l'image envoyée (relue et vérifiée).");
inline const QString kRestoreCaption = QStringLiteral("Restaurer sur la carte…");
inline const QString kRestoredText = QStringLiteral(
    "Restauration effectuée avec succés : la carte contient l'image choisie, "
    "octet pour octet (relue et vérifiée).");

// The file dialogs' filters for image files.
inline const QString kImageSaveFilter =
    QStringLiteral("Image Intel HEX (*.hex *.eep);;Image binaire (*.bin);;Tous les fichiers (*)");
inline const QString kImageOpenFilter =
    QStringLiteral("Image EEPROM (*.hex *.eep *.bin);;Tous les fichiers (*)");

// What an operation tells the user once its exchange with the board is over.
struct Report {
    msg::Kind kind;
    QString text;
};
// Shown after the exchange, so the message comes without the busy cursor.
void showReport(Prompts& prompts, QWidget* parent, const std::optional<Report>& report);
// Asks for a file name (".hex" when none is typed) and writes the image there; a file that
// cannot be written is reported, and the folder is remembered for the next time.
void saveImageAs(Prompts& prompts, QWidget* parent, const QString& title, const QString& initial,
                 const ImageBytes& bytes);
// The message a board operation's outcome calls for under the reply control.
std::optional<Report> reportFor(const board::Result& result, board::ReplyControl reply,
                                bool programming);

// What the counter, luminosity and microswitch windows share: the link, their own EEPROM
// image with its grid, the grid's "Lire " and "Envoi", and refusing to close while an
// exchange with the board runs.
class BoardWindow : public QWidget {
    Q_OBJECT
public:
    // replyControl gives the settings window's reply control at the time of an operation.
    using ReplyControl = std::function<board::ReplyControl()>;

    BoardWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                GridControls::Placement placement, ReadVariant readVariant, QWidget* parent);

    EepromImage& image() { return m_image; }
    // The windows are laid out by position at a given client size, which is their natural
    // size inside a frame.
    QSize sizeHint() const override { return size(); }
    GridControls& grid() { return *m_grid; }

    // "Vérifier après programmation": asked after every write the board took.
    using VerifySetting = std::function<bool()>;
    void setVerifySetting(VerifySetting setting) { m_verify = std::move(setting); }

    // The "&Image" menu on this window's grid. Saving refuses a grid holding a cell that is
    // not a byte; loading shows the image in the window's fields as a read would, without
    // any board traffic, its cells marked loaded.
    void saveGridImage();
    void loadImageIntoGrid();
    void loadImage(const ImageBytes& bytes);
    // Reads the board's image into a scratch image (the grid's "Lire " transaction), marks
    // the grid's cells that differ and lists the differences by setting.
    void compareWithBoard();
    // The same comparison with an image kept elsewhere; `otherName` names its side ("image"),
    // `description` the image in the message ("la carte").
    void compareWithImage(const ImageBytes& other, const QString& otherName,
                          const QString& description);
    // "Restaurer sur la carte…": reads the board, lists how it differs from `chosen`, and once
    // the technician confirms, writes all 128 bytes with the grid's write, reads them back and
    // says whether the board now equals the image. `description` names the image ("l'image
    // lue le …"). The grid then shows what the board holds.
    void restoreImage(const ImageBytes& chosen, const QString& description);
    // The same with an image file the technician picks.
    void restoreImageFromFile();

protected:
    using Operation = std::function<board::Result(Exchange&, board::ReplyControl)>;

    Link& link() { return m_link; }
    Prompts& prompts() { return m_prompts; }
    board::ReplyControl replyControl() const;
    // Runs a board operation from this window and shows the image it leaves in the grid:
    // marked `done` once the operation completed, "Er" and failed after a silent board or a
    // failed write. caption: the button that asked, for the traffic trace.
    board::Result runOnBoard(const QString& caption, const Operation& operation, CellState done);
    // Reads the board, hands a good image to show, and reports as the reply control asks.
    void readBoard(const QString& caption, const Operation& read,
                   const std::function<void(const CellTexts&)>& show);
    void closeEvent(QCloseEvent* event) override;
    // The grid takes the focus only where it can be seen; a focus left in a part that went
    // out of view moves on to a visible control.
    void resizeEvent(QResizeEvent* event) override;

    // Shows an image just loaded into the grid in the window's fields, as a read would.
    virtual void showLoadedImage(const CellTexts& cells);
    // The addresses this window's programming encodes; the rest go back as the board has them.
    virtual QList<int> programmedAddresses() const { return {}; }
    // For a programming from a loaded image (light-blue cells): asks, before the write, whether
    // to go on when the image's bytes outside this window's settings differ from what will be
    // written, naming those settings; declined, nothing is written. Empty when the grid holds
    // no loaded image.
    board::ConfirmWrite loadedImageCheck();

    // A programming operation, with the read-back that "Vérifier après programmation" asks
    // for after its last frame, and the report it calls for: a failed verification replaces
    // the success message (and marks the differing cells failed), a good one adds " Vérifiée.".
    struct Programmed {
        board::Result result;
        std::optional<Report> report;
    };
    Programmed programBoard(const QString& caption, const Operation& program);

private:
    // The file dialog and reading of an image file: the bytes, or nothing once the technician
    // cancelled or was told why the file was refused. *name: the file chosen.
    std::optional<ImageBytes> chooseImageFile(const QString& title, QString* name);

    struct Verification {
        bool verified = false;          // the read-back equals the image written
        std::optional<Report> failure;  // shown in place of the success message
        QList<int> addresses;           // the cells that did not take
        bool portLost = false;          // the port went away during the read-back
    };
    // "Vérifier après programmation" is on.
    bool verifying() const;
    // What a read-back of the image sent calls for (nothing without one).
    static Verification verificationOf(const std::optional<board::Verification>& back,
                                       const CellTexts& sent);
    void markUnverified(const Verification& check);
    // After a write the board did not acknowledge as it should, a read-back that found an image
    // shows that image in the grid (the cells that differ failed) in place of the "Er" marks,
    // and says what the board holds after `failure`. Nothing without such a read-back.
    std::optional<Report> showHeldImage(const std::optional<board::Verification>& back,
                                        const CellTexts& sent, const QString& failure);
    void readFromGrid();
    void writeFromGrid();

    Link& m_link;
    Prompts& m_prompts;
    ReplyControl m_replyControl;
    ReadVariant m_readVariant;
    EepromImage m_image;
    GridControls* m_grid = nullptr;
    VerifySetting m_verify;
};

}  // namespace trv
