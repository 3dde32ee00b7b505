#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QThread>

#include "port/port_map.h"
#include "protocol/frames.h"

namespace trv::test {

void MessageRecorder::message(msg::Kind kind, QWidget*, const QString& text,
                              const QString& detail) {
    messages.append({kind, text, detail});
}

QString MessageRecorder::openFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return open ? open(parent, title, filter, initialName)
                : m_platform.openFileName(parent, title, filter, initialName);
}

QString MessageRecorder::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return save ? save(parent, title, filter, initialName)
                : m_platform.saveFileName(parent, title, filter, initialName);
}

QString MessageRecorder::saveFileNameAsking(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& initialName) {
    return saveAsking ? saveAsking(parent, title, filter, initialName)
                      : m_platform.saveFileNameAsking(parent, title, filter, initialName);
}

QStringList MessageRecorder::texts() const {
    QStringList list;
    for (const Message& m : messages) list << m.text;
    return list;
}

TempDataHome::TempDataHome()
    : m_previous(qgetenv("XDG_DATA_HOME")), m_previousConfig(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/config")).toLocal8Bit());
}
TempDataHome::~TempDataHome() {
    for (const auto& [name, previous] :
         {std::pair{"XDG_DATA_HOME", m_previous}, std::pair{"XDG_CONFIG_HOME", m_previousConfig}}) {
        if (previous.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, previous);
    }
}

LinkedPty::LinkedPty(int portNumber) : m_link(portLinkPath(portNumber)) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    const char* name = ::ptsname(m_master);
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    QDir().mkpath(portsFolder());
    QFile::remove(m_link);
    QFile::link(QString::fromLocal8Bit(name), m_link);
}

LinkedPty::~LinkedPty() {
    QFile::remove(m_link);
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
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

QByteArray readTransaction() {
    QByteArray t;
    for (const char* c : {"SSS", "ZA0", "Y00", "ZA1"}) t += frames::frame(c);
    return t + frames::frame("X1X").repeated(128) + frames::frame("X6X");
}

QByteArray readReply(const std::function<int(int)>& byteAt, int keep) {
    QByteArray r = QByteArray(frames::kAck).repeated(4);
    for (int i = 0; i < 128; ++i)
        r += QByteArray("31\x02") + hexByte(byteAt(i) & 0xFF) + QByteArray("\x03");
    r += frames::kAck;
    return keep < 0 ? r : r.left(keep);
}

QByteArray writeTransaction(const std::array<quint8, 128>& image) {
    QByteArray t;
    for (int block = 0; block < 8; ++block) {
        t += frames::frame("SSS") + frames::frame("ZA0") + frames::frame("Y" + hexByte(16 * block));
        for (int i = 16 * block; i < 16 * block + 16; ++i)
            t += frames::frame("Y" + hexByte(image[std::size_t(i)]));
        t += frames::frame("WWW");
    }
    return t;
}

QByteArray transferOpening() { return frames::burst("SSS", 5); }
QByteArray closingBurst() { return frames::burst("RRR", 5); }

QByteArray readingFrames() {
    return frames::burst("SSS", 11) + frames::frame("PPP") + transferOpening() + readTransaction();
}

}  // namespace trv::test
