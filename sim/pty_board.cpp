#include "sim/pty_board.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include "port/port_assignment.h"
#include "port/port_map.h"

namespace trv::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// 9600 baud, one start bit, eight data bits, one stop bit.
constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1'000'000'000LL / 9600);
// The tool writes a run of frames back to back; a pause this long ends the run.
constexpr auto kRunGap = 20ms;
constexpr auto kProbeRetry = 300ms;
// Longest sleep when nothing is due; stop() also wakes the thread through a pipe.
constexpr auto kIdleWait = 100ms;

// The text of a symbolic link as it was written (relative or not, dangling or not).
QByteArray readLink(const QByteArray& path) {
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
    return n < 0 ? QByteArray() : target.left(n);
}

// A link to a pseudo-terminal that no longer exists: what a simulator that could not clean
// up leaves behind. Never a user's adapter, whose devices live elsewhere in /dev.
bool isLeftover(const QString& link) {
    const QFileInfo info(link);
    if (!info.isSymLink() || info.exists()) return false;
    const QString target = QDir::cleanPath(
        info.absoluteDir().absoluteFilePath(QFile::decodeName(readLink(QFile::encodeName(link)))));
    return target.startsWith(QLatin1String("/dev/pts/"));
}

QString systemError(const QString& what) {
    return QStringLiteral("%1 : %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Replaces the file in one step, so that a reader (or a crash) never meets half an image.
bool saveImage(const QString& path, const Eeprom& image, QString* error) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("Impossible de créer le dossier %1").arg(info.absolutePath());
        return false;
    }
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                        info.fileName() + QStringLiteral(".XXXXXX"));
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = systemError(
            QStringLiteral("Impossible de créer un fichier dans %1").arg(info.absolutePath()));
        return false;
    }
    // mkstemp makes the file private; the image keeps the mode it had, or the usual one.
    struct stat old {};
    ::fchmod(fd,
             ::stat(QFile::encodeName(path).constData(), &old) == 0 ? old.st_mode & 07777 : 0644);
    const bool written =
        writeAll(fd, reinterpret_cast<const char*>(image.data()), image.size()) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    closeFd(fd);
    if (!written || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        if (written) errno = writeErrno;
        *error = systemError(QStringLiteral("Impossible d'écrire %1").arg(path));
        ::unlink(temp.constData());
        return false;
    }
    // The rename itself must survive a power cut too.
    int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        closeFd(dir);
    }
    return true;
}

bool loadImage(const QString& path, Eeprom* image, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Impossible de lire %1 : %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(kEepromSize + 1);
    if (bytes.size() != kEepromSize) {
        *error = QStringLiteral("%1 ne contient pas une image de %2 octets (%3 octets)")
                     .arg(path)
                     .arg(kEepromSize)
                     .arg(bytes.size());
        return false;
    }
    std::copy(bytes.cbegin(), bytes.cend(), image->begin());
    return true;
}

int msecsUntil(Clock::time_point due, Clock::time_point now) {
    if (due <= now) return 0;
    // Round up: waking a little early would only cost another round.
    return int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
}

}  // namespace

class PtyBoard::Impl {
public:
    explicit Impl(Options options) : options(std::move(options)) {
        model.setEeprom(presetImage(this->options.preset));
        model.setGarbageData(this->options.faults.garbage);
        model.setUnwrittenAddress(this->options.faults.unwritten);
    }

    bool start();
    bool openTerminal();
    void stop();
    void serve();
    void saveIfDirty();

    // Board thread only.
    void onBytes(const char* data, qsizetype size, Clock::time_point now);
    void endRun(Clock::time_point now);
    void enqueue(const QByteArray& bytes, Clock::time_point now);
    void schedule(const QByteArray& bytes, Clock::time_point due);
    bool flushOutput(Clock::time_point now);
    void forgetRun();
    void startAfresh();
    void vanish(Clock::time_point now, int msecs);
    void reappear(Clock::time_point now);
    // Only a link that still leads to target is ours to move or remove: one that someone
    // removed or replaced meanwhile is theirs.
    bool linkLeadsTo(const QString& target) const {
        return !link.isEmpty() && QFileInfo(link).symLinkTarget() == target;
    }

