#include "ui/messages.h"

#include <QMessageBox>

namespace trv::msg {
namespace {
DetailObserver& observer() {
    static DetailObserver o;
    return o;
}
}  // namespace

void setObserver(Observer o) {
    if (!o) {
        observer() = {};
        return;
    }
    observer() = [o = std::move(o)](Kind kind, const QString& text, const QString&) {
        o(kind, text);
    };
}
void setDetailObserver(DetailObserver o) { observer() = std::move(o); }

void show(Kind kind, QWidget* parent, const QString& text) { show(kind, parent, text, {}); }

void show(Kind kind, QWidget* parent, const QString& text, const QString& detail) {
    if (observer()) {
        observer()(kind, text, detail);
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
        case Kind::Info:
            icon = QMessageBox::Information;
            break;
        case Kind::Warning:
            icon = QMessageBox::Warning;
            break;
        case Kind::Critical:
            icon = QMessageBox::Critical;
            break;
        case Kind::Plain:
            icon = QMessageBox::NoIcon;
            break;
    }
    QMessageBox box(icon, QString::fromLatin1(kCaption), text, QMessageBox::Ok, parent);
    box.setInformativeText(detail);
    box.exec();
}

void info(QWidget* parent, const QString& text) { show(Kind::Info, parent, text); }
void warning(QWidget* parent, const QString& text) { show(Kind::Warning, parent, text); }
void critical(QWidget* parent, const QString& text) { show(Kind::Critical, parent, text); }
void plain(QWidget* parent, const QString& text) { show(Kind::Plain, parent, text); }

}  // namespace trv::msg
