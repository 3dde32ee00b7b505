// Transfer benchmark: wall and processor time of a whole-image read, a whole-image write and
// a detection scan against the simulated board at the real 9600-baud pacing, each beside its
// lower bound; then trvctl's read, write and set from process start to exit (its processor
// time is the whole process's), and one read on three boards at once beside one alone; then
// trvctl's read and write through ser2net on loopback (RFC 2217), and one read on four boards
// behind that one server beside one alone. The
// processor time is the program's own thread's (the simulated board runs on a thread of its own and
// is not counted).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "image/eeprom_image.h"
#include "link/link.h"
#include "link/window_exchange.h"
#include "port/qt_serial_port.h"
#include "protocol/image_transfer.h"
#include "ser2net.h"
#include "sim/pty_board.h"
#include "tools/detect.h"
#include "tools/traffic_monitor.h"
#include "ui/prompts.h"

namespace {
constexpr double kMsPerByte = 10.0 * 1000.0 / 9600.0;  // ten bits a byte at 9600 baud

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
};

template <typename Run>
Sample measure(Run run) {
    QElapsedTimer wall;
    const double cpu0 = threadCpuMs();
    wall.start();
    run();
    return {double(wall.nsecsElapsed()) / 1e6, threadCpuMs() - cpu0};
}

// Resident memory of the process, in megabytes.
double residentMb() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// A program run to its end: wall time from start to exit, and its processor time.
struct ProcessSample {
    double wallMs = 0;
    double cpuMs = 0;
    int status = -1;
};