    const Options options;
    QString error;
    QString device;  // guarded by mutex: it changes when the port comes back
    QString link;
    QByteArray previousTarget;  // the link --force replaced, put back on stop
    QByteArray leftoverTarget;  // the dangling pseudo-terminal link replaced at start
    int master = -1;
    int slave = -1;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> pacing{options.pacing};
    std::mutex saveMutex;  // one writer of the file at a time, newest image last

    // Shared with the test hooks.
    mutable std::mutex mutex;
    BoardModel model;
    QByteArray receivedBytes;
    int receivedFile = -1;  // options.receivedPath, open
    Faults faults = options.faults;
    bool dirty = false;           // the EEPROM holds commits the file does not have yet
    qint64 bytesSinceFaults = 0;  // counts towards Faults::vanishAfter
    bool present = false;         // the device exists

    // The line as the board thread sees it.
    QByteArray output;
    Clock::time_point lineFree{};
    bool runActive = false;
    Clock::time_point lastByte{};
    int runFrames = 0;
    qint64 framesSeen = 0;
    QByteArray runFirstCommand;
    QByteArray runReplies;
    Clock::time_point boardFree{};  // Faults::frameDelayMs: when the board takes its next frame
    struct Delayed {
        Clock::time_point due;
        QByteArray bytes;
    };
    std::deque<Delayed> delayed;   // in order of due time
    std::minstd_rand noiseBytes;   // the same noise on every run, so a run can be replayed
    Clock::time_point returnAt{};  // when a vanished port comes back
};

bool PtyBoard::Impl::openTerminal() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        error = systemError(QStringLiteral("Impossible d'ouvrir un pseudo-terminal"));
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
#ifdef __linux__
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) != 0) {
        error = systemError(QStringLiteral("Pseudo-terminal sans nom"));
        return false;
    }
#else
    const char* name = ::ptsname(master);
    if (!name) {
        error = systemError(QStringLiteral("Pseudo-terminal sans nom"));
        return false;
    }
#endif
    {
        std::lock_guard lock(mutex);
        device = QFile::decodeName(name);
    }
    // Held for the whole run: without it the master reads EIO whenever the tool closes the
    // port. It is never read, so every byte for the tool stays for the tool.
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave < 0 || ::tcgetattr(slave, &raw) != 0) {
        error = systemError(QStringLiteral("Impossible d'ouvrir %1").arg(device));
        return false;
    }
    ::cfmakeraw(&raw);
    ::cfsetispeed(&raw, B9600);
    ::cfsetospeed(&raw, B9600);
    if (::tcsetattr(slave, TCSANOW, &raw) != 0) {
        error = systemError(QStringLiteral("Impossible de régler %1").arg(device));
        return false;
    }
    std::lock_guard lock(mutex);
    present = true;
    return true;
}

