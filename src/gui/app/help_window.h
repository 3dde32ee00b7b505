#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>

class QPushButton;
class QTextBrowser;

namespace trv {

// The window "Aide": the manual read inside the program, with its pictures. A link within the
// manual (an anchor, another of its pages) is followed here; any other (a web page, an
// e-mail address, a file that is not a page) goes to the desktop's own opener.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    using OpenExternal = std::function<void(const QUrl&)>;

    HelpWindow(const QString& manual, OpenExternal openExternal, QWidget* parent = nullptr);

    QTextBrowser* browser() const { return m_browser; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* homeButton() const { return m_home; }

    // The manual's first page, from its top.
    void showManual();
    // What clicking a link does: follows it here or hands it on.
    void follow(const QUrl& link);
    // A link that stays in the window: a page (or a place in one) on this machine.
    static bool staysInside(const QUrl& url);
    // A page of the manual as the window's rich text reads it: the figures it does not know
    // become blocks of their own, their captions paragraphs under the picture.
    static QString readableHtml(QString html);

    QSize sizeHint() const override { return {820, 620}; }

private:
    QUrl m_manual;
    OpenExternal m_openExternal;
    QTextBrowser* m_browser = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_home = nullptr;
};

}  // namespace trv
