// The trace's decoding of frames and replies and its pairing of replies with frames, on
// traffic fed with times of the test's own.
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "protocol/frames.h"
#include "trace/decoder.h"
#include "trace/format.h"
#include "trace/trace_log.h"

using namespace trv;
using namespace trv::trace;
using namespace std::chrono_literals;

namespace {
QByteArray ack() { return QByteArrayLiteral("31\x02\x06\x03"); }
QByteArray data(const char* digits) { return QByteArray("31\x02") + digits + '\x03'; }

// Runs of commands separated by "|", frames within a run by ","; "~xx" is raw text.
QList<QByteArray> runs(const QString& script) {
    QList<QByteArray> out;
    for (const QString& run : script.split(u'|')) {
        QByteArray bytes;
        for (const QString& item : run.split(u',')) {
            const QStringList parts = item.split(u'*');
            const QByteArray one = item.startsWith(u'~') ? parts[0].mid(1).toLatin1()
                                                         : frames::frame(parts[0].toLatin1());
            bytes += one.repeated(parts.size() > 1 ? parts[1].toInt() : 1);
        }
        out << bytes;
    }
    return out;
}

QString kindName(ReplyDecoder::Kind k) {
    static const char* const names[] = {"ack", "data", "nak", "garbage", "start", "abandoned"};
    return QString::fromLatin1(names[int(k)]);
}
}  // namespace

class TraceTest : public QObject {
    Q_OBJECT

private slots:
    void framesInWords_data() {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("meaning");  // of the last run
        QTest::newRow("wake-up") << "SSS"
                                 << "SSS réveil";
        QTest::newRow("burst") << "SSS*11"
                               << "SSS réveil ×11";
        QTest::newRow("burst and announce") << "SSS*11,PPP"
                                            << "SSS réveil ×11, PPP annonce de lecture";
        QTest::newRow("write select") << "ZA0"
                                      << "ZA0 écriture";
        QTest::newRow("address after ZA0") << "ZA0|Y10"
                                           << "Y10 adresse 0x10";
        QTest::newRow("data after the address") << "ZA0|Y10|Y3F"
                                                << "Y3F donnée 0x3F";
        QTest::newRow("read select") << "ZA0|Y00|ZA1"
                                     << "ZA1 sélection en lecture";
        QTest::newRow("read byte") << "X1X"
                                   << "X1X lecture";
        QTest::newRow("end of read") << "X6X"
                                     << "X6X fin de lecture";
        QTest::newRow("commit") << "WWW"
                                << "WWW validation";
        QTest::newRow("sleep") << "RRR*5"
                               << "RRR mise en veille ×5";
        QTest::newRow("announce") << "PPP"
                                  << "PPP annonce de lecture";
        QTest::newRow("programmed") << "OOO"
                                    << "OOO fin de programmation";
        QTest::newRow("luminosity") << "LLL"
                                    << "LLL luminosité programmée";
        QTest::newRow("unknown") << "ABC"
                                 << "« ABC » commande inconnue";
        QTest::newRow("not a byte") << "ZA0|Y00|YG1"
                                    << "YG1 donnée illisible";
        QTest::newRow("bytes outside frames") << "~xy,RRR"
                                              << "octets hors trame (2), RRR mise en veille";
        QTest::newRow("cut frame") << "~_31"
                                   << "octets hors trame (3)";
    }
    void framesInWords() {
        QFETCH(QString, sent);
        QFETCH(QString, meaning);
        FrameDecoder decoder;
        FrameDecoder::Run run;
        for (const QByteArray& bytes : runs(sent)) run = decoder.decode(bytes);
        QCOMPARE(run.text, meaning);
        QCOMPARE(run.foreign, meaning.contains(QStringLiteral("hors trame")));
    }

