#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <deque>
#include <functional>
#include <utility>

#include "port/port_assignment.h"
#include "port/serial_port.h"
#include "protocol/board_operations.h"
#include "protocol/clock.h"

// What the test programs of the board layer share, without any window: a private data
// folder for the port links, a pseudo-terminal linked as a port, a fake clock, an in-process
// fake port, and the frames the tool sends.
namespace trv::test {

// The data folder pointed at a fresh folder and the configuration folder at its "config", so
// port links, the image history and the preferences never touch the user's own nor another
// test's: through XDG_DATA_HOME and XDG_CONFIG_HOME, and through the tool's own TRV_DATA_HOME
// and TRV_CONFIG_HOME, which Windows (without XDG) needs.
class TempDataHome {
public:
    TempDataHome();
    ~TempDataHome();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QList<std::pair<const char*, QByteArray>> m_previous;  // each variable and its old value
};

// A private data folder with an empty port map, and a folder standing for /dev: two serial
// device entries, ttyUSB0 also reached through a stable name under serial/by-id, and the
// list the system gives of them.
class PortMapFixture {
public:
    PortMapFixture();
    bool ok() const { return m_ok; }
    QString path() const { return m_dir.path(); }
    QString node(const char* name) const;  // an entry of the folder, there or not
    QString byId() const;
    QString stableName() const;  // ttyUSB0's name under serial/by-id
    QList<SerialDevice> devices;

private:
    TempDataHome m_home;
    QTemporaryDir m_dir;
    bool m_ok = false;
};

// Makes an empty file, as a device entry stands in the folder.
bool touch(const QString& path);

#ifdef Q_OS_UNIX
// A pseudo-terminal linked as COMn, with the far end kept by the test.
class LinkedPty {
public:
    explicit LinkedPty(int portNumber);
    ~LinkedPty();
    bool ok() const { return m_master >= 0; }
    // The device a port opens ("/dev/pts/3").
    QString device() const { return m_device; }
    QByteArray readAvailable(int waitMs = 50);
    void write(const QByteArray& bytes);
    // Bytes the device holds that no one has read yet.
    qsizetype held() const;
    // The device goes away under whoever has it open, as an adapter pulled out: the far end
    // hangs up. The link stays, dangling, as the user's link would.
    void vanish();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_link;
    QString m_device;
};
#endif

class FakeClock final : public Clock {
public:
    Millis now() override { return m_now; }
    void sleep(Millis d) override { m_now += d; }
    Millis m_now{1'000'000};
};

// A port whose replies are scripted by the number of bytes written; waits advance the
// fake clock instead of blocking.
class FakePort final : public SerialPort {
public:
    explicit FakePort(FakeClock& clock) : m_clock(clock) {}

    bool open(int n) override {
        m_number = n;
        m_lost = false;
        m_open = openable(n);
        if (m_open) opened << n;
        return m_open;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    int portNumber() const override { return m_number; }
    OpenFailure openFailure() const override { return {}; }
    // Lost once `loseAfterBytes` bytes have been written in all, or the clock reaches loseAt.
    bool lost() override;
    int baudRate() const override { return 9600; }
    bool write(const QByteArray& bytes) override;
    bool drain(int) override { return m_open; }
    qint64 bytesWaiting() override { return m_input.size(); }
    bool waitForInput(int msecs) override;
    QByteArray readAll() override { return std::exchange(m_input, {}); }
    void discardInput() override { m_input.clear(); }
    void setDtr(bool on) override { m_dtr = on; }

    // Answer: once `afterBytes` more bytes are written (counted from the previous answer),
    // `reply` arrives at once.
    void answerAfter(qint64 afterBytes, QByteArray reply);
    // Bytes from the far end, waiting at once whatever was written.
    void arrive(const QByteArray& bytes) { m_input += bytes; }
    QByteArray written;
    std::function<bool(int)> openable = [](int) { return true; };
    QList<int> opened;  // every number that opened, in turn
    bool m_dtr = true;
    qint64 loseAfterBytes = -1;
    Millis loseAt{-1};
    Millis lostAt{-1};  // when lost() first saw it

private:
    FakeClock& m_clock;
    bool m_open = false;
    bool m_lost = false;
    int m_number = 0;
    QByteArray m_input;
    qint64 m_countdownBase = 0;
    std::deque<std::pair<qint64, QByteArray>> m_script;
};

// The reply control a test row names as the settings window shows it ("OUI", "NON").
inline board::ReplyControl replyControl(const QString& text) {
    return text == QLatin1String("NON") ? board::ReplyControl::Non : board::ReplyControl::Oui;
}

using Image = std::array<quint8, 128>;

// Two upper-case hexadecimal digits, as the frames carry a byte.
QByteArray hexByte(int value);
// The commands of one whole-image read and write, frame by frame, without the burst of
// five "SSS" that opens each transfer.
QByteArrayList readCommands();
QByteArrayList writeCommands(const Image& image);
// Those commands framed, as the tool sends them.
QByteArray readTransaction();
QByteArray writeTransaction(const Image& image);
// A board's reply to that read, for an image whose byte i is byteAt(i); keep: only the first
// so many characters (all when negative).
QByteArray readReply(const std::function<int(int)>& byteAt, int keep = -1);
QByteArray readReply(const Image& image);
QByteArray transferOpening();
QByteArray closingBurst();
// A whole-image read and write as a transfer sends them: the opening burst, then the
// transaction.
QByteArray wholeRead();
QByteArray wholeWrite(const Image& image);
// The eleven "SSS" that wake the board before a window's read or programming.
QByteArray wakeBurst();
// What a board window's read sends before its closing burst: the wake burst and "PPP",
// then the whole-image read.
QByteArray readingFrames();

}  // namespace trv::test
