// The Telnet stream of a serial device server: board bytes and commands pulled apart however
// the reads cut the stream, hostile streams refused within bounds, and the commands that set
// the server's UART byte for byte.
#include <QTest>

#include "port/telnet_codec.h"

using namespace trv::telnet;

namespace {
QByteArray bytes(std::initializer_list<int> list) {
    QByteArray out;
    for (int b : list) out += char(b);
    return out;
}

// "DO 44@0", "SB 44 [65 00 00 25 80]@3": an event as the rows write it.
QString describe(const Event& e) {
    static const char* const verbs[] = {"WILL", "WONT", "DO", "DONT", "SB"};
    QString text = QStringLiteral("%1 %2").arg(QLatin1String(verbs[int(e.kind)])).arg(e.option);
    if (e.kind == Event::Kind::Subnegotiation)
        text += QStringLiteral(" [%1]").arg(QString::fromLatin1(e.payload.toHex(' ')));
    return text + QStringLiteral("@%1").arg(e.at);
}

struct Decoded {
    QByteArray data;
    QStringList events;
    bool ok = true;
};

// Feeds the stream in pieces cut at the given places.
Decoded decode(const QByteArray& stream, const QList<qsizetype>& cuts) {
    Decoder decoder;
    Decoded out;
    QList<Event> events;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends << stream.size();
    for (qsizetype end : ends) {
        out.ok = decoder.feed(QByteArrayView(stream).sliced(from, end - from), &out.data, &events);
        from = end;
    }
    for (const Event& e : events) out.events << describe(e);
    return out;
}
}  // namespace

