#pragma once

#include <QList>
#include <array>
#include <functional>
#include <optional>

#include "image/eeprom_image.h"
#include "protocol/clock.h"
#include "protocol/image_transfer.h"
#include "settings/parameter_map.h"

// The board windows' operations as sequences of frames and waits on plain values. Each one
// runs on an exchange handed in and says how it ended; what the user is told, and how the
// image is painted, is the caller's business. A port lost anywhere in an operation outranks
// whatever else it concluded: every operation here ends as PortLost then, on every path.
namespace trv::board {

// The settings window's reply control: "OUI" checks the counter's signature and reports
// every outcome; "NON" reports nothing and always sends the board back to sleep.
enum class ReplyControl { Oui, Non };

enum class Outcome {
    Done,               // read, or programmed and acknowledged
    BoardSilent,        // the whole-image read timed out; nothing was written
    SignatureMismatch,  // the image read holds no signature (blank or corrupt EEPROM)
    NotBytes,           // the read's cells are not all bytes (a disturbed link); not decoded
    CellRefused,        // an image cell is not a byte; nothing was written
    WriteFailed,        // the board did not acknowledge the whole-image write
    PortLost,           // the port went away during the operation (it has closed itself)
    Cancelled,          // the caller declined the image to write; nothing was written
};

// Reads the board's image back and compares it byte for byte with what was sent.
struct Verification {
    enum class Outcome { Matches, Differs, BoardSilent, PortLost } outcome = Outcome::Matches;
    std::optional<int> firstDifference;
    QList<int> addresses;  // Differs: every address that did not take, in order
    CellTexts found;
};
// The image read back is kept in the history as a verification.
Verification verifyImage(Exchange& exchange, const CellTexts& sent);

// The grid's whole-image write, followed by a read-back when verify is set: after a write the
// board acknowledged, and also after one whose acknowledgements did not add up (too few, too
// many), since the board may hold the whole image all the same.
struct WholeWrite {
    WriteOutcome outcome = WriteOutcome::Written;
    std::optional<Verification> verification;
};
WholeWrite writeWholeImage(Exchange& exchange, const CellTexts& cells, bool verify);

// Asked once the image to write is made (the board's image, as the preliminary read found it,
// with the settings encoded into it), before anything is written; false writes nothing.
using ConfirmWrite = std::function<bool(const CellTexts& board, const CellTexts& toWrite)>;

struct Result {
    Outcome outcome = Outcome::Done;
    // The image as read, or as sent when programming; "Er" in every cell after a silent read.
    CellTexts cells;
    // Programming: the image the preliminary read found (empty after a silent read).
    std::optional<CellTexts> found;
    std::optional<int> refusedCell;            // CellRefused: the first cell that is not a byte
    bool countsDown = false;                   // counter programming: the direction it encoded
    int lostPort = 0;                          // PortLost: the COM number that went away
    std::optional<Verification> verification;  // readBack(): what the read-back found
};

// Five "RRR" frames send the board back to sleep. They are pushed onto the line at once, so
// the board is released even while a message waits for the user.
void sendClosingBurst(Exchange& exchange);

// Wake-up burst, "PPP", the whole-image read and the closing burst. A silent board is left
// awake with reply control "OUI" and sent back to sleep otherwise. The counter's read also
// stops, leaving the board awake, on an image without the signature when the reply control
// is "OUI". A read holding cells that are not bytes ends as NotBytes, whatever else it found,
// with the frames the read would otherwise have sent.
Result readCounter(Exchange& exchange, ReplyControl reply);
// The counter's rule for an image in hand, read or loaded from a file: with reply control
// "OUI" an image without the signature is a blank or corrupt EEPROM, and is not decoded.
bool signatureRefused(const CellTexts& cells, ReplyControl reply);
Result readLuminosity(Exchange& exchange, ReplyControl reply);
// The microswitch read ends its read transaction with one more "RRR".
Result readSwitches(Exchange& exchange, ReplyControl reply);

// What counter programming writes. A setting left empty keeps what the board holds; the
// counter window fills them all. The direction (POLREL3) always follows start and end.
struct CounterSettings {
    std::array<std::optional<counter::ValueText>, counter::kProgrammedFields.size()> values;
    std::array<std::optional<counter::ColourCode>, counter::kRangeCount> colours;
    std::optional<bool> polrel1;
    std::optional<bool> polrel2;
};

// Wake-up burst, a fresh read of the whole image, the settings encoded into it with the
// signature, the whole-image write, "OOO" and the closing burst; the cells the settings do not
// own go back as read. A silent read ends as a silent read does: nothing is written.
// With requireSignature, an image without the signature is not programmed over (the board is
// sent back to sleep and the outcome is SignatureMismatch).
// confirm, when given, may decline the write (Outcome::Cancelled, the board sent to sleep).
Result programCounter(Exchange& exchange, ReplyControl reply, const CounterSettings& settings,
                      bool requireSignature = false, const ConfirmWrite& confirm = {});
// The addresses counter programming encodes: its records, range colours, flags and signature.
QList<int> counterAddresses();

// What luminosity programming writes into cells 60 to 62; an empty one keeps the board's byte.
struct LuminositySettings {
    std::optional<int> mode;  // the option `Option1(i)`
    std::optional<int> period;
    std::optional<int> threshold;
};
// As programCounter, with "LLL" after "OOO", and cells 60 to 62 only.
Result programLuminosity(Exchange& exchange, ReplyControl reply, const LuminositySettings& settings,
                         const ConfirmWrite& confirm = {});
// Cells 60 to 62.
QList<int> luminosityAddresses();

// "Vérifier après programmation": once a programming is done, the image it sent is read back
// and compared (Result::verification); with sleepAfter the closing burst follows the read.
// A write whose acknowledgements did not add up (WriteFailed) is read back the same way, so
// the caller can tell what the board holds. Anything else is handed back as it is, with
// nothing sent.
Result readBack(Exchange& exchange, Result programmed, bool sleepAfter);

// Detection: the presence probe, answered within 1 s by exactly "31" STX ACK ETX (a wrong
// answer is dropped and the same second goes on for a right one).
enum class PortState { Absent, Free, Board };
// Opens port n on the exchange's port and probes it; opened() runs once it is open.
PortState detectPort(Exchange& exchange, int portNumber, const std::function<void()>& opened = {});
// What a scan tells its caller, port after port; any of them may be left empty.
struct DetectionSteps {
    std::function<void(int portNumber)> trying;  // before the port is opened
    std::function<void(int portNumber)> opened;  // open, before the probe
    std::function<void(int portNumber, PortState state)> done;
};
// The scan: COM1 to COM14 (kAssignablePorts) in order, one at a time on the exchange's port.
void detectPorts(Exchange& exchange, const DetectionSteps& steps);

}  // namespace trv::board
