// trv-soak: a long random run of board operations through the board library against the
// simulated board on a pseudo-terminal, with the board's faults switched at random between
// operations. After every operation the judge (soak_checker.h) compares what the program
// reported with the board's true memory and what it received. The seed is printed and can be
// given back, so any run can be replayed. Several lanes, each a board on its own port with
// its own sequence, run side by side, as the library allows one exchange per thread and port.
// Ends with one line: operations, faults injected, violations, resident-memory growth; the
// exit status is 1 when anything was violated.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "image/image_history.h"
#include "port/qt_serial_port.h"
#include "protocol/board_operations.h"
#include "protocol/clock.h"
#include "protocol/exchange.h"
#include "protocol/image_transfer.h"
#include "protocol/wire.h"
#include "sim/pty_board.h"
#include "soak_checker.h"

namespace {

using namespace trv;
using soak::Kind;

constexpr int kFirstPort = 11;

struct Options {
    int operations = 2000;
    quint64 seed = 0;
    bool seedGiven = false;
    enum class Pacing { WhereItMatters, Always, Never } pacing = Pacing::WhereItMatters;
    int faultPercent = 50;
    int lanes = 4;
    bool verbose = false;
};

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

class Soak {
public:
    // Lane n drives its own board on its own port with a generator of its own, so lanes run
    // side by side and a seed replays every one of them.
    Soak(const Options& options, int lane, const QString& dataFolder)
        : m_options(options),
          m_lane(lane),
          m_random(seedOf(options.seed, lane)),
          m_board(boardOptions(kFirstPort + lane, dataFolder)),
          m_history(dataFolder + QStringLiteral("/historique-%1").arg(lane)) {}

    bool start() {
        if (!m_board.start()) {
            std::fprintf(stderr, "trv-soak: simulated board: %s\n",
                         qPrintable(m_board.errorString()));
            return false;
        }
        m_lastWritten = cellTexts(m_board.eeprom());
        return reopenPort();
    }

    // One operation with its faults, judged. False when the run cannot go on.
    bool step(int number) {
        const sim::Faults faults = pickFaults();
        if (faults != sim::Faults{}) ++m_faultsInjected;
        m_board.setPacing(m_options.pacing == Options::Pacing::Always ||
                          (m_options.pacing == Options::Pacing::WhereItMatters &&
                           (faults.delayMs > 0 || faults.pauseMs > 0)));
        m_board.setFaults(faults);
        m_board.clearReceived();

        soak::Record record;
        record.kind = Kind(below(soak::kKindCount));
        record.boardBefore = m_board.eeprom();
        record.boardSilent = faults.silent;
        run(record);
        record.boardAfter = m_board.eeprom();
        record.commands = commandsOf(m_board.received());
        keepHistory(record);

        const QStringList broken = soak::check(record);
        m_violations += int(broken.size());
        for (const QString& what : broken)
            std::printf("lane %d operation %d (%s, faults %s): %s\n", m_lane, number,
                        qPrintable(soak::kindName(record.kind)),
                        qPrintable(sim::faultsText(faults)), qPrintable(what));
        if (m_options.verbose)
            std::printf(
                "%d %5d %-18s %-9s %s\n", m_lane, number, qPrintable(soak::kindName(record.kind)),
                record.success ? "success" : "failure", qPrintable(sim::faultsText(faults)));
        std::fflush(stdout);

        // Faults change only between operations; a port that went away is opened again once
        // it is back, as the technician would validate the settings again.
        m_board.setFaults({});
        if (faults.vanishAfter > 0 || !m_port.isOpen()) return reopenPort();
        return true;
    }

    int faultsInjected() const { return m_faultsInjected; }
    int violations() const { return m_violations; }

private:
    static std::seed_seq::result_type seedOf(quint64 seed, int lane) {
        std::seed_seq sequence{quint32(seed), quint32(seed >> 32), quint32(lane)};
        std::seed_seq::result_type value;
        sequence.generate(&value, &value + 1);
        return value;
    }

