#include "board_test_support.h"

#include <QDir>
#include <QFile>

#include "port/port_map.h"
#include "protocol/frames.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace trv::test {

TempDataHome::TempDataHome() {
    const QString data = m_dir.path();
    const QString config = m_dir.path() + QStringLiteral("/config");
    using Variable = std::pair<const char*, QString>;
    for (const auto& [name, value] :
         {Variable{"XDG_DATA_HOME", data}, Variable{"TRV_DATA_HOME", data},
          Variable{"XDG_CONFIG_HOME", config}, Variable{"TRV_CONFIG_HOME", config}}) {
        m_previous.append({name, qgetenv(name)});
        qputenv(name, value.toLocal8Bit());
    }
}
TempDataHome::~TempDataHome() {
    for (const auto& [name, previous] : m_previous) {
        if (previous.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, previous);
    }
}

bool touch(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

PortMapFixture::PortMapFixture() {
    m_ok = QDir().mkpath(portsFolder()) && QDir().mkpath(byId()) && touch(node("ttyUSB0")) &&
           touch(node("ttyUSB1")) && QFile::link(node("ttyUSB0"), stableName());
    devices = {
        {node("ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
         QStringLiteral("A1B2C3")},
        {node("ttyUSB1"), QStringLiteral("CP2102"), QStringLiteral("Silicon Labs"), QString()}};
}

QString PortMapFixture::node(const char* name) const {
    return m_dir.path() + QLatin1Char('/') + QLatin1String(name);
}
QString PortMapFixture::byId() const { return m_dir.path() + QStringLiteral("/serial/by-id"); }
QString PortMapFixture::stableName() const {
    return byId() + QStringLiteral("/usb-FTDI_FT232R_A1B2C3-if00");
}

#ifdef Q_OS_UNIX
LinkedPty::LinkedPty(int portNumber) : m_link(portLinkPath(portNumber)) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    const char* name = ::ptsname(m_master);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // A program the test starts (ser2net) must not hold the line open behind its back: the
    // far end could never hang up.
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    QDir().mkpath(portsFolder());
    QFile::remove(m_link);
    m_device = QString::fromLocal8Bit(name);
    QFile::link(m_device, m_link);
}

LinkedPty::~LinkedPty() {
    QFile::remove(m_link);
    vanish();
}

QByteArray LinkedPty::readAvailable(int waitMs) {
    QByteArray out;
    pollfd p{m_master, POLLIN, 0};
    while (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, int(n));
    }
    return out;
}

void LinkedPty::write(const QByteArray& bytes) {
    [[maybe_unused]] const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
}

qsizetype LinkedPty::held() const {
    int n = 0;
    return m_slave >= 0 && ::ioctl(m_slave, FIONREAD, &n) == 0 ? n : 0;
}

void LinkedPty::vanish() {
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
}
#endif

bool FakePort::lost() {
    if (m_open && ((loseAfterBytes >= 0 && written.size() >= loseAfterBytes) ||
                   (loseAt.count() >= 0 && m_clock.now() >= loseAt))) {
        m_lost = true;
        m_open = false;
        lostAt = m_clock.now();
    }
    return m_lost;
}

bool FakePort::write(const QByteArray& bytes) {
    if (!m_open) return false;
    written += bytes;
    m_countdownBase += bytes.size();
    while (!m_script.empty() && m_countdownBase >= m_script.front().first) {
        m_countdownBase -= m_script.front().first;
        m_input += m_script.front().second;
        m_script.pop_front();
    }
    return true;
}

bool FakePort::waitForInput(int msecs) {
    m_clock.sleep(Millis(msecs));
    return false;
}

void FakePort::answerAfter(qint64 afterBytes, QByteArray reply) {
    m_script.emplace_back(afterBytes, std::move(reply));
}

QByteArray hexByte(int value) {
    return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

QByteArrayList readCommands() {
    QByteArrayList commands{"SSS", "ZA0", "Y00", "ZA1"};
    for (int i = 0; i < 128; ++i) commands << "X1X";
    return commands << "X6X";
}

QByteArrayList writeCommands(const Image& image) {
    QByteArrayList commands;
    for (int block = 0; block < 8; ++block) {
        commands << "SSS"
                 << "ZA0"
                 << "Y" + hexByte(16 * block);
        for (int i = 16 * block; i < 16 * block + 16; ++i)
            commands << "Y" + hexByte(image[std::size_t(i)]);
        commands << "WWW";
    }
    return commands;
}

namespace {
QByteArray framed(const QByteArrayList& commands) {
    QByteArray bytes;
    for (const QByteArray& c : commands) bytes += frames::frame(c);
    return bytes;
}
}  // namespace

QByteArray readTransaction() { return framed(readCommands()); }
QByteArray writeTransaction(const Image& image) { return framed(writeCommands(image)); }

QByteArray readReply(const std::function<int(int)>& byteAt, int keep) {
    QByteArray r = QByteArray(frames::kAck).repeated(4);
    for (int i = 0; i < 128; ++i)
        r += QByteArray("31\x02") + hexByte(byteAt(i) & 0xFF) + QByteArray("\x03");
    r += frames::kAck;
    return keep < 0 ? r : r.left(keep);
}

QByteArray readReply(const Image& image) {
    return readReply([&image](int i) { return image[std::size_t(i)]; });
}

QByteArray transferOpening() { return frames::burst("SSS", 5); }
QByteArray closingBurst() { return frames::burst("RRR", 5); }
QByteArray wholeRead() { return transferOpening() + readTransaction(); }
QByteArray wholeWrite(const Image& image) { return transferOpening() + writeTransaction(image); }
QByteArray wakeBurst() { return frames::burst("SSS", 11); }

QByteArray readingFrames() { return wakeBurst() + frames::frame("PPP") + wholeRead(); }

}  // namespace trv::test
