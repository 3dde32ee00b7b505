#include "port/network_port.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace trv {
namespace {
using namespace telnet;

// The answers to the five line settings sent at the opening, one bit each.
constexpr int kAllSettingsAnswered = 0b11111;
// How long a discard waits for the server to confirm its purge: the bytes that arrive before
// the confirmation left the server before the purge and are stale.
constexpr int kPurgeAnswerMs = 300;
// Board bytes held unread at most. A board sends 960 bytes a second and every exchange reads
// or drops what came; a server sending faster than any UART, at network speed, would
// otherwise be kept in memory whole.
constexpr qsizetype kMaxWaiting = 1 << 20;
// What a server wrote as text before closing, shown to the technician: one printable line.
QString serverWords(const QByteArray& bytes) {
    QString words =
        QString::fromLatin1(bytes.first(std::min<qsizetype>(bytes.size(), 80))).simplified();
    for (const QChar c : std::as_const(words))
        if (!c.isPrint()) return {};
    return words;
}
}  // namespace

NetworkPort::NetworkPort(NetworkAddress address) : m_address(std::move(address)) {}

NetworkPort::~NetworkPort() { close(); }

bool NetworkPort::open(int portNumber) {
    close();
    m_number = portNumber;
    m_lost = false;
    m_lostReason.clear();
    m_failure = {};
    m_input.clear();
    m_decoder.reset();
    m_comPortAgreed = m_comPortRefused = false;
    m_settingsAnswered = 0;
    m_purgeAnswered = false;
    m_purgeUnanswered = false;
    m_answered.clear();
    const QDeadlineTimer deadline(kOpenLimitMs);
    if (!connectToServer(deadline) || (telnet() && !negotiate(deadline))) {
        m_socket.reset();
        m_lost = false;
        m_lostReason.clear();
        m_input.clear();
        return false;
    }
    return true;
}

namespace {
// The addresses of a server's name, or nothing when the name is unknown; *late set when the
// resolver did not answer before the deadline. The system's resolver knows no time limit of
// its own that the program could set, and an unreachable name server holds it for many
// seconds: it runs on a thread of its own, left to finish alone when it is late.
QList<QHostAddress> resolve(const QString& host, const QDeadlineTimer& deadline, bool* late) {
    *late = false;
    QHostAddress literal;
    if (literal.setAddress(host)) return {literal};
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<QList<QHostAddress>> addresses;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        const QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard lock(lookup->mutex);
        lookup->addresses =
            info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>();
        lookup->done.notify_all();
    }).detach();
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(deadline.remainingTime()),
                               [&] { return lookup->addresses.has_value(); })) {
        *late = true;
        return {};
    }
    return *lookup->addresses;
}
}  // namespace

