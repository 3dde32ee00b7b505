#include "app/help_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace trv {
namespace {

// The browser that reads the manual's pages and pictures from its folder, each made to show
// whole: a figure as a block, a picture no wider than the view.
class ManualBrowser final : public QTextBrowser {
public:
    static constexpr int kOpeningWidth = 780;
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        const QVariant loaded = QTextBrowser::loadResource(type, name);
        if (type == QTextDocument::HtmlResource) {
            const QString html = loaded.userType() == QMetaType::QByteArray
                                     ? QString::fromUtf8(loaded.toByteArray())
                                     : loaded.toString();
            return HelpWindow::readableHtml(html);
        }
        if (type != QTextDocument::ImageResource) return loaded;
        QImage picture;
        if (loaded.userType() == QMetaType::QByteArray)
            picture.loadFromData(loaded.toByteArray());
        else
            picture = loaded.value<QImage>();
        // Before the window first shows, the view has no width of its own yet: the one it
        // opens with stands in.
        const int view = isVisible() ? viewport()->width() : kOpeningWidth;
        const int room = qMax(200, view - 2 * int(document()->documentMargin()) -
                                       verticalScrollBar()->sizeHint().width() - 40);
        if (picture.isNull() || picture.width() <= room) return loaded;
        return picture.scaledToWidth(room, Qt::SmoothTransformation);
    }
};

}  // namespace

QString HelpWindow::readableHtml(QString html) {
    static const QRegularExpression figure(QStringLiteral("<figure\\b[^>]*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression endFigure(QStringLiteral("</figure\\s*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression caption(QStringLiteral("<figcaption\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression endCaption(QStringLiteral("</figcaption\\s*>"),
                                               QRegularExpression::CaseInsensitiveOption);
    html.replace(figure, QStringLiteral("<div>"));
    html.replace(endFigure, QStringLiteral("</div>"));
    html.replace(caption, QStringLiteral("<p><i>"));
    html.replace(endCaption, QStringLiteral("</i></p>"));
    return html;
}

HelpWindow::HelpWindow(const QString& manual, OpenExternal openExternal, QWidget* parent)
    : QWidget(parent),
      m_manual(QUrl::fromLocalFile(manual)),
      m_openExternal(std::move(openExternal)) {
    setObjectName(QStringLiteral("AIDE"));
    setWindowTitle(QStringLiteral(" Aide."));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    m_back = new QPushButton(QStringLiteral("&Précédent"), this);
    m_back->setObjectName(QStringLiteral("BOUTON_PRECEDENT"));
    m_home = new QPushButton(QStringLiteral("&Sommaire"), this);
    m_home->setObjectName(QStringLiteral("BOUTON_SOMMAIRE"));
    buttons->addWidget(m_back);
    buttons->addWidget(m_home);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_browser = new ManualBrowser(this);
    m_browser->setObjectName(QStringLiteral("MANUEL"));
    m_browser->setAccessibleName(QStringLiteral("MANUEL"));
    // Every link passes through follow(): the browser alone would try to show a web page
    // itself and show nothing.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    layout->addWidget(m_browser);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::follow);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_home, &QPushButton::clicked, this, &HelpWindow::showManual);
    m_back->setEnabled(false);
    showManual();
}

void HelpWindow::showManual() { m_browser->setSource(m_manual); }

bool HelpWindow::staysInside(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}

void HelpWindow::follow(const QUrl& link) {
    // Links in the manual are relative to the page that holds them.
    const QUrl url = m_browser->source().resolved(link);
    if (staysInside(url))
        m_browser->setSource(url);
    else if (m_openExternal)
        m_openExternal(url);
}

}  // namespace trv
