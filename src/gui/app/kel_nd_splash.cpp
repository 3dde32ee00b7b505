#include "app/kel_nd_splash.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "program/program.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace {
// The maker's logo: a stylised counter display drawn here rather than shipped as a file.
QPixmap logo(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect panel(8, 8, size.width() / 2, size.height() - 16);
    p.setBrush(QColor(20, 20, 20));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(panel, 10, 10);
    QFont digits(QStringLiteral("DejaVu Sans Mono"));
    digits.setPixelSize(panel.height() * 2 / 3);
    digits.setBold(true);
    p.setFont(digits);
    p.setPen(QColor(255, 60, 40));
    p.drawText(panel, Qt::AlignCenter, QStringLiteral("88:88"));
    QFont name = windowFont();
    name.setPixelSize(size.height() / 3);
    name.setBold(true);
    p.setFont(name);
    p.setPen(QColor(0, 0, 128));
    p.drawText(QRect(panel.right() + 16, 0, size.width() - panel.right() - 24, size.height()),
               Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("TRV"));
    return pixmap;
}
}  // namespace

QString KelNdSplash::versionText() { return QStringLiteral("Version ") + projectVersion(); }

KelNdSplash::KelNdSplash(std::function<void()> showMain, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), m_showMain(std::move(showMain)) {
    setObjectName(QStringLiteral("KEL_ND_SPLASH"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(twipSize(9150, 4245));
    setAutoFillBackground(true);
    colour::setBackground(this, colour::kWhite);
    setFocusPolicy(Qt::StrongFocus);

    auto* shape = new QFrame(this);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setFrameShape(QFrame::Box);
    shape->setGeometry(twipRect(75, 75, 9015, 4080));

    auto* picture = new QLabel(this);
    nameControl(picture, QStringLiteral("Picture1"));
    picture->setGeometry(twipRect(120, 120, 8895, 1725));
    picture->setPixmap(logo(picture->size()));

    auto* contact = new QLabel(this);
    nameDescribed(contact, QStringLiteral("Text1"));
    contact->setGeometry(twipRect(120, 1800, 8895, 1695));
    contact->setAlignment(Qt::AlignCenter);
    contact->setStyleSheet(QStringLiteral("color: #00008b; background: white;"));
    contact->setText(
        QStringLiteral("Atelier TRV Affichage\nZone artisanale des Tilleuls, 00000 Exempleville\n"
                       "Assistance technique : support@trv-affichage.example"));

    auto* title =
        new QLabel(QStringLiteral("Logiciel de  Gestion Compteur / Décompteur TRV."), this);
    nameDescribed(title, QStringLiteral("Label1"));
    title->setGeometry(twipRect(120, 3480, 8895, 375));
    QFont f = windowFont(12);
    f.setBold(true);
    title->setFont(f);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet(QStringLiteral("color: red; background: white;"));

    lblVersion = new QLabel(versionText(), this);
    nameDescribed(lblVersion, QStringLiteral("lblVersion"));
    lblVersion->setGeometry(twipRect(120, 3840, 8895, 255));
    lblVersion->setAlignment(Qt::AlignCenter);

    for (QWidget* w : {static_cast<QWidget*>(picture), static_cast<QWidget*>(contact),
                       static_cast<QWidget*>(title), static_cast<QWidget*>(lblVersion)})
        w->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(5000);
    connect(Timer1, &QTimer::timeout, this, &KelNdSplash::finish);
    Timer1->start();
    finishWindow(this);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void KelNdSplash::keyPressEvent(QKeyEvent*) { finish(); }

bool KelNdSplash::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        finish();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void KelNdSplash::finish() {
    if (m_finished) return;
    m_finished = true;
    Timer1->stop();
    close();
    if (m_showMain) m_showMain();
}

}  // namespace trv