bool NetworkPort::connectToServer(const QDeadlineTimer& deadline) {
    bool late = false;
    const QList<QHostAddress> addresses = resolve(m_address.host, deadline, &late);
    if (addresses.isEmpty()) {
        fail(late ? QStringLiteral("Le nom %1 n'a pas pu être résolu à temps (serveur de noms "
                                   "injoignable ?).")
                        .arg(m_address.host)
                  : QStringLiteral("Le nom %1 est inconnu.").arg(m_address.host));
        return false;
    }
    // Each address of the name in turn, as long as time is left: the first that connects.
    for (const QHostAddress& address : addresses) {
        m_socket = std::make_unique<QTcpSocket>();
        m_socket->connectToHost(address, m_address.port);
        if (m_socket->waitForConnected(int(deadline.remainingTime()))) break;
        if (deadline.hasExpired() || &address == &addresses.back()) return connectionFailed();
    }
    // Frames are a few bytes each and the board answers only once they are all there.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

bool NetworkPort::connectionFailed() {
    const QString server = m_address.endpoint();
    switch (m_socket->error()) {
        case QAbstractSocket::ConnectionRefusedError:
            fail(QStringLiteral("Connexion refusée par %1").arg(server));
            break;
        case QAbstractSocket::SocketTimeoutError:
            fail(QStringLiteral("Le serveur %1 ne répond pas.").arg(server));
            break;
        default:
            fail(QStringLiteral("Erreur du réseau sur %1 : %2")
                     .arg(server, m_socket->errorString()));
            break;
    }
    m_socket->abort();
    return false;
}

bool NetworkPort::negotiate(const QDeadlineTimer& deadline) {
    const QString server = m_address.endpoint();
    // Waits for the server's side of the negotiation; a server that keeps silent, closes or
    // talks nonsense fails the opening.
    const auto await = [&](const std::function<bool()>& done) {
        while (!done()) {
            if (m_comPortRefused) {
                fail(QStringLiteral("Le serveur %1 refuse le contrôle du port série (RFC 2217).")
                         .arg(server));
                return false;
            }
            if (deadline.hasExpired()) {
                fail(QStringLiteral("Le serveur %1 ne répond pas.").arg(server));
                return false;
            }
            if (!pull(int(deadline.remainingTime()))) {
                // A server that turns the client away says why as text ("Port already in use"
                // when another program has the board).
                const QString words = serverWords(m_input);
                fail(words.isEmpty() ? m_lostReason
                                     : QStringLiteral("%1 : « %2 »").arg(m_lostReason, words));
                return false;
            }
        }
        return true;
    };
    // A connection closed under a write fails the opening as one closed under a read.
    const auto say = [&](const QByteArray& bytes) {
        if (send(bytes)) return true;
        fail(QStringLiteral("Le serveur %1 a fermé la connexion").arg(server));
        return false;
    };
    return say(negotiation(kWill, kComPortOption) + negotiation(kWill, kBinary) +
               negotiation(kDo, kBinary)) &&
           await([this] { return m_comPortAgreed; }) &&
           say(setBaudRate(9600) + setDataSize(8) + setParity(comport::kParityNone) +
               setStopSize(comport::kStopSizeOne) + setControl(comport::kControlNoFlow)) &&
           await([this] { return m_settingsAnswered == kAllSettingsAnswered; });
}

void NetworkPort::fail(const QString& text) {
    m_failure = {};
    m_failure.cause = OpenFailure::Cause::Network;
    m_failure.device = m_address.text();
    m_failure.systemText = text;
}

bool NetworkPort::pull(int msecs) {
    if (m_lost || !m_socket) return false;
    const QString server = m_address.endpoint();
    // A wait that runs out leaves the socket's time-out error behind; it means nothing.
    if (m_socket->state() == QAbstractSocket::ConnectedState) m_socket->waitForReadyRead(msecs);
    // What came before a close still counts: the server may have said why.
    if (m_socket->bytesAvailable() > 0) decode(m_socket->readAll());
    if (m_input.size() > kMaxWaiting) {
        m_input.clear();
        loseConnection(
            QStringLiteral("Le serveur %1 envoie plus de données qu'une carte ne peut en envoyer")
                .arg(server));
        return false;
    }
    if (m_decoder.failed()) {
        loseConnection(QStringLiteral("Le serveur %1 a rompu le protocole Telnet (%2)")
                           .arg(server, m_decoder.error()));
        return false;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        const auto e = m_socket->error();
        loseConnection(e == QAbstractSocket::RemoteHostClosedError ||
                               e == QAbstractSocket::SocketTimeoutError ||
                               e == QAbstractSocket::UnknownSocketError
                           ? QStringLiteral("Le serveur %1 a fermé la connexion").arg(server)
                           : QStringLiteral("La connexion au serveur %1 est rompue (%2)")
                                 .arg(server, m_socket->errorString()));
        return false;
    }
    return true;
}

void NetworkPort::decode(const QByteArray& bytes) {
    if (!telnet()) {
        m_input += bytes;
        return;
    }
    QByteArray data;
    QList<Event> events;
    m_decoder.feed(bytes, &data, &events);
    qsizetype stale = 0;  // board bytes of this read that the server sent before its purge
    for (const Event& event : events) {
        if (event.kind == Event::Kind::Subnegotiation && event.option == kComPortOption &&
            !event.payload.isEmpty() &&
            quint8(event.payload[0]) == comport::kServerOffset + comport::kPurgeData &&
            m_purgePending) {
            m_purgePending = false;
            m_purgeAnswered = true;
            m_input.clear();
            stale = event.at;
        }
        answer(event);
    }
    m_input += data.sliced(stale);
}

void NetworkPort::answer(const Event& event) {
    const auto once = [this](quint8 verb, quint8 option) {
        const std::pair<quint8, quint8> reply{verb, option};
        if (m_answered.contains(reply)) return;
        m_answered.append(reply);
        send(negotiation(verb, option));
    };
    // The options offered at the opening (COM-PORT-OPTION and BINARY both ways) need no
    // answer when agreed; anything else the server offers or asks for is declined, once.
    const bool ours = event.option == kBinary || event.option == kComPortOption;
    switch (event.kind) {
        case Event::Kind::Do:
            if (event.option == kComPortOption) m_comPortAgreed = true;
            if (!ours) once(kWont, event.option);
            break;
        case Event::Kind::Dont:
            if (event.option == kComPortOption) m_comPortRefused = !m_comPortAgreed;
            if (!ours) once(kWont, event.option);
            break;
        case Event::Kind::Will:
            if (event.option == kSuppressGoAhead)
                once(kDo, event.option);
            else if (!ours)
                once(kDont, event.option);
            break;
        case Event::Kind::Wont:
            if (!ours) once(kDont, event.option);
            break;
        case Event::Kind::Subnegotiation:
            if (event.option == kComPortOption && !event.payload.isEmpty()) {
                const int code = quint8(event.payload[0]) - comport::kServerOffset;
                if (code >= comport::kSetBaudRate && code <= comport::kSetControl)
                    m_settingsAnswered |= 1 << (code - comport::kSetBaudRate);
            }
            break;
    }
}

bool NetworkPort::send(const QByteArray& bytes) {
    // A connection that dropped is found by the next read; nothing is written to it.
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState ||
        m_socket->write(bytes) != bytes.size())
        return false;
    // Hands the bytes to the system without blocking, so the server starts pacing them now.
    m_socket->flush();
    return true;
}

