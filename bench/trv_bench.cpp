// Transfer benchmark: wall and processor time of a whole-image read, a whole-image write and
// a detection scan against the simulated board at the real 9600-baud pacing, each beside its
// lower bound. The processor time is the program's own thread's (the simulated board runs
// on a thread of its own and is not counted).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "grid/eeprom_image.h"
#include "link/link.h"
#include "link/qt_serial_port.h"
#include "protocol/detect.h"
#include "protocol/image_transfer.h"
#include "protocol/window_exchange.h"
#include "sim/pty_board.h"
#include "trace/traffic_monitor.h"

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
    for (int round = 0; round < kRounds; ++round) {
        const Sample read = measure([&] {
            trv::WindowExchange ex(link, nullptr, {});
            failedRead |= trv::LIT_24C01(ex, image) != trv::ReadOutcome::Read;
        });
        const Sample write = measure([&] {
            trv::WindowExchange ex(link, nullptr, {});
            failedWrite |= trv::ECRIT_24C01(ex, image) != trv::WriteOutcome::Written;
        });
        report("whole-image read (LIT_24C01)", read, readBound);
        report("whole-image write (ECRIT_24C01)", write, writeBound);
    }
    // The same transfers with the traffic monitor open, shown and recording.
    {
        trv::TrafficMonitor monitor(link);
        monitor.show();
        for (int round = 0; round < kRounds; ++round) {
            const Sample read = measure([&] {
                trv::WindowExchange ex(link, nullptr, {});
                failedRead |= trv::LIT_24C01(ex, image) != trv::ReadOutcome::Read;
            });
            const Sample write = measure([&] {
                trv::WindowExchange ex(link, nullptr, {});
                failedWrite |= trv::ECRIT_24C01(ex, image) != trv::WriteOutcome::Written;
            });
            report("read, traffic monitor open", read, readBound);
            report("write, traffic monitor open", write, writeBound);
        }
        monitor.refresh();

        // A full monitor: the recorded traffic replayed until it holds 100,000 rows.
        const double before = residentMb();
        {
            trv::TrafficMonitor full(link);
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

    trv::Detect detect(link);
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
    if (failedRead || failedWrite) {
        std::fprintf(stderr, "a transfer failed\n");
        return 1;
    }
    return 0;
}
