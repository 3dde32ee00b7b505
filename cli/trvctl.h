#pragma once

#include <QStringList>
#include <QTextStream>

// trvctl: parse, run on the board library, print. Results go to out, messages and the
// progress line to err.
namespace trv::cli {

class Tracer;

struct Streams {
    QTextStream& out;
    QTextStream& err;
    bool progress = false;     // err is a terminal: one progress line, rewritten in place
    Tracer* tracer = nullptr;  // --trace: where the ports' traffic is gathered
};

// Runs one invocation; returns the exit status.
int run(const QStringList& arguments, Streams streams);

}  // namespace trv::cli