void NetworkPort::loseConnection(const QString& reason) {
    // What came in stays unread (a lost port reads nothing) until the next opening, which
    // may show a server's parting words.
    m_lost = true;
    m_lostReason = reason;
    if (m_socket) m_socket->abort();
}

void NetworkPort::close() {
    if (!m_socket) return;
    // Like a serial port's, what is still queued is dropped.
    m_socket->abort();
    m_socket.reset();
    m_input.clear();
    m_purgePending = false;
}

bool NetworkPort::isOpen() const { return m_socket && !m_lost; }

bool NetworkPort::lost() {
    if (m_lost) {
        // A lost port has closed itself; the reason stays until the next opening.
        m_socket.reset();
        return true;
    }
    if (!m_socket) return false;
    // A server that closed shows it only to a read: look without waiting.
    if (pull(0)) return false;
    m_socket.reset();
    return true;
}

bool NetworkPort::write(const QByteArray& bytes) {
    if (!isOpen()) return false;
    const bool queued = send(telnet() ? escapeData(bytes) : bytes);
    return queued && !lost();
}

bool NetworkPort::drain(int msecs) {
    if (!isOpen()) return false;
    // The server's UART paces the bytes on to the board; what can be waited for here is the
    // socket taking them all.
    const QDeadlineTimer deadline(msecs);
    while (m_socket->bytesToWrite() > 0) {
        if (deadline.hasExpired()) return false;
        if (!m_socket->waitForBytesWritten(int(deadline.remainingTime()))) {
            if (lost()) return false;
            if (m_socket->bytesToWrite() > 0 && deadline.hasExpired()) return false;
        }
    }
    return true;
}

qint64 NetworkPort::bytesWaiting() {
    if (!isOpen() || !pull(0)) {
        lost();
        return 0;
    }
    return m_input.size();
}

bool NetworkPort::waitForInput(int msecs) {
    if (!isOpen()) return false;
    const QDeadlineTimer deadline(msecs);
    const qsizetype before = m_input.size();
    // Telnet commands alone are no input: wait on for board bytes, in what time is left.
    for (;;) {
        if (!pull(int(deadline.remainingTime()))) {
            lost();
            return false;
        }
        if (m_input.size() > before) return true;
        if (deadline.hasExpired()) return false;
    }
}

QByteArray NetworkPort::readAll() {
    if (!isOpen()) return {};
    return std::exchange(m_input, {});
}

void NetworkPort::discardInput() {
    if (!isOpen()) return;
    if (telnet() && !m_purgeUnanswered) {
        // The server drops what its UART holds; what it sent before confirming is stale too.
        m_purgePending = send(purgeData(comport::kPurgeReceiveBuffer));
        const QDeadlineTimer deadline(kPurgeAnswerMs);
        while (m_purgePending && !deadline.hasExpired())
            if (!pull(int(deadline.remainingTime()))) break;
        // A server that does not confirm purges is not waited for again.
        if (m_purgePending && !m_lost) m_purgeUnanswered = !m_purgeAnswered;
        m_purgePending = false;
    }
    // Everything already on the way in goes too.
    m_input.clear();
    while (!m_lost && m_socket && m_socket->waitForReadyRead(0)) {
        decode(m_socket->readAll());
        m_input.clear();
    }
    lost();
}

void NetworkPort::setDtr(bool on) {
    if (!isOpen() || !telnet()) return;
    send(setControl(on ? comport::kControlDtrOn : comport::kControlDtrOff));
}

}  // namespace trv