    void repliesCutIntoUnits_data() {
        QTest::addColumn<QList<QByteArray>>("received");
        QTest::addColumn<QStringList>("units");  // kind:hex of this run's bytes
        QTest::newRow("acknowledgement") << QList{ack()} << QStringList{"ack:33 31 02 06 03"};
        QTest::newRow("data reply") << QList{data("5A")} << QStringList{"data:33 31 02 35 41 03"};
        QTest::newRow("replies in one run")
            << QList{ack() + data("00")}
            << QStringList{"ack:33 31 02 06 03", "data:33 31 02 30 30 03"};
        QTest::newRow("refusal") << QList{QByteArray("31\x02\x15\x03")}
                                 << QStringList{"nak:33 31 02 15 03"};
        QTest::newRow("garbage, then a reply")
            << QList{QByteArray("\x06zz") + ack()}
            << QStringList{"garbage:06 7A 7A", "ack:33 31 02 06 03"};
        QTest::newRow("extra byte after a reply")
            << QList{ack() + '\x06'} << QStringList{"ack:33 31 02 06 03", "garbage:06"};
        QTest::newRow("split acknowledgement")
            << QList{QByteArray("31\x02"), QByteArray("\x06\x03")}
            << QStringList{"start:33 31 02", "+ack:06 03"};
        QTest::newRow("data reply in three runs")
            << QList{QByteArray("3"), QByteArray("1\x02"), QByteArray("7F\x03") + ack()}
            << QStringList{"start:33", "+start:31 02", "+data:37 46 03", "ack:33 31 02 06 03"};
        QTest::newRow("started reply never completed")
            << QList{QByteArray("31\x02"), QByteArray("xx") + ack()}
            << QStringList{"start:33 31 02", "+abandoned:", "garbage:78 78", "ack:33 31 02 06 03"};
        QTest::newRow("non-hexadecimal digits are still a data reply")
            << QList{data("G0")} << QStringList{"data:33 31 02 47 30 03"};
    }
    void repliesCutIntoUnits() {
        QFETCH(QList<QByteArray>, received);
        QFETCH(QStringList, units);
        ReplyDecoder decoder;
        QStringList got;
        for (const QByteArray& run : received)
            for (const ReplyDecoder::Unit& u : decoder.decode(run))
                got << (u.continued ? QStringLiteral("+") : QString()) + kindName(u.kind) + u':' +
                           hexText(u.bytes);
        QCOMPARE(got, units);
    }

    // Each step is "> COMMANDS" (sent), "< hex-free reply text" (read), "x reply" (discarded),
    // at the given millisecond; the rows' meanings are compared afterwards.
    void repliesPairedWithFrames_data() {
        QTest::addColumn<QList<QByteArray>>("steps");
        QTest::addColumn<QStringList>("meanings");
        const QByteArray a = ack();
        QTest::newRow("answered probe") << QList<QByteArray>{"0>RRR", "50<" + a}
                                        << QStringList{"RRR mise en veille", "acquittement (RRR)"};
        QTest::newRow("data byte") << QList<QByteArray>{"0>X1X", "50<" + data("5A")}
                                   << QStringList{"X1X lecture", "octet 0x5A lu"};
        QTest::newRow("wake-up replies dropped")
            << QList<QByteArray>{"0>SSS*2", "500x" + a + a}
            << QStringList{"SSS réveil ×2", "acquittement (SSS) — écarté",
                           "acquittement (SSS) — écarté"};
        QTest::newRow("lost replies, once their second is over")
            << QList<QByteArray>{"0>SSS*5", "1200<" + a + a + a}
            << QStringList{"SSS réveil ×5 — 2 sans réponse sur 5", "acquittement (SSS)",
                           "acquittement (SSS)", "acquittement (SSS)"};
        QTest::newRow("not lost while their second runs")
            << QList<QByteArray>{"0>RRR", "900<"} << QStringList{"RRR mise en veille"};
        QTest::newRow("silent board") << QList<QByteArray>{"0>RRR", "1100<"}
                                      << QStringList{"RRR mise en veille — sans réponse"};
        QTest::newRow("reply to nothing")
            << QList<QByteArray>{"0<" + a} << QStringList{"acquittement inattendu"};
        QTest::newRow("acknowledgement where a byte was due")
            << QList<QByteArray>{"0>X1X", "20<" + a}
            << QStringList{"X1X lecture", "acquittement au lieu d'un octet (X1X)"};
        QTest::newRow("garbled byte") << QList<QByteArray>{"0>X1X", "20<" + data("G0")}
                                      << QStringList{"X1X lecture", "octet illisible « G0 »"};
        QTest::newRow("reply split between two reads")
            << QList<QByteArray>{"0>RRR", "20<31\x02", "30<\x06\x03"}
            << QStringList{"RRR mise en veille", "début de réponse",
                           "fin de réponse : acquittement (RRR)"};
        QTest::newRow("reply cut by a discard")
            << QList<QByteArray>{"0>RRR", "20x31\x02", "1200<"}
            << QStringList{"RRR mise en veille — sans réponse", "réponse incomplète — écarté"};
        QTest::newRow("late reply pairs with no frame after its frame was given up")
            << QList<QByteArray>{"0>RRR", "1100<", "1300<" + a}
            << QStringList{"RRR mise en veille — sans réponse", "acquittement inattendu"};
    }
    void repliesPairedWithFrames() {
        QFETCH(QList<QByteArray>, steps);
        QFETCH(QStringList, meanings);
        TraceLog log;
        for (const QByteArray& step : steps) {
            qsizetype at = 0;
            while (!QByteArrayView("<>x").contains(step[at])) ++at;
            const auto time = std::chrono::milliseconds(step.left(at).toInt());
            const QByteArray rest = step.mid(at + 1);
            if (step[at] == '>')
                log.bytesSent(runs(QString::fromLatin1(rest)).front(), time, 9600);
            else
                log.bytesReceived(rest, time, step[at] == 'x');
        }
        QStringList got;
        for (quint64 id = log.firstId(); id < log.endId(); ++id) got << meaningText(log.row(id));
        QCOMPARE(got, meanings);
    }

