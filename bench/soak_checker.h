#pragma once

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <array>

#include "image/eeprom_image.h"

// The soak's judge: after every board operation it compares what the program reported with
// what the simulated board really holds and received. Plain logic, so that a test can hand
// it a fake success and see it caught.
namespace trv::soak {

enum class Kind {
    ReadImage,          // the grid's "Lire "
    WriteImage,         // the grid's "Envoi", verified
    ReadCounter,        // "Lire les paramètres"
    ProgramCounter,     // "Programme les paramètres", verified
    ReadLuminosity,     // "Lit"
    ProgramLuminosity,  // luminosity "Envoi", verified
    ReadSwitches,       // the microswitch window's read
    Verify,             // the board's image compared with the last one written
};
inline constexpr int kKindCount = 8;
QString kindName(Kind kind);
bool writes(Kind kind);  // the operation may write the board's memory

// One operation as the program reported it and as the board lived it.
struct Record {
    Kind kind = Kind::ReadImage;
    bool success = false;     // the program reported a success
    bool readFailed = false;  // the program reported that its whole-image read failed
    // The cells the program holds afterwards: the image read, or the image it says it wrote.
    CellTexts cells;
    ImageBytes boardBefore{};  // the board's memory before and after the operation
    ImageBytes boardAfter{};
    // The command of every frame the board received during the operation, in order.
    QByteArrayList commands;
    bool boardSilent = false;  // the board answered nothing during the whole operation
    bool portLost = false;     // the program said the port went away during the operation
    // History records the operation wrote: their paths and the image each should hold.
    QStringList historyFiles;
    QList<ImageBytes> historyImages;
};

// Every rule the record breaks, in words; empty when it keeps them all:
// - a success leaves the board holding exactly what the program says it wrote, and a read
//   reported as a success holds only the board's bytes and wrote nothing;
// - a failure is never reported as a success (a silent board or a lost port never yields
//   one);
// - nothing is written after a failed read, and a failed read leaves no byte behind;
// - every history record is a complete, valid image file holding the image it records.
QStringList check(const Record& record);

}  // namespace trv::soak