bool PtyBoard::Impl::start() {
    if (options.port < 1) {
        error = QStringLiteral("Numéro de port invalide : %1").arg(options.port);
        return false;
    }
    // An existing comN is the technician's set-up, even when its adapter is unplugged: it is
    // never taken without being asked, and a forced one comes back on stop.
    const QString wanted = trv::portLinkPath(options.port);
    const QFileInfo existing(wanted);
    previousTarget.clear();
    leftoverTarget.clear();
    if (existing.isSymLink() && isLeftover(wanted)) {
        // A pseudo-terminal that is gone was a simulator's, killed before it could clean up;
        // it cannot be anyone's adapter, so it is neither refused nor put back on stop.
        leftoverTarget = readLink(QFile::encodeName(wanted));
    } else if (existing.isSymLink()) {
        const QByteArray target = readLink(QFile::encodeName(wanted));
        if (!options.force) {
            error = QStringLiteral(
                        "Le port COM%1 est déjà relié : %2 → %3. Ce lien n'est pas remplacé ; "
                        "--force le remplace le temps de la simulation.")
                        .arg(options.port)
                        .arg(wanted, QFile::decodeName(target));
            return false;
        }
        previousTarget = target;
    } else if (existing.exists()) {
        error =
            QStringLiteral("%1 existe et n'est pas un lien : il n'est pas remplacé.").arg(wanted);
        return false;
    }
    if (!options.imagePath.isEmpty()) {
        Eeprom image = model.eeprom();
        if (QFileInfo::exists(options.imagePath)) {
            if (!loadImage(options.imagePath, &image, &error)) return false;
            std::lock_guard lock(mutex);
            model.setEeprom(image);
        } else if (!saveImage(options.imagePath, image, &error)) {
            return false;
        }
    }

    if (!options.receivedPath.isEmpty() && receivedFile < 0) {
        receivedFile = ::open(QFile::encodeName(options.receivedPath).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (receivedFile < 0) {
            error = systemError(QStringLiteral("Impossible de créer %1").arg(options.receivedPath));
            return false;
        }
    }

    if (!openTerminal()) return false;

    if (::pipe(wake) != 0) {
        error = systemError(QStringLiteral("Impossible de créer un tube"));
        return false;
    }
    for (int fd : wake) ::fcntl(fd, F_SETFD, FD_CLOEXEC);

    link = trv::portLinkPath(options.port);
    if (!QDir().mkpath(trv::portsFolder())) {
        error = QStringLiteral("Impossible de créer le dossier %1").arg(trv::portsFolder());
        return false;
    }
    if (!swapLink(QFile::encodeName(device), QFile::encodeName(link))) {
        error = systemError(QStringLiteral("Impossible de créer le lien %1").arg(link));
        link.clear();
        return false;
    }

    startAfresh();
    stopping = false;
    thread = std::thread([this] { serve(); });
    return true;
}

void PtyBoard::Impl::stop() {
    if (thread.joinable()) {
        stopping = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(wake[1], &byte, 1);
        thread.join();
    }
    saveIfDirty();
    // Only our own link goes, or gives way to the one --force replaced.
    if (linkLeadsTo(device)) {
        if (previousTarget.isEmpty() || !swapLink(previousTarget, QFile::encodeName(link)))
            QFile::remove(link);
    }
    link.clear();
    closeFd(master);
    closeFd(slave);
    {
        std::lock_guard lock(mutex);
        present = false;
    }
    closeFd(wake[0]);
    closeFd(wake[1]);
    closeFd(receivedFile);
}

void PtyBoard::Impl::saveIfDirty() {
    if (options.imagePath.isEmpty()) return;
    std::lock_guard saving(saveMutex);
    Eeprom image;
    {
        std::lock_guard lock(mutex);
        if (!dirty) return;
        dirty = false;
        image = model.eeprom();
    }
    // A failure is reported once; the next commit tries again.
    QString saveError;
    if (!saveImage(options.imagePath, image, &saveError))
        qWarning("trv-board-sim: %s", qPrintable(saveError));
}

void PtyBoard::Impl::serve() {
    while (!stopping) {
        Clock::time_point now = Clock::now();
        while (!delayed.empty() && delayed.front().due <= now) {
            enqueue(delayed.front().bytes, now);
            delayed.pop_front();
        }
        if (runActive && now - lastByte >= kRunGap) endRun(now);
        const bool blocked = !flushOutput(now);

        // Commits reach the file while the line is quiet, so that no reply waits on a disk.
        const bool quiet = !runActive && output.isEmpty() && delayed.empty();
        if (quiet) saveIfDirty();

        now = Clock::now();
        const bool gone = master < 0;
        if (gone && now >= returnAt) reappear(now);
        Clock::time_point due = now + kIdleWait;
        if (gone) due = std::min(due, returnAt);
        if (runActive) due = std::min(due, lastByte + kRunGap);
        if (!delayed.empty()) due = std::min(due, delayed.front().due);
        if (!output.isEmpty() && !blocked) due = std::min(due, lineFree);
        pollfd fds[2] = {{master, short(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, msecsUntil(due, now));
        if (ready < 0) continue;  // EINTR
        if (fds[1].revents) break;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            // Not expected while our own slave descriptor is open; never spin on it.
            ::poll(&fds[1], 1, int(kIdleWait.count()));
            continue;
        }
        if (fds[0].revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) onBytes(buffer, n, Clock::now());
        }
    }
}

void PtyBoard::Impl::onBytes(const char* data, qsizetype size, Clock::time_point now) {
    BoardModel::Answer answer;
    Faults current;
    bool pulledOut = false;
    {
        std::lock_guard lock(mutex);
        current = faults;
        bytesSinceFaults += size;
        pulledOut = current.vanishAfter > 0 && bytesSinceFaults >= current.vanishAfter;
        if (pulledOut) {
            faults.vanishAfter = 0;  // once; the port that comes back works
        } else {
            receivedBytes.append(data, size);
            if (receivedFile >= 0) writeAll(receivedFile, data, size);
            // A silent board takes nothing in either: it stands for a board that is not there.
            if (!current.silent) {
                answer = model.feed(QByteArrayView(data, size));
                dirty = dirty || answer.committed;
            }
        }
    }
    if (pulledOut) {
        // Pulled out with these bytes on the wire: they never reach the board.
        vanish(now, current.vanishMs);
        return;
    }
    runActive = true;
    lastByte = now;
    if (answer.commands.isEmpty()) return;
    if (runFrames == 0) runFirstCommand = answer.commands.first();
    runFrames += int(answer.commands.size());
    QList<QByteArray> kept;
    for (const QByteArray& reply : answer.replies) {
        ++framesSeen;
        if (current.dropEvery <= 0 || framesSeen % current.dropEvery != 0) kept << reply;
    }
    for (const QByteArray& reply : kept) runReplies += reply;
    const bool wholeRun =
        current.cut > 0 || current.extra > 0 || current.pauseMs > 0 || current.noise > 0;
    const bool loneProbe = current.wrongProbe && runFrames == 1 && runFirstCommand == "RRR";
    if (!wholeRun && !loneProbe && current.frameDelayMs > 0) {
        // One frame at a time: each answer waits for the board to be done with the one before.
        const auto perFrame = std::chrono::milliseconds(current.frameDelayMs);
        for (const QByteArray& reply : kept) {
            const Clock::time_point done = std::max(boardFree, now) + perFrame;
            schedule(reply, done + std::chrono::milliseconds(current.delayMs));
            // Its answer on the line, the board takes the next frame.
            boardFree = done;
            if (pacing)
                boardFree += std::chrono::duration_cast<Clock::duration>(reply.size() * kByteTime);
        }
        runReplies.clear();
    } else if (!wholeRun && !loneProbe) {
        schedule(runReplies, now + std::chrono::milliseconds(current.delayMs));
        runReplies.clear();
    }
}

void PtyBoard::Impl::endRun(Clock::time_point now) {
    Faults current;
    {
        std::lock_guard lock(mutex);
        current = faults;
    }
    const Clock::time_point due = now + std::chrono::milliseconds(current.delayMs);
    if (current.silent) {
        // Nothing.
    } else if (current.wrongProbe && runFrames == 1 && runFirstCommand == "RRR") {
        schedule(QByteArray("31\x02\x15\x03", 5), due);
        schedule(runReplies, due + kProbeRetry);
    } else {
        QByteArray replies = runReplies;
        replies.chop(std::min<qsizetype>(std::max(current.cut, 0), replies.size()));
        QByteArray noise(std::max(current.noise, 0), Qt::Uninitialized);
        for (char& byte : noise) byte = char(noiseBytes() & 0xFF);
        replies.insert(replies.size() / 2, noise);
        replies.append(std::max(current.extra, 0), '\x06');
        if (current.pauseMs > 0) {
            const qsizetype half = replies.size() / 2;
            schedule(replies.first(half), due);
            schedule(replies.sliced(half), due + std::chrono::milliseconds(current.pauseMs));
        } else {
            schedule(replies, due);
        }
    }
    forgetRun();
}

void PtyBoard::Impl::forgetRun() {
    runActive = false;
    runFrames = 0;
    runFirstCommand.clear();
    runReplies.clear();
}

// As power-up leaves the board: no transaction open, nothing on its way, no run begun.
void PtyBoard::Impl::startAfresh() {
    {
        std::lock_guard lock(mutex);
        model.reset();
    }
    output.clear();
    delayed.clear();
    boardFree = {};
    forgetRun();
}

void PtyBoard::Impl::enqueue(const QByteArray& bytes, Clock::time_point now) {
    if (bytes.isEmpty()) return;
    // An idle line starts sending now, not at the time it last fell quiet.
    if (output.isEmpty()) lineFree = std::max(lineFree, now);
    output += bytes;
}

void PtyBoard::Impl::schedule(const QByteArray& bytes, Clock::time_point due) {
    if (bytes.isEmpty()) return;
    const Clock::time_point now = Clock::now();
    if (delayed.empty() && due <= now) {
        enqueue(bytes, now);
        return;
    }
    // Kept in order of leaving: a later answer never overtakes an earlier one.
    delayed.push_back({delayed.empty() ? due : std::max(due, delayed.back().due), bytes});
}

void PtyBoard::Impl::vanish(Clock::time_point now, int msecs) {
    // The device goes away as a pulled adapter's does: the tool's end hangs up, the link
    // dangles, whatever was on its way is lost and the board starts afresh.
    closeFd(master);
    closeFd(slave);
    startAfresh();
    {
        std::lock_guard lock(mutex);
        present = false;
    }
    returnAt = now + std::chrono::milliseconds(msecs);
}

void PtyBoard::Impl::reappear(Clock::time_point now) {
    QString oldDevice;
    {
        std::lock_guard lock(mutex);
        oldDevice = device;
    }
    if (!openTerminal()) {
        std::lock_guard lock(mutex);
        device = oldDevice;
        closeFd(master);
        closeFd(slave);
        qWarning("trv-board-sim: %s", qPrintable(error));
        returnAt = now + kIdleWait;
        return;
    }
    if (!linkLeadsTo(oldDevice)) {
        link.clear();
        return;
    }
    QString newDevice;
    {
        std::lock_guard lock(mutex);
        newDevice = device;
    }
    if (!swapLink(QFile::encodeName(newDevice), QFile::encodeName(link)))
        qWarning(
            "trv-board-sim: %s",
            qPrintable(systemError(QStringLiteral("Impossible de rétablir le lien %1").arg(link))));
}

bool PtyBoard::Impl::flushOutput(Clock::time_point now) {
    if (output.isEmpty()) return true;
    qsizetype count = output.size();
    if (pacing) {
        if (now < lineFree) return true;
        count = std::min<qsizetype>(count, 1 + (now - lineFree) / kByteTime);
    }
    const ssize_t n = ::write(master, output.constData(), size_t(count));
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
        output.clear();  // a broken line loses what was on its way, as a cable would
        return true;
    }
    output.remove(0, n);
    lineFree += n * kByteTime;
    return n == count;
}

