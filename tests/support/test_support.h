#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <deque>
#include <functional>
#include <utility>

#include "port/serial_port.h"
#include "protocol/board_operations.h"
#include "protocol/clock.h"
#include "ui/prompts.h"

// Shared pieces of the test programs: recorded message boxes, a private data folder for the
// port links, a fake clock and an in-process fake port for the time-out cases.
namespace trv::test {

struct Message {
    msg::Kind kind;
    QString text;
    QString detail;  // the box's informative text, if any
};

// The prompts a test hands its windows: every message box is recorded instead of shown and
// acknowledged at once; a file dialog is answered by the test's function for it, or shown as
// the platform's when the test gives none.
class MessageRecorder : public Prompts {
public:
    using Ask = std::function<QString(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName)>;

    void message(msg::Kind kind, QWidget* parent, const QString& text,
                 const QString& detail) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileNameAsking(QWidget* parent, const QString& title, const QString& filter,
                               const QString& initialName) override;

    QList<Message> messages;
    QStringList texts() const;
    void clear() { messages.clear(); }

    Ask open;
    Ask save;        // takes the name as given
    Ask saveAsking;  // the dialog that asks before replacing a file

private:
    PlatformPrompts m_platform;
};

// XDG_DATA_HOME and XDG_CONFIG_HOME pointed at a fresh folder, so port links, the image
// history and the preferences never touch the user's own.
class TempDataHome {
public:
    TempDataHome();
    ~TempDataHome();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    QByteArray m_previousConfig;
};

// A pseudo-terminal linked as COMn, with the far end kept by the test.
class LinkedPty {
public:
    explicit LinkedPty(int portNumber);
    ~LinkedPty();
    bool ok() const { return m_master >= 0; }
    QByteArray readAvailable(int waitMs = 50);
    void write(const QByteArray& bytes);

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_link;
};

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
        return (m_open = openable(n));
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
    QByteArray written;
    std::function<bool(int)> openable = [](int) { return true; };
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

// Two upper-case hexadecimal digits, as the frames carry a byte.
QByteArray hexByte(int value);
// The frames of one whole-image read and write, without the burst of five "SSS" that opens
// each transfer.
QByteArray readTransaction();
// A board's reply to that read, for an image whose byte i is byteAt(i); keep: only the first
// so many characters (all when negative).
QByteArray readReply(const std::function<int(int)>& byteAt, int keep = -1);
QByteArray writeTransaction(const std::array<quint8, 128>& image);
QByteArray transferOpening();
QByteArray closingBurst();
// What a board window's read sends before its closing burst: eleven "SSS" and "PPP" to wake
// the board, then the whole-image read.
QByteArray readingFrames();

}  // namespace trv::test