    static sim::PtyBoard::Options boardOptions(int port, const QString& folder) {
        sim::PtyBoard::Options options;
        options.port = port;
        options.pacing = false;
        options.imagePath = folder + QStringLiteral("/eeprom-%1.bin").arg(port);
        return options;
    }

    int port() const { return kFirstPort + m_lane; }

    int below(int n) { return int(m_random() % quint64(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }

    // Half the operations (by default) meet one fault, now and then two at once.
    sim::Faults pickFaults() {
        sim::Faults faults;
        if (below(100) >= m_options.faultPercent) return faults;
        const int count = below(5) == 0 ? 2 : 1;
        for (int i = 0; i < count; ++i) {
            switch (below(9)) {
                case 0:
                    faults.silent = true;
                    break;
                case 1:
                    faults.cut = between(1, 800);
                    break;
                case 2:
                    faults.extra = between(1, 12);
                    break;
                case 3:
                    faults.garbage = true;
                    break;
                case 4:
                    faults.noise = between(1, 12);
                    break;
                case 5:
                    faults.delayMs = between(850, 1150);
                    break;  // near the 1 s reply limit
                case 6:
                    faults.pauseMs = between(200, 1500);
                    break;  // a reply cut in the middle
                case 7:
                    faults.unwritten = below(kImageSize);
                    break;
                default:
                    faults.vanishAfter = between(1, 2400);  // anywhere in the longest operation
                    faults.vanishMs = between(100, 1500);
                    break;
            }
        }
        return faults;
    }

    bool reopenPort() {
        m_port.close();
        QElapsedTimer waited;
        waited.start();
        while (!m_board.isPresent() && waited.elapsed() < 10000) QThread::msleep(20);
        if (m_port.open(port())) return true;
        std::fprintf(stderr, "trv-soak: the simulated board's port does not open again\n");
        return false;
    }

    board::ReplyControl replyControl() {
        return below(2) ? board::ReplyControl::Oui : board::ReplyControl::Non;
    }

    CellTexts randomImage() {
        // Mostly the board's own image with a few bytes changed, so that its signature and
        // settings stay readable; sometimes anything at all.
        ImageBytes bytes = m_board.eeprom();
        if (below(4) == 0) {
            for (quint8& b : bytes) b = quint8(below(256));
        } else {
            for (int n = between(1, 8); n > 0; --n)
                bytes[std::size_t(below(kImageSize))] = quint8(below(256));
        }
        return cellTexts(bytes);
    }

    board::CounterSettings counterSettings() {
        board::CounterSettings s;
        for (auto& value : s.values) {
            if (below(3) == 0) continue;
            value = counter::ValueText{QString::number(between(0, 999999)),
                                       QString::number(between(0, 99))};
        }
        for (auto& colour : s.colours) colour = counter::ColourCode(below(4));
        s.polrel1 = below(2) == 0;
        s.polrel2 = below(2) == 0;
        return s;
    }

    board::LuminositySettings luminositySettings() {
        board::LuminositySettings s;
        if (below(4)) s.mode = below(7);
        if (below(4)) s.period = between(1, 128);
        if (below(4)) s.threshold = between(0, 15);
        return s;
    }

    // A programming operation counts as a success only once the board's image read back
    // matches what was sent, as "Vérifier après programmation" does.
    void verified(soak::Record& r, Exchange& ex) {
        const board::Verification v = board::verifyImage(ex, r.cells);
        r.success = v.outcome == board::Verification::Outcome::Matches;
        r.portLost = v.outcome == board::Verification::Outcome::PortLost;
        if (r.success) m_lastWritten = r.cells;
    }

    // A port lost before the image came in is a failed read, as a silent board's is: nothing
    // may be written after it and no byte may stay. Lost later, the read had completed.
    static bool readFailed(const board::Result& result, bool programs) {
        if (result.outcome == board::Outcome::BoardSilent) return true;
        if (result.outcome != board::Outcome::PortLost) return false;
        if (programs) return !result.found;
        return std::none_of(result.cells.begin(), result.cells.end(), isByteText);
    }

    void run(soak::Record& r) {
        Exchange ex(m_port, m_clock);
        r.cells.fill(QStringLiteral("Er"));  // nothing from an earlier operation can pass
        switch (r.kind) {
            case Kind::ReadImage: {
                const ReadOutcome read = readImage(ex, r.cells);
                r.success = read == ReadOutcome::Read;
                r.portLost = read == ReadOutcome::Lost;
                r.readFailed = !r.success;
                if (!r.success) r.cells.fill(QStringLiteral("Er"));
                break;
            }
            case Kind::WriteImage: {
                r.cells = randomImage();
                const WriteOutcome written = writeImage(ex, r.cells);
                r.portLost = written == WriteOutcome::Lost;
                if (written == WriteOutcome::Written) verified(r, ex);
                break;
            }
            case Kind::ReadCounter:
            case Kind::ReadLuminosity:
            case Kind::ReadSwitches: {
                const board::ReplyControl reply = replyControl();
                const board::Result result =
                    r.kind == Kind::ReadCounter      ? board::readCounter(ex, reply)
                    : r.kind == Kind::ReadLuminosity ? board::readLuminosity(ex, reply)
                                                     : board::readSwitches(ex, reply);
                r.cells = result.cells;
                r.success = result.outcome == board::Outcome::Done;
                r.portLost = result.outcome == board::Outcome::PortLost;
                r.readFailed = readFailed(result, false);
                break;
            }
            case Kind::ProgramCounter:
            case Kind::ProgramLuminosity: {
                const board::ReplyControl reply = replyControl();
                const board::Result result =
                    r.kind == Kind::ProgramCounter
                        ? board::programCounter(ex, reply, counterSettings())
                        : board::programLuminosity(ex, reply, luminositySettings());
                r.cells = result.cells;
                r.portLost = result.outcome == board::Outcome::PortLost;
                r.readFailed = readFailed(result, true);
                if (result.outcome == board::Outcome::Done) verified(r, ex);
                break;
            }
            case Kind::Verify: {
                const board::Verification v = board::verifyImage(ex, m_lastWritten);
                r.cells = v.found;
                r.success = v.outcome == board::Verification::Outcome::Matches;
                r.portLost = v.outcome == board::Verification::Outcome::PortLost;
                r.readFailed = v.outcome == board::Verification::Outcome::BoardSilent || r.portLost;
                break;
            }
        }
    }

    // Every image read or written is recorded, as the windows do; the judge reads it back.
    void keepHistory(soak::Record& r) {
        if (!r.success) return;
        const std::optional<ImageBytes> bytes = imageBytes(r.cells);
        if (!bytes) return;
        const history::ImageHistory::Recorded recorded = m_history.record(
            *bytes, port(), QStringLiteral("soak"),
            soak::writes(r.kind) ? history::Direction::Written : history::Direction::Read);
        if (recorded.path.isEmpty()) {
            r.historyFiles << QStringLiteral("(not recorded: %1)").arg(recorded.error);
            return;
        }
        r.historyFiles << recorded.path;
        r.historyImages << *bytes;
    }

    // The command of every whole frame in what the board received.
    static QByteArrayList commandsOf(const QByteArray& bytes) {
        QByteArrayList commands;
        using namespace wire;
        for (qsizetype at = bytes.indexOf(kFramePrefix); at >= 0 && at + kFrameSize <= bytes.size();
             at = bytes.indexOf(kFramePrefix, at + 1))
            if (bytes[at + kFrameSize - 1] == kEtx)
                commands << bytes.mid(at + kFramePrefix.size(), kCommandSize);
        return commands;
    }

    Options m_options;
    int m_lane;
    std::mt19937_64 m_random;
    sim::PtyBoard m_board;
    QtSerialPort m_port;
    SteadyClock m_clock;
    history::ImageHistory m_history;
    CellTexts m_lastWritten;
    int m_faultsInjected = 0;
    int m_violations = 0;
};

bool parse(const QStringList& args, Options* options) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        auto value = [&](auto* out) {
            if (i + 1 >= args.size()) return false;
            bool ok = false;
            *out = decltype(+*out)(args[++i].toULongLong(&ok));
            return ok;
        };
        if (arg == u"--operations") {
            if (!value(&options->operations) || options->operations < 1) return false;
        } else if (arg == u"--seed") {
            if (!value(&options->seed)) return false;
            options->seedGiven = true;
        } else if (arg == u"--lanes") {
            if (!value(&options->lanes) || options->lanes < 1 || options->lanes > 32) return false;
        } else if (arg == u"--fault-percent") {
            if (!value(&options->faultPercent) || options->faultPercent > 100) return false;
        } else if (arg == u"--paced") {
            options->pacing = Options::Pacing::Always;
        } else if (arg == u"--unpaced") {
            options->pacing = Options::Pacing::Never;
        } else if (arg == u"--verbose") {
            options->verbose = true;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QTemporaryDir data;
    if (!data.isValid()) return 2;
    // The board's port link and the history live in a folder of the run's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), &options)) {
        std::fprintf(stderr,
                     "usage: trv-soak [--operations N] [--seed N] [--lanes N] [--fault-percent P]\n"
                     "                [--paced | --unpaced] [--verbose]\n"
                     "  N lanes (4 by default) run side by side, each with a board of its own.\n"
                     "  The simulated board is paced at 9600 baud for the operations whose\n"
                     "  faults are about time (delay, pause) unless --paced or --unpaced.\n");
        return 2;
    }
    if (!options.seedGiven)
        options.seed =
            quint64(std::chrono::steady_clock::now().time_since_epoch().count()) % 1'000'000'007ULL;
    std::printf("trv-soak: seed %llu, %d operations, %d lanes\n",
                static_cast<unsigned long long>(options.seed), options.operations, options.lanes);
    std::fflush(stdout);

    // Each lane runs its share on a thread of its own; this thread watches the memory, taken
    // from the end of a warm-up once every kind of operation has run.
    std::atomic<int> done{0};
    std::atomic<int> faults{0};
    std::atomic<int> violations{0};
    std::atomic<bool> failed{false};
    // QThreads, for the serial port's notifiers.
    std::vector<std::unique_ptr<QThread>> lanes;
    QElapsedTimer clock;
    clock.start();
    for (int lane = 0; lane < options.lanes; ++lane) {
        const int share = options.operations / options.lanes +
                          (lane < options.operations % options.lanes ? 1 : 0);
        lanes.emplace_back(QThread::create([&, lane, share] {
            Soak soak(options, lane, data.path());
            bool ok = soak.start();
            for (int n = 1; ok && n <= share; ++n) {
                ok = soak.step(n);
                if (ok) ++done;
            }
            faults += soak.faultsInjected();
            violations += soak.violations();
            if (!ok) failed = true;
        }));
        lanes.back()->start();
    }
    const int warmUp = std::min(options.operations / 10, 50 * options.lanes);
    double rssStart = residentMb();
    bool warm = false;
    for (bool running = true; running;) {
        QThread::msleep(100);
        if (!warm && done >= warmUp) {
            rssStart = residentMb();
            warm = true;
        }
        running = done < options.operations && !failed;
        if (!running) break;
    }
    for (const auto& lane : lanes) lane->wait();
    const double rssEnd = residentMb();
    std::printf(
        "trv-soak: %d operations, %d faults injected, %d violations, resident memory "
        "%+.2f MB (%.1f to %.1f MB), %.0f s, seed %llu, %d lanes\n",
        done.load(), faults.load(), violations.load(), rssEnd - rssStart, rssStart, rssEnd,
        double(clock.elapsed()) / 1000.0, static_cast<unsigned long long>(options.seed),
        options.lanes);
    return violations == 0 && done == options.operations ? 0 : 1;
}
