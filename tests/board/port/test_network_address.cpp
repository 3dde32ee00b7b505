// Network addresses as a technician types them, and the names ports get from them.
#include <QTest>

#include "port/network_address.h"

using namespace trv;

class NetworkAddressTest : public QObject {
    Q_OBJECT

private slots:
    void parsesWhatIsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");      // how it is stored; empty when refused
        QTest::addColumn<QString>("endpoint");  // how messages name the server
        QTest::addColumn<QString>("why");       // a part of the refusal
        QTest::newRow("rfc2217 on IPv4") << "rfc2217://10.0.0.5:4001"
                                         << "rfc2217://10.0.0.5:4001"
                                         << "10.0.0.5:4001"
                                         << "";
        QTest::newRow("tcp on a name") << "tcp://serveur-hall:5"
                                       << "tcp://serveur-hall:5"
                                       << "serveur-hall:5"
                                       << "";
        QTest::newRow("scheme in capitals, blanks around") << "  RFC2217://h:1  "
                                                           << "rfc2217://h:1"
                                                           << "h:1"
                                                           << "";
        QTest::newRow("Tcp mixed case") << "Tcp://h:65535"
                                        << "tcp://h:65535"
                                        << "h:65535"
                                        << "";
        QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:4001"
                                          << "rfc2217://[::1]:4001"
                                          << "[::1]:4001"
                                          << "";
        QTest::newRow("IPv6 full") << "tcp://[fe80::1:2]:7"
                                   << "tcp://[fe80::1:2]:7"
                                   << "[fe80::1:2]:7"
                                   << "";
        QTest::newRow("trailing slash") << "tcp://h:5/"
                                        << "tcp://h:5"
                                        << "h:5"
                                        << "";
        QTest::newRow("IPv6 without brackets") << "rfc2217://::1:4001"
                                               << ""
                                               << ""
                                               << "entre crochets";
        QTest::newRow("IPv6 bracket unclosed") << "tcp://[::1:4001"
                                               << ""
                                               << ""
                                               << "incomplète";
        QTest::newRow("IPv6 without port") << "tcp://[::1]"
                                           << ""
                                           << ""
                                           << "incomplète";
        QTest::newRow("unknown scheme") << "telnet://h:23"
                                        << ""
                                        << ""
                                        << "protocole inconnu";
        QTest::newRow("no scheme") << "10.0.0.5:4001"
                                   << ""
                                   << ""
                                   << "n'est pas une adresse";
        QTest::newRow("a path") << "/dev/ttyUSB0"
                                << ""
                                << ""
                                << "n'est pas une adresse";
        QTest::newRow("no port") << "tcp://h"
                                 << ""
                                 << ""
                                 << "il manque le port";
        QTest::newRow("port 0") << "tcp://h:0"
                                << ""
                                << ""
                                << "de 1 à 65535";
        QTest::newRow("port 65536") << "tcp://h:65536"
                                    << ""
                                    << ""
                                    << "de 1 à 65535";
        QTest::newRow("port in letters") << "tcp://h:abc"
                                         << ""
                                         << ""
                                         << "de 1 à 65535";
        QTest::newRow("port signed") << "tcp://h:+5"
                                     << ""
                                     << ""
                                     << "de 1 à 65535";
        QTest::newRow("port empty") << "tcp://h:"
                                    << ""
                                    << ""
                                    << "de 1 à 65535";
        QTest::newRow("empty host") << "tcp://:5"
                                    << ""
                                    << ""
                                    << "nom d'hôte invalide";
        QTest::newRow("host with a blank") << "tcp://a b:5"
                                           << ""
                                           << ""
                                           << "nom d'hôte invalide";
        QTest::newRow("user in host") << "tcp://u@h:5"
                                      << ""
                                      << ""
                                      << "nom d'hôte invalide";
        QTest::newRow("path after host") << "tcp://h/x:5"
                                         << ""
                                         << ""
                                         << "nom d'hôte invalide";
    }
    void parsesWhatIsTyped() {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, endpoint);
        QFETCH(QString, why);
        QString error;
        const auto address = parseNetworkAddress(typed, &error);
        QCOMPARE(address.has_value(), !text.isEmpty());
        if (address) {
            QCOMPARE(address->text(), text);
            QCOMPARE(address->endpoint(), endpoint);
            // What is stored reads back as the same address.
            QCOMPARE(parseNetworkAddress(address->text()), address);
        } else {
            QVERIFY2(error.contains(why), qPrintable(error));
        }
    }

    // "scheme://" is what tells an address from a path, valid or not.
    void looksLikeAnAddress_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("looks");
        QTest::newRow("address") << "tcp://h:5" << true;
        QTest::newRow("bad address") << "ftp://h" << true;
        QTest::newRow("device") << "/dev/ttyUSB0" << false;
        QTest::newRow("path holding ://") << "/tmp/a://b" << false;
        QTest::newRow("no scheme") << "://h:5" << false;
        QTest::newRow("empty") << "" << false;
    }
    void looksLikeAnAddress() {
        QFETCH(QString, text);
        QFETCH(bool, looks);
        QCOMPARE(looksLikeNetworkAddress(text), looks);
    }

    void portNames_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        QTest::newRow("local") << 7 << ""
                               << "COM7";
        QTest::newRow("associated") << 7 << "rfc2217://127.0.0.1:4001"
                                    << "COM7 (rfc2217://127.0.0.1:4001)";
        QTest::newRow("opened by its address") << 0 << "tcp://h:5"
                                               << "tcp://h:5";
    }
    void portNames() {
        QFETCH(int, number);
        QFETCH(QString, address);
        QFETCH(QString, name);
        QCOMPARE(portName(number, address.isEmpty() ? std::nullopt : parseNetworkAddress(address)),
                 name);
    }
};

QTEST_GUILESS_MAIN(NetworkAddressTest)
#include "test_network_address.moc"
