#include "app/help_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace trv {

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
    m_browser = new QTextBrowser(this);
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
