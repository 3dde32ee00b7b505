#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "board_test_support.h"
#include "ui/prompts.h"

// What the window tests add to the board layer's support: recorded message boxes.
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
    // Recorded in `questions` (and its detail in `questionDetails`), answered by `answer` (no
    // when the test gives none).
    bool question(QWidget* parent, const QString& text, const QString& detail = {}) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileNameAsking(QWidget* parent, const QString& title, const QString& filter,
                               const QString& initialName) override;

    QList<Message> messages;
    QStringList questions;
    QStringList questionDetails;
    std::function<bool(const QString& text)> answer;
    QStringList texts() const;
    void clear() {
        messages.clear();
        questions.clear();
        questionDetails.clear();
    }

    Ask open;
    Ask save;        // takes the name as given
    Ask saveAsking;  // the dialog that asks before replacing a file

private:
    PlatformPrompts m_platform;
};

}  // namespace trv::test
