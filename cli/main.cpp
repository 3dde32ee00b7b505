#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "program/program.h"
#include "trvctl.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    trv::nameProgram(QStringLiteral("trvctl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
#ifdef Q_OS_UNIX
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
#else
    const bool terminal = false;
#endif
    trv::cli::Streams streams{out, err, terminal};
    streams.stop = trv::cli::stopOnInterruption();
    return trv::cli::run(QCoreApplication::arguments().mid(1), streams);
}