ProcessSample runProcess(const char* path, std::vector<const char*> args) {
    args.insert(args.begin(), path);
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    ProcessSample s;
    if (posix_spawn(&pid, path, &actions, nullptr, const_cast<char* const*>(args.data()),
                    environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            s.wallMs = double(wall.nsecsElapsed()) / 1e6;
            s.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
            s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

void report(const char* name, const Sample& s, double boundMs) {
    std::printf("%-34s wall %8.1f ms  bound %8.1f ms  wall/bound %.3f  CPU/wall %.4f\n", name,
                s.wallMs, boundMs, s.wallMs / boundMs, s.cpuMs / s.wallMs);
}
}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);

    trv::sim::PtyBoard::Options options;
    options.port = 3;
    options.pacing = true;
    trv::sim::PtyBoard board(options);
    if (!board.start()) {
        std::fprintf(stderr, "simulated board: %s\n", qPrintable(board.errorString()));
        return 1;
    }
    trv::Link link(std::make_unique<trv::QtSerialPort>());
    if (!link.port().open(3)) {
        std::fprintf(stderr, "cannot open the simulated board's port\n");
        return 1;
    }
    link.setPortOpen(true);
    trv::PlatformPrompts prompts;
    trv::EepromImage image;

    // Read: settle, then the 1,064-byte transaction on the wire; the 788 characters the
    // read waits for are all sent by the board while the transaction is still going out.
    const double readBound = 500 + 1064 * kMsPerByte;
    // Write: settle, the 1,280-byte transaction, the acknowledgement of the last "WWW".
    const double writeBound = 500 + 1280 * kMsPerByte + 5 * kMsPerByte;
    // Scan: the board's port answers its 8-byte probe with 5 bytes; the other 13 ports
    // have no device and cost nothing on the line.
    const double scanBound = 8 * kMsPerByte + 5 * kMsPerByte;

    bool failedRead = false;
    bool failedWrite = false;
    constexpr int kRounds = 3;
    // Rounds of a whole-image read then write, each beside its bound.
    const auto transfers = [&](const char* readName, const char* writeName) {
        for (int round = 0; round < kRounds; ++round) {
            const Sample read = measure([&] {
                trv::WindowExchange ex(link, prompts, nullptr, {});
                failedRead |= trv::LIT_24C01(ex, image) != trv::ReadOutcome::Read;
            });
            const Sample write = measure([&] {
                trv::WindowExchange ex(link, prompts, nullptr, {});
                failedWrite |= trv::ECRIT_24C01(ex, image) != trv::WriteOutcome::Written;
            });
            report(readName, read, readBound);
            report(writeName, write, writeBound);
        }
    };
    transfers("whole-image read (LIT_24C01)", "whole-image write (ECRIT_24C01)");
    // The same transfers with the traffic monitor open, shown and recording.
    {
        trv::TrafficMonitor monitor(link, prompts);
        monitor.show();
        transfers("read, traffic monitor open", "write, traffic monitor open");
        monitor.refresh();

        // A full monitor: the recorded traffic replayed until it holds 100,000 rows.
        const double before = residentMb();
        {
            trv::TrafficMonitor full(link, prompts);
            full.show();
            trv::trace::TraceLog& log = full.log();
            const trv::trace::TraceLog& seen = monitor.log();
            trv::TrafficObserver::Time at{0};
            while (log.size() < trv::trace::TraceLog::kDefaultLimit || log.firstId() == 0) {
                for (quint64 id = seen.firstId(); id < seen.endId(); ++id) {
                    const trv::trace::Row& r = seen.row(id);
                    at += std::chrono::microseconds(1000);
                    if (r.kind == trv::trace::RowKind::Operation)
                        log.operationStarted(r.text, at);
                    else if (r.kind == trv::trace::RowKind::Sent)
                        log.bytesSent(r.bytes, at, 9600);
                    else
                        log.bytesReceived(r.bytes, at, false);
                }
            }
            full.refresh();
            QCoreApplication::processEvents();
            const double after = residentMb();
            std::printf("%-34s %d rows  %.1f MB more than without it\n", "traffic monitor, full",
                        int(log.size()), after - before);
        }
    }

    trv::Detect detect(link, prompts);
    detect.show();
    // The first scan also pays for the window's first painting and font loading.
    report("detection scan, first (cold)", measure([&] { detect.scan(); }), scanBound);
    for (int round = 0; round < kRounds; ++round)
        report("detection scan, one board", measure([&] { detect.scan(); }), scanBound);

    // A free port without a board costs the probe's line time and the whole second.
    trv::sim::PtyBoard::Options quietOptions;
    quietOptions.port = 5;
    quietOptions.faults.silent = true;
    trv::sim::PtyBoard quiet(quietOptions);
    if (!quiet.start()) {
        std::fprintf(stderr, "simulated free port: %s\n", qPrintable(quiet.errorString()));
        return 1;
    }
    const double freePortBound = scanBound + 8 * kMsPerByte + 1000;
    for (int round = 0; round < kRounds; ++round)
        report("detection scan, board + free port", measure([&] { detect.scan(); }), freePortBound);
#ifdef TRV_TRVCTL_PATH
    // The command line, process start to exit. The program's own port lets go of COM3 first.
    link.port().close();
    trv::sim::PtyBoard::Options more = options;
    more.port = 6;
    trv::sim::PtyBoard sixth(more);
    more.port = 7;
    trv::sim::PtyBoard seventh(more);
    if (!sixth.start() || !seventh.start()) {
        std::fprintf(stderr, "simulated boards 6 and 7 did not start\n");
        return 1;
    }
    const QString imageFile = home.filePath(QStringLiteral("bench.hex"));
    // Write: the board's image is read (and kept in the history) before the write.
    const double cliWriteBound = readBound + writeBound;
    // Set: five settle waits (wake-up, read, before the write, write, after "OOO"), the read
    // transaction and the write transaction with its last acknowledgement.
    const double cliSetBound = 5 * 500 + 1064 * kMsPerByte + 1285 * kMsPerByte;
    bool cliFailed = false;
    auto trvctl = [&](const char* name, std::vector<const char*> args, double bound) {
        const ProcessSample p = runProcess(TRV_TRVCTL_PATH, args);
        cliFailed |= p.status != 0;
        report(name, {p.wallMs, p.cpuMs}, bound);
        return p.wallMs;
    };
    for (int round = 0; round < kRounds; ++round) {
        trvctl("trvctl read -o", {"read", "-p", "3", "-o", qPrintable(imageFile)}, readBound);
        trvctl("trvctl write --no-verify",
               {"write", "-p", "3", qPrintable(imageFile), "--no-verify"}, cliWriteBound);
        trvctl("trvctl set --no-verify", {"set", "-p", "3", "depart=12,00", "--no-verify"},
               cliSetBound);
    }
    for (int round = 0; round < kRounds; ++round) {
        const double alone = trvctl("trvctl read, one board", {"read", "-p", "3"}, readBound);
        const double three =
            trvctl("trvctl read, three boards at once", {"read", "-p", "3,6,7"}, readBound);
        std::printf("%-34s three/one %.3f\n", "trvctl read, parallel", three / alone);
    }

    // Through ser2net on loopback: four paced boards behind one server, RFC 2217.
    if (trv::test::Ser2net::program().isEmpty()) {
        std::printf("%-34s skipped: ser2net is not installed\n", "trvctl over RFC 2217");
    } else {
        std::vector<std::unique_ptr<trv::sim::PtyBoard>> served;
        QStringList devices;
        for (int port = 11; port <= 14; ++port) {
            more.port = port;
            served.push_back(std::make_unique<trv::sim::PtyBoard>(more));
            if (!served.back()->start()) {
                std::fprintf(stderr, "simulated board %d: %s\n", port,
                             qPrintable(served.back()->errorString()));
                return 1;
            }
            devices << served.back()->devicePath();
        }
        trv::test::Ser2net server(devices);
        if (!server.start()) {
            std::fprintf(stderr, "ser2net: %s\n", qPrintable(server.error()));
            return 1;
        }
        QStringList addresses;
        for (int i = 0; i < 4; ++i)
            addresses << server.address(i, trv::NetworkAddress::Kind::Rfc2217).text();
        const QByteArray first = addresses[0].toLocal8Bit();
        const QByteArray all = addresses.join(u',').toLocal8Bit();
        for (int round = 0; round < kRounds; ++round) {
            trvctl("trvctl read -o, rfc2217",
                   {"read", "-p", first.constData(), "-o", qPrintable(imageFile)}, readBound);
            trvctl("trvctl write --no-verify, rfc2217",
                   {"write", "-p", first.constData(), qPrintable(imageFile), "--no-verify"},
                   cliWriteBound);
        }
        for (int round = 0; round < kRounds; ++round) {
            const double alone = trvctl("trvctl read, rfc2217, one board",
                                        {"read", "-p", first.constData()}, readBound);
            const double four = trvctl("trvctl read, rfc2217, four boards",
                                       {"read", "-p", all.constData()}, readBound);
            std::printf("%-34s four/one %.3f\n", "trvctl read, rfc2217, parallel", four / alone);
        }
    }
#else
    const bool cliFailed = false;
#endif
    if (failedRead || failedWrite || cliFailed) {
        std::fprintf(stderr, "a transfer failed\n");
        return 1;
    }
    return 0;
}