PtyBoard::PtyBoard(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

PtyBoard::~PtyBoard() { stop(); }

bool PtyBoard::start() {
    if (isRunning()) return true;
    m_impl->error.clear();
    if (m_impl->start()) return true;
    const QString reason = m_impl->error;
    m_impl->stop();
    m_impl->error = reason;
    return false;
}

void PtyBoard::stop() { m_impl->stop(); }

bool PtyBoard::isRunning() const { return m_impl->thread.joinable(); }

QString PtyBoard::errorString() const { return m_impl->error; }

QString PtyBoard::devicePath() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->device;
}

bool PtyBoard::isPresent() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->present;
}

QString PtyBoard::linkPath() const { return m_impl->link; }

QString PtyBoard::replacedLinkTarget() const { return QFile::decodeName(m_impl->previousTarget); }

QString PtyBoard::leftoverLinkTarget() const { return QFile::decodeName(m_impl->leftoverTarget); }

QByteArray PtyBoard::received() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->receivedBytes;
}

void PtyBoard::clearReceived() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->receivedBytes.clear();
}

Eeprom PtyBoard::eeprom() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->model.eeprom();
}

void PtyBoard::setEeprom(const Eeprom& image) {
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->model.setEeprom(image);
        m_impl->dirty = true;
    }
    m_impl->saveIfDirty();
}

void PtyBoard::setPacing(bool on) { m_impl->pacing = on; }

Faults PtyBoard::faults() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->faults;
}

void PtyBoard::setFaults(const Faults& faults) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults = faults;
    m_impl->bytesSinceFaults = 0;
    m_impl->model.setGarbageData(faults.garbage);
    m_impl->model.setUnwrittenAddress(faults.unwritten);
}

}  // namespace trv::sim