    void operationsFrameTheirRowsAndOldRowsGo() {
        TraceLog log(4);
        log.operationStarted(QStringLiteral("Paramètres : Lire les paramètres"), 10ms);
        QCOMPARE(meaningText(log.row(0)),
                 QStringLiteral("Paramètres : Lire les paramètres — en cours"));
        log.bytesSent(frames::frame("RRR"), 15ms, 9600);
        log.operationEnded(QStringLiteral("terminée"), false, 1244ms);
        QCOMPARE(meaningText(log.row(0)),
                 QStringLiteral("Paramètres : Lire les paramètres — 1234 ms — terminée"));
        QCOMPARE(sinceText(log.row(1)), QStringLiteral("5 ms"));
        // Beyond the limit the oldest rows go; the pairing still knows the frames sent.
        for (int i = 0; i < 3; ++i) log.bytesSent(frames::frame("RRR"), 1300ms, 9600);
        QCOMPARE(log.firstId(), quint64(1));
        QCOMPARE(log.size(), 4);
        log.bytesReceived(ack().repeated(4), 1350ms, false);
        QCOMPARE(log.firstId(), quint64(5));
        QCOMPARE(meaningText(log.row(7)), QStringLiteral("acquittement (RRR)"));
        QCOMPARE(log.takeChangedFrom(), quint64(5));
        QCOMPARE(log.takeChangedFrom(), log.endId());
        log.clear();
        QCOMPARE(log.size(), 0);
        QCOMPARE(log.firstId(), quint64(9));
    }

    void savedTraceHasOneLinePerRow() {
        TraceLog log;
        log.setClockAnchor(0ms, QDateTime(QDate(2026, 12, 7), QTime(14, 0)).toMSecsSinceEpoch());
        log.operationStarted(QStringLiteral("Lire"), 0ms);
        log.bytesSent(frames::frame("SSS"), 2ms, 9600);
        log.bytesReceived({}, 1100ms, false);
        log.operationEnded(QStringLiteral("échec : la carte n'a pas répondu à temps"), true,
                           1100ms);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.txt"));
        QString error;
        QVERIFY(saveTrace(log, path, &error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.contains('\r'));  // LF line ends on every system
        const QStringList lines = QString::fromUtf8(bytes).split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("=== 14:00:00.000  Lire — 1100 ms — échec : la carte "
                                          "n'a pas répondu à temps"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("!     2 ms  14:00:00.002  → carte  SSS réveil "
                                                    "— sans réponse")),
                 qPrintable(lines[1]));
        QVERIFY(
            lines[1].endsWith(QStringLiteral("|  5F 33 31 02 53 53 53 03  |  _31<STX>SSS<ETX>")));
        QVERIFY(!saveTrace(log, dir.filePath(QStringLiteral("absent/trace.txt")), &error));
        QVERIFY(error.startsWith(QStringLiteral("Impossible d'écrire")));
    }
};

QTEST_GUILESS_MAIN(TraceTest)
#include "test_trace.moc"