class TelnetCodecTest : public QObject {
    Q_OBJECT

private slots:
    void decodes_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("plain bytes")
            << QByteArray("31\x02\x06\x03") << QByteArray("31\x02\x06\x03") << QStringList();
        QTest::newRow("doubled IAC is one 0xFF") << bytes({'A', 255, 255, 'B', 255, 255})
                                                 << bytes({'A', 255, 'B', 255}) << QStringList();
        QTest::newRow("negotiations between bytes")
            << bytes({'a', 255, 251, 0, 255, 252, 1, 'b', 255, 253, 44, 255, 254, 3, 'c'})
            << QByteArray("abc") << QStringList{"WILL 0@1", "WONT 1@1", "DO 44@2", "DONT 3@2"};
        QTest::newRow("option-less commands consumed")
            << bytes({'a', 255, 241, 255, 242, 'b', 255, 243, 255, 249, 255, 240, 'c'})
            << QByteArray("abc") << QStringList();
        QTest::newRow("baud rate answer with 0xFF in its value")
            << bytes({'x', 255, 250, 44, 101, 0, 0, 255, 255, 128, 255, 240, 'y'})
            << QByteArray("xy") << QStringList{"SB 44 [65 00 00 ff 80]@1"};
        QTest::newRow("line settings and purge answers")
            << bytes({255, 250, 44,   102,  8,   255, 240, 255, 250, 44,  103, 1,
                      255, 240, 0xff, 0xff, 255, 250, 44,  112, 1,   255, 240})
            << bytes({255}) << QStringList{"SB 44 [66 08]@0", "SB 44 [67 01]@0", "SB 44 [70 01]@1"};
        QTest::newRow("truncated IAC") << bytes({'a', 255}) << QByteArray("a") << QStringList();
        QTest::newRow("truncated negotiation")
            << bytes({'a', 255, 253}) << QByteArray("a") << QStringList();
        QTest::newRow("truncated subnegotiation")
            << bytes({'a', 255, 250, 44, 101, 0, 255}) << QByteArray("a") << QStringList();
        QTest::newRow("subnegotiation of the longest length")
            << bytes({255, 250, 44}) + QByteArray(63, 'z') + bytes({255, 240, '!'})
            << QByteArray("!")
            << QStringList{QStringLiteral("SB 44 [%1]@0")
                               .arg(QString::fromLatin1(QByteArray(63, 'z').toHex(' ')))};
    }
    // Whole, then cut in two at every place, then one byte at a time: a command split
    // between two reads comes out as if it had come in one.
    void decodes() {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, events);
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const Decoded got = decode(stream, {cut});
            QVERIFY2(got.ok, qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QCOMPARE(got.data, data);
            QCOMPARE(got.events, events);
        }
        QList<qsizetype> everyByte;
        for (qsizetype i = 1; i < stream.size(); ++i) everyByte << i;
        const Decoded got = decode(stream, everyByte);
        QVERIFY(got.ok);
        QCOMPARE(got.data, data);
        QCOMPARE(got.events, events);
    }

    // A 0xFF anywhere in the board's bytes comes through escaped and back as it was, however
    // the reads cut it.
    void iacAtEveryPosition() {
        const QByteArray reply(
            "31\x02"
            "A5\x03"
            "31\x02"
            "7E\x03");
        for (qsizetype at = 0; at <= reply.size(); ++at) {
            QByteArray original = reply;
            original.insert(at, char(0xFF));
            const QByteArray stream = escapeData(original);
            QCOMPARE(stream.size(), original.size() + 1);
            for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
                const Decoded got = decode(stream, {cut});
                QVERIFY(got.ok && got.events.isEmpty());
                QCOMPARE(got.data, original);
            }
        }
    }

    void refusesHostileStreams_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("dataBefore");
        QTest::addColumn<QString>("error");
        const QString tooLong = QStringLiteral("sous-négociation Telnet de plus de 64 octets");
        QTest::newRow("endless subnegotiation")
            << QByteArray("ok") + bytes({255, 250, 44}) + QByteArray(10000, 'z') << QByteArray("ok")
            << tooLong;
        QTest::newRow("one byte over the limit")
            << bytes({255, 250, 44}) + QByteArray(64, 'z') + bytes({255, 240}) << QByteArray()
            << tooLong;
        QTest::newRow("doubled IACs over the limit")
            << bytes({255, 250, 44}) + QByteArray(200, char(255)) << QByteArray() << tooLong;
        QTest::newRow("command inside a subnegotiation")
            << bytes({'a', 255, 250, 44, 1, 255, 241, 'b'}) << QByteArray("a")
            << QStringLiteral("commande Telnet 241 au milieu d'une sous-négociation");
        QTest::newRow("empty subnegotiation") << bytes({255, 250, 255, 240, 'b'}) << QByteArray()
                                              << QStringLiteral("sous-négociation Telnet vide");
    }
    // A refused stream takes nothing more, cut anywhere: no data after the fault, and no
    // memory held for it.
    void refusesHostileStreams() {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, dataBefore);
        QFETCH(QString, error);
        for (qsizetype cut : {qsizetype(0), stream.size() / 2, stream.size() - 1}) {
            Decoder decoder;
            QByteArray data;
            QList<Event> events;
            decoder.feed(QByteArrayView(stream).first(cut), &data, &events);
            QVERIFY(!decoder.feed(QByteArrayView(stream).sliced(cut), &data, &events));
            QVERIFY(decoder.failed());
            QCOMPARE(decoder.error(), error);
            QCOMPARE(data, dataBefore);
            QVERIFY(!decoder.feed("more", &data, &events));
            QCOMPARE(data, dataBefore);
            decoder.reset();
            QVERIFY(decoder.feed("fresh", &data, &events));
            QCOMPARE(data, dataBefore + "fresh");
        }
    }

    void encodes_data() {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("data, IAC doubled") << escapeData(bytes({'S', 255, 0, 255, 255}))
                                           << bytes({'S', 255, 255, 0, 255, 255, 255, 255});
        QTest::newRow("WILL COM-PORT-OPTION")
            << negotiation(kWill, kComPortOption) << bytes({255, 251, 44});
        QTest::newRow("DO BINARY") << negotiation(kDo, kBinary) << bytes({255, 253, 0});
        QTest::newRow("SET-BAUDRATE 9600")
            << setBaudRate(9600) << bytes({255, 250, 44, 1, 0, 0, 0x25, 0x80, 255, 240});
        QTest::newRow("SET-BAUDRATE with 0xFF bytes")
            << setBaudRate(0xFF00FF)
            << bytes({255, 250, 44, 1, 0, 255, 255, 0, 255, 255, 255, 240});
        QTest::newRow("SET-DATASIZE 8") << setDataSize(8) << bytes({255, 250, 44, 2, 8, 255, 240});
        QTest::newRow("SET-PARITY NONE")
            << setParity(comport::kParityNone) << bytes({255, 250, 44, 3, 1, 255, 240});
        QTest::newRow("SET-STOPSIZE 1")
            << setStopSize(comport::kStopSizeOne) << bytes({255, 250, 44, 4, 1, 255, 240});
        QTest::newRow("SET-CONTROL no flow control")
            << setControl(comport::kControlNoFlow) << bytes({255, 250, 44, 5, 1, 255, 240});
        QTest::newRow("SET-CONTROL DTR on")
            << setControl(comport::kControlDtrOn) << bytes({255, 250, 44, 5, 8, 255, 240});
        QTest::newRow("SET-CONTROL DTR off")
            << setControl(comport::kControlDtrOff) << bytes({255, 250, 44, 5, 9, 255, 240});
        QTest::newRow("PURGE-DATA receive buffer")
            << purgeData(comport::kPurgeReceiveBuffer) << bytes({255, 250, 44, 12, 1, 255, 240});
    }
    void encodes() {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded.toHex(' '), expected.toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TelnetCodecTest)
#include "test_telnet_codec.moc"
