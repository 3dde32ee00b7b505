#pragma once

#include <QStringList>
#include <QTextStream>
#include <atomic>

// trvctl: parse, run on the board library, print. Results go to out, messages and the
// progress line to err.
namespace trv::cli {

class Tracer;

struct Streams {
    QTextStream& out;
    QTextStream& err;
    bool progress = false;     // err is a terminal: one progress line, rewritten in place
    Tracer* tracer = nullptr;  // --trace: where the ports' traffic is gathered
    // Set when the run is to stop (Ctrl+C): every exchange stops at its next frame boundary,
    // a write transaction once the board has acknowledged it.
    const std::atomic<bool>* stop = nullptr;
};

// From now on SIGINT and SIGTERM (on Windows: Ctrl+C, Ctrl+Break and the console's closing)
// set the flag returned instead of killing the program, so a run can close its ports, write
// its trace and say what the boards hold; a second Ctrl+C kills as before. Null where the
// system offers neither.
const std::atomic<bool>* stopOnInterruption();

// Runs one invocation; returns the exit status.
int run(const QStringList& arguments, Streams streams);

}  // namespace trv::cli
