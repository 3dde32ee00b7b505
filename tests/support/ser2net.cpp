#include "ser2net.h"

#include <signal.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

namespace trv::test {

QString Ser2net::program() {
    // Debian installs it for the administrator, outside an ordinary account's PATH.
    const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (!found.isEmpty()) return found;
    return QStandardPaths::findExecutable(
        QStringLiteral("ser2net"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
}

quint16 freeLocalPort() {
    // Below the range the system draws the local ports of outgoing connections from (32768
    // and up on Linux): a port drawn there could be taken by one of the tests' own
    // connections between the draw and the server's bind.
    for (int i = 0; i < 200; ++i) {
        const auto port = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port)) return port;
    }
    return 0;
}

Ser2net::Ser2net(const QStringList& devices, const QString& lineSettings)
    : m_devices(devices), m_lineSettings(lineSettings) {}

Ser2net::~Ser2net() { stop(); }

bool Ser2net::start() {
    // Another program may still bind a port between its draw and ser2net's start: draw again.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (startOnce()) return true;
    return false;
}

bool Ser2net::startOnce() {
    const QString exe = program();
    if (exe.isEmpty()) {
        m_error = QStringLiteral("ser2net is not installed");
        return false;
    }
    QByteArray yaml("%YAML 1.1\n---\n");
    m_ports.clear();
    for (int i = 0; i < m_devices.size(); ++i) {
        for (const char* accepter : {"telnet(rfc2217),tcp", "tcp"}) {
            quint16 port = 0;
            // Two accepters must not draw the same free port.
            do port = freeLocalPort();
            while (port != 0 && m_ports.contains(port));
            if (port == 0) {
                m_error = QStringLiteral("no free port on 127.0.0.1");
                return false;
            }
            m_ports << port;
            yaml += QStringLiteral(
                        "connection: &board%1_%2\n"
                        "  accepter: %3,127.0.0.1,%2\n"
                        "  connector: serialdev,%4,%5,local\n"
                        "  options:\n"
                        "    kickolduser: false\n")
                        .arg(i)
                        .arg(port)
                        .arg(QLatin1String(accepter), m_devices[i], m_lineSettings)
                        .toUtf8();
        }
    }
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size()) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
#ifdef Q_OS_LINUX
    // A test killed on its time-out leaves no server behind holding the ports.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start(exe, {QStringLiteral("-n"), QStringLiteral("-c"), config, QStringLiteral("-P"),
                           m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("ser2net does not start: %1").arg(m_process->errorString());
        return false;
    }
    QElapsedTimer t;
    t.start();
    for (quint16 port : std::as_const(m_ports)) {
        while (!listening(port)) {
            if (m_process->state() != QProcess::Running || t.elapsed() > 5000) {
                m_error = QStringLiteral("ser2net does not listen on %1: %2")
                              .arg(port)
                              .arg(QString::fromLocal8Bit(m_process->readAll()));
                stop();
                return false;
            }
            QThread::msleep(10);
        }
    }
    return true;
}

bool Ser2net::listening(quint16 port) const {
    // Nothing else may bind a port that a server listens on.
    QTcpServer probe;
    return !probe.listen(QHostAddress::LocalHost, port);
}

bool Ser2net::running() const { return m_process && m_process->state() == QProcess::Running; }

qint64 Ser2net::pid() const { return running() ? m_process->processId() : 0; }

NetworkAddress Ser2net::address(int device, NetworkAddress::Kind kind) const {
    const int at = 2 * device + (kind == NetworkAddress::Kind::Tcp ? 1 : 0);
    return {kind, QStringLiteral("127.0.0.1"), at < m_ports.size() ? m_ports[at] : quint16(0)};
}

void Ser2net::kill() {
    if (!running()) return;
    ::kill(pid_t(m_process->processId()), SIGKILL);
    m_process->waitForFinished(5000);
}

void Ser2net::stop() {
    if (!running()) return;
    ::kill(pid_t(m_process->processId()), SIGTERM);
    if (!m_process->waitForFinished(5000)) kill();
}

}  // namespace trv::test
