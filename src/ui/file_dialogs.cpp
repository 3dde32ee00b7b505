#include "ui/file_dialogs.h"

#include <QFileDialog>

namespace trv {
namespace {

// No default suffix: a name typed without extension is used as typed.
QString realOpenDialog(QWidget* parent, const QString& title, const QString& filter,
                       const QString& initialName) {
    return QFileDialog::getOpenFileName(parent, title, initialName, filter);
}

QString realSaveDialog(QWidget* parent, const QString& title, const QString& filter,
                       const QString& initialName) {
    return QFileDialog::getSaveFileName(parent, title, initialName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString realSaveAskingDialog(QWidget* parent, const QString& title, const QString& filter,
                             const QString& initialName) {
    return QFileDialog::getSaveFileName(parent, title, initialName, filter);
}

FileDialogs& dialogs() {
    static FileDialogs d{realOpenDialog, realSaveDialog, realSaveAskingDialog};
    return d;
}

}  // namespace

const FileDialogs& fileDialogs() { return dialogs(); }

void setFileDialogsForTesting(FileDialogs d) {
    dialogs().open = d.open ? std::move(d.open) : realOpenDialog;
    dialogs().save = d.save ? std::move(d.save) : realSaveDialog;
    dialogs().saveAsking = d.saveAsking ? std::move(d.saveAsking) : realSaveAskingDialog;
}

}  // namespace trv
