#include "ui/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace trv {

void PlatformPrompts::message(msg::Kind kind, QWidget* parent, const QString& text,
                              const QString& detail) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
        case msg::Kind::Info:
            icon = QMessageBox::Information;
            break;
        case msg::Kind::Warning:
            icon = QMessageBox::Warning;
            break;
        case msg::Kind::Critical:
            icon = QMessageBox::Critical;
            break;
        case msg::Kind::Plain:
            icon = QMessageBox::NoIcon;
            break;
    }
    QMessageBox box(icon, QString::fromLatin1(msg::kCaption), text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    box.exec();
}

bool PlatformPrompts::question(QWidget* parent, const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(msg::kCaption), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    // Enter alone never replaces anything.
    box.setDefaultButton(QMessageBox::No);
    box.setInformativeText(detail);
    return box.exec() == QMessageBox::Yes;
}

// No default suffix: a name typed without extension is used as typed.
QString PlatformPrompts::openFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return QFileDialog::getOpenFileName(parent, title, initialName, filter);
}

QString PlatformPrompts::saveFileName(QWidget* parent, const QString& title, const QString& filter,
                                      const QString& initialName) {
    return QFileDialog::getSaveFileName(parent, title, initialName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString PlatformPrompts::saveFileNameAsking(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& initialName) {
    return QFileDialog::getSaveFileName(parent, title, initialName, filter);
}

}  // namespace trv
