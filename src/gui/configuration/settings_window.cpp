#include "configuration/settings_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include "boards/board_windows.h"
#include "link/link.h"
#include "link/port_guard.h"
#include "ui/buttons.h"
#include "ui/colours.h"
#include "ui/naming.h"
#include "ui/prompts.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace trv {
namespace {
const QStringList kNonOui = {QStringLiteral("NON"), QStringLiteral("OUI")};
// SEL_COM lists COM1 to COM12 (detection and the port map go on to COM14).
constexpr int kListedPorts = 12;

QStringList comItems() {
    QStringList items;
    for (int n = 1; n <= kListedPorts; ++n) items << QStringLiteral("COM%1:").arg(n);
    return items;
}
}  // namespace

SettingsWindow::SettingsWindow(Link& link, Prompts& prompts, BoardWindows* boards, QWidget* parent)
    : QWidget(parent), m_link(link), m_prompts(prompts), m_boards(boards) {
    setObjectName(QStringLiteral("CONFIGURATION"));
    setWindowTitle(QStringLiteral(" Configuration."));
    setFixedSize(twipSize(4515, 1635));
    setAutoFillBackground(true);
    colour::setBackground(this, colour::kWhite);
    setFont(windowFont());

    // Filled in this order; the last five rows lie below the visible area and are only
    // carried to and from configuration files.
    addList(Setting::Com, "SEL_COM", "label_Port", QStringLiteral(" Port"), comItems(), 120, 1800,
            120);
    addList(Setting::Inter, "SEL_INTER", "label_Interface", QStringLiteral(" Interface"),
            {QStringLiteral("Filaire "), QStringLiteral("Sans fil")}, 960, 2640, 3120);
    addList(Setting::NbrDigi, "SEL_NBR_DIGI", "Label2", QStringLiteral("Nombre de digits"),
            {QStringLiteral("8 Digits 99 heu 59 min 59 sec 99 cen"),
             QStringLiteral("6 Digits 99 min 59 sec 99 cen"),
             QStringLiteral("4 Digits 99 sec 99 cen"), QStringLiteral("2 Digits 99 cen")},
            240, 1920, 3720);
    addList(Setting::Coul, "SEL_COUL", "Label3", QStringLiteral("Couleur des digits"),
            {QStringLiteral("Mono couleur"), QStringLiteral("Tri couleur ")}, 120, 1800, 480);
    addList(Setting::Dcf77, "SEL_DCF77", "Label4", QStringLiteral("Option DCF77"), kNonOui, 240,
            1920, 4440);
    addList(Setting::Rel1, "SEL_REL1", "Label5", QStringLiteral("Option Relais 1 et 2"), kNonOui,
            240, 1920, 4800);
    addList(Setting::Rel2, "SEL_REL2", "Label6", QStringLiteral("Option SCORE"), kNonOui, 240, 1920,
            5160);
    addList(Setting::Rep, "SEL_REP", "Label7", QStringLiteral("Controle réponses"), kNonOui, 120,
            1800, 840);

    setIndex(Setting::Com, 2);
    setIndex(Setting::Inter, 0);
    setIndex(Setting::NbrDigi, 2);
    setIndex(Setting::Coul, 0);
    setIndex(Setting::Dcf77, 0);
    setIndex(Setting::Rel1, 0);
    setIndex(Setting::Rel2, 0);
    setIndex(Setting::Rep, 1);

    m_valide = greenButton(this, QStringLiteral("Valider la configuration"), "BOUTON_VALIDE",
                           twipRect(120, 1230, 4335, 375), font());
    connect(m_valide, &QPushButton::clicked, this, [this] { OUVERTURE_DU_COM(); });
    finishWindow(this);
}

SettingsWindow::~SettingsWindow() { m_link.release(); }

QComboBox* SettingsWindow::addList(Setting setting, const char* name, const char* labelName,
                                   const QString& caption, const QStringList& items, int labelLeft,
                                   int listLeft, int top) {
    auto* label = new QLabel(caption, this);
    nameDescribed(label, QLatin1String(labelName));
    label->setGeometry(twipRect(labelLeft, top, 1575, 315));
    auto* list = new QComboBox(this);
    nameDescribed(list, QLatin1String(name));
    list->setEditable(false);
    list->addItems(items);
    list->setGeometry(twipRect(listLeft, top, 2655, 345));
    label->setBuddy(list);
    // The rows below the visible area are never reached by the keyboard.
    if (!rect().contains(list->geometry())) list->setFocusPolicy(Qt::NoFocus);
    m_lists[std::size_t(setting)] = list;
    return list;
}

QString SettingsWindow::text(Setting setting) const { return list(setting)->currentText(); }
int SettingsWindow::index(Setting setting) const { return list(setting)->currentIndex(); }

bool SettingsWindow::setIndex(Setting setting, int i) {
    QComboBox* l = list(setting);
    if (i < 0 || i >= l->count()) return false;
    l->setCurrentIndex(i);
    return true;
}

LinkSettings SettingsWindow::settings() const {
    LinkSettings s;
    const QString selected = text(Setting::Com);
    for (int n = 1; n <= kListedPorts; ++n)
        if (selected == QStringLiteral("COM%1:").arg(n)) s.port = n;
    s.monoColour = text(Setting::Coul) == QStringLiteral("Mono couleur");
    s.reply = text(Setting::Rep) == QStringLiteral("NON") ? board::ReplyControl::Non
                                                          : board::ReplyControl::Oui;
    return s;
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    // Closing the window closes the port, which an exchange may be using.
    if (!refuseCloseWhileBusy(m_link, event)) QWidget::closeEvent(event);
}

void SettingsWindow::OUVERTURE_DU_COM() {
    if (refuseWhileBusy(m_link)) return;
    const LinkSettings chosen = settings();
    const int port = chosen.port;
    m_link.setPortOpen(false);
    SerialPort& serial = m_link.port();
    if (serial.isOpen()) serial.close();
    if (!serial.open(port)) {
        m_prompts.show(msg::Kind::Critical, this,
                       QStringLiteral("L'ouverture du port COM%1 à échouée !").arg(port),
                       openFailureText(serial.openFailure(), port));
        return;
    }
    m_link.setPortNumber(port);
    m_prompts.info(this,
                   QStringLiteral("Ouverture du port COM%1: effectuée avec succès.").arg(port));
    m_link.setPortOpen(true);
    if (m_boards) m_boards->gateBoardWindows(chosen.monoColour);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        // Minimising a window makes it the active one; the board window just shown stays in front.
        QMdiArea* area = frame->mdiArea();
        QMdiSubWindow* front = area ? area->activeSubWindow() : nullptr;
        frame->showMinimized();
        if (front && front != frame) area->setActiveSubWindow(front);
    } else
        showMinimized();
}

}  // namespace trv
