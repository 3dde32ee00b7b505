#include "port/network_address.h"

namespace trv {

namespace {
const QString kSeparator = QStringLiteral("://");

QString schemeOf(NetworkAddress::Kind kind) {
    return kind == NetworkAddress::Kind::Rfc2217 ? QStringLiteral("rfc2217")
                                                 : QStringLiteral("tcp");
}
}  // namespace

QString NetworkAddress::endpoint() const {
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return h + u':' + QString::number(port);
}

QString NetworkAddress::text() const { return schemeOf(kind) + kSeparator + endpoint(); }

bool looksLikeNetworkAddress(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype at = t.indexOf(kSeparator);
    return at > 0 && !t.left(at).contains(u'/');
}

std::optional<NetworkAddress> parseNetworkAddress(const QString& typed, QString* error) {
    const QString t = typed.trimmed();
    const auto fail = [&](const QString& why) -> std::optional<NetworkAddress> {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString expected = QStringLiteral("écrivez rfc2217://hôte:port ou tcp://hôte:port");
    if (!looksLikeNetworkAddress(t))
        return fail(QStringLiteral("%1 n'est pas une adresse réseau : %2.").arg(t, expected));
    const qsizetype at = t.indexOf(kSeparator);
    const QString scheme = t.left(at).toLower();
    NetworkAddress a;
    if (scheme == u"rfc2217")
        a.kind = NetworkAddress::Kind::Rfc2217;
    else if (scheme == u"tcp")
        a.kind = NetworkAddress::Kind::Tcp;
    else
        return fail(QStringLiteral("%1 : protocole inconnu, %2.").arg(t, expected));

    QString rest = t.mid(at + kSeparator.size());
    if (rest.endsWith(u'/')) rest.chop(1);
    QString hostPart, portPart;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || rest.mid(close + 1, 1) != u":")
            return fail(QStringLiteral("%1 : adresse incomplète, %2.").arg(t, expected));
        hostPart = rest.mid(1, close - 1);
        portPart = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0) return fail(QStringLiteral("%1 : il manque le port, %2.").arg(t, expected));
        hostPart = rest.left(colon);
        portPart = rest.mid(colon + 1);
        if (hostPart.contains(u':'))
            return fail(QStringLiteral("%1 : une adresse IPv6 s'écrit entre crochets, "
                                       "par exemple rfc2217://[::1]:4001.")
                            .arg(t));
    }
    if (hostPart.isEmpty() || hostPart.contains(u' ') || hostPart.contains(u'/') ||
        hostPart.contains(u'@'))
        return fail(QStringLiteral("%1 : nom d'hôte invalide, %2.").arg(t, expected));
    bool ok = false;
    const uint port = portPart.toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || portPart.startsWith(u'+'))
        return fail(
            QStringLiteral("%1 : le port doit être un nombre de 1 à 65535.").arg(t));
    a.host = hostPart;
    a.port = quint16(port);
    return a;
}

QString portName(int portNumber, const std::optional<NetworkAddress>& address) {
    const QString com = QStringLiteral("COM%1").arg(portNumber);
    if (!address) return com;
    if (portNumber <= 0) return address->text();
    return QStringLiteral("%1 (%2)").arg(com, address->text());
}

}  // namespace trv
