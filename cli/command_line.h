#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "port/network_address.h"
#include "protocol/board_operations.h"

// What trvctl was asked to do, read from its arguments. Everything is checked here, before
// any port is opened or any frame sent.
namespace trv::cli {

// Exit statuses; with several ports the worst one wins.
enum Status : int {
    kOk = 0,
    kBoardFailed = 1,    // a board did not answer, a verification or comparison found a difference
    kUsage = 2,          // bad usage or a file that cannot be read or written
    kPortClosed = 3,     // a port would not open
    kInterrupted = 130,  // Ctrl+C (SIGINT) or SIGTERM: stopped at a frame boundary
};

enum class Command { Help, Version, Ports, Detect, Read, Write, Show, Set, Diff, Ping };

// A port a command works on: a COM number (which may itself lead to an address), or the
// address of a serial device server given directly (number 0).
struct PortChoice {
    int number = 0;
    std::optional<NetworkAddress> address;
    // How the results name it: "COM3", or the address given.
    QString name() const;
    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

// Where an image comes from: a file, or the boards on a list of ports.
struct Source {
    QString file;
    QList<PortChoice> ports;
};

// The settings `set` programs. The counter's go through the counter window's programming,
// the luminosity's through the luminosity window's "Envoi".
struct SettingChanges {
    board::CounterSettings counter;
    board::LuminositySettings luminosity;
    bool anyCounter = false;
    bool anyLuminosity = false;
    // Every counter setting given: nothing of the counter is taken from the board, so a
    // blank board may be programmed.
    bool counterComplete = false;
};

struct Invocation {
    Command command = Command::Help;
    QList<PortChoice> ports;
    QString output;  // read -o
    QString file;    // write FILE, show FILE
    Source left;     // diff
    Source right;
    SettingChanges changes;  // set
    bool verify = true;
    bool json = false;
    int count = 4;                  // ping -n
    QString trace;                  // --trace: where the traffic goes, as text
    std::optional<Command> helpOn;  // help: the command it is about, none for the whole help
};

struct Parsed {
    std::optional<Invocation> invocation;
    QString error;  // French, when there is no invocation
};

Parsed parse(const QStringList& arguments);  // without the program's name

// "3", "3,4,5", "1,4-6": distinct port numbers 1 to 255, in the order given, mixed with
// addresses ("3,rfc2217://10.0.0.5:4001"); "all": every port that has a link or an address in
// the ports folder, in ascending order.
std::optional<QList<PortChoice>> parsePorts(const QString& text, QString* error);
// "depart=12,00" ...; every name known, every value in range, no name twice.
std::optional<SettingChanges> parseSettings(const QStringList& assignments, QString* error);

QString helpText();
// One command's help: its usage, what it does, its options and its exit statuses.
QString commandHelp(Command command);
// The command's name as typed ("read").
QString commandName(Command command);

}  // namespace trv::cli
