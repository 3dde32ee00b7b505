#pragma once

#include <QString>

#include "ui/messages.h"

class QWidget;

namespace trv {

// What the windows ask of the user: the message boxes and the file dialogs. The main window
// receives one and hands it to every window it makes, so a test gives a window its own and
// nothing is shared between them.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal box on parent; `detail` is an informative text under the main one (the cause
    // of a failure), empty for none. Returns once the user has acknowledged it.
    virtual void message(msg::Kind kind, QWidget* parent, const QString& text,
                         const QString& detail) = 0;

    // A yes/no question on parent with the caption "TRV_T", "Non" by default: true when the
    // user answers yes. `detail` is an informative text under the question, empty for none.
    virtual bool question(QWidget* parent, const QString& text, const QString& detail = {}) = 0;

    // Each returns the chosen path, or an empty string when the user cancels; `filter` is in
    // QFileDialog's form ("Text(*.ext);;Other(*.*)").
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& initialName) = 0;
    // Takes the name as given, even that of an existing file.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& initialName) = 0;
    // Asks before replacing an existing file.
    virtual QString saveFileNameAsking(QWidget* parent, const QString& title, const QString& filter,
                                       const QString& initialName) = 0;

    void show(msg::Kind kind, QWidget* parent, const QString& text, const QString& detail = {}) {
        message(kind, parent, text, detail);
    }
    void info(QWidget* parent, const QString& text) { show(msg::Kind::Info, parent, text); }
    void warning(QWidget* parent, const QString& text) { show(msg::Kind::Warning, parent, text); }
    void critical(QWidget* parent, const QString& text) { show(msg::Kind::Critical, parent, text); }
    void plain(QWidget* parent, const QString& text) { show(msg::Kind::Plain, parent, text); }
};

// The platform's modal QMessageBox (caption "TRV_T", one OK button) and QFileDialog.
class PlatformPrompts final : public Prompts {
public:
    void message(msg::Kind kind, QWidget* parent, const QString& text,
                 const QString& detail) override;
    bool question(QWidget* parent, const QString& text, const QString& detail = {}) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& initialName) override;
    QString saveFileNameAsking(QWidget* parent, const QString& title, const QString& filter,
                               const QString& initialName) override;
};

}  // namespace trv
