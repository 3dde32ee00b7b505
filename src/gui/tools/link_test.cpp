#include "tools/link_test.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "link/link.h"
#include "link/port_guard.h"
#include "link/window_exchange.h"
#include "ui/colours.h"
#include "ui/prompts.h"

namespace trv {
namespace {
QLabel* resultLabel(const char* name, QWidget* window) {
    auto* l = new QLabel(window);
    l->setObjectName(QLatin1String(name));
    l->setAccessibleDescription(QLatin1String(name));
    // Long verdicts wrap rather than run out of the window.
    l->setWordWrap(true);
    return l;
}

// The longest texts the result labels show in a run of up to 1000 probes: the window opens
// wide enough for each on one line.
QStringList widestResults() {
    LinkTally garbled;
    for (int i = 0; i < 998; ++i) garbled.add({false, true, Millis(0)});
    garbled.add({true, true, Millis(999)});
    garbled.add({true, false, Millis(999)});
    LinkTally lossy;
    lossy.add({true, false, Millis(14)});
    lossy.add({false, false, Millis(0)});
    return {garbled.verdict() + QStringLiteral(" (arrêté après 999 essais)"),
            garbled.roundTripText(),
            forecastText(forecastTransfers(Millis(999), 9600)),
            forecastText(forecastTransfers(Millis(15), 9600)),
            forecastText(forecastTransfers(Millis(9), 9600)),
            lossy.transferVerdict(9600),
            QStringLiteral("Refusé : une autre opération est en cours.")};
}
}  // namespace

LinkTest::LinkTest(Link& link, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_link(link), m_prompts(prompts) {
    setObjectName(QStringLiteral("TEST_LIAISON"));
    setWindowTitle(QStringLiteral(" Test de liaison."));

    nombre = new QSpinBox(this);
    nombre->setObjectName(QStringLiteral("nombre"));
    nombre->setAccessibleName(QStringLiteral("nombre"));
    nombre->setRange(1, 1000);
    nombre->setValue(kDefaultProbes);
    butDemarrer = new QPushButton(QStringLiteral("Démarrer"), this);
    butDemarrer->setObjectName(QStringLiteral("but_demarrer"));
    butDemarrer->setToolTip(
        QStringLiteral("Envoie la trame RRR le nombre de fois choisi, une à la fois, et attend "
                       "chaque acquittement jusqu'à 1 s."));
    butArreter = new QPushButton(QStringLiteral("Arrêter"), this);
    butArreter->setObjectName(QStringLiteral("but_arreter"));
    butArreter->setEnabled(false);
    progression = new QProgressBar(this);
    progression->setObjectName(QStringLiteral("progression"));
    progression->setAccessibleName(QStringLiteral("progression"));
    progression->setValue(0);
    reponses = resultLabel("reponses", this);
    allerRetour = resultLabel("aller_retour", this);
    brouillees = resultLabel("brouillees", this);
    verdict = resultLabel("verdict", this);
    QFont bold = verdict->font();
    bold.setBold(true);
    verdict->setFont(bold);
    verdict->setAutoFillBackground(true);
    prevision = resultLabel("prevision", this);
    prevision->setAutoFillBackground(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Nombre d'essais :"), nombre);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(butDemarrer);
    buttons->addWidget(butArreter);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(progression);
    for (QLabel* l : {reponses, allerRetour, brouillees, verdict, prevision}) layout->addWidget(l);
    layout->addStretch();
    showTally();

    connect(butDemarrer, &QPushButton::clicked, this, &LinkTest::start);
    connect(butArreter, &QPushButton::clicked, this, &LinkTest::stop);
}

LinkTest::~LinkTest() {
    if (m_running) m_link.endExchange();
}

void LinkTest::start() {
    if (m_running) return;
    // Checked first: the guard's warning would otherwise open a box inside the exchange.
    if (refuseWhileBusy(m_link)) {
        verdict->setText(QStringLiteral("Refusé : une autre opération est en cours."));
        return;
    }
    if (!openPortGuard(m_link, m_prompts, this)) return;
    m_tally = {};
    m_count = nombre->value();
    m_running = true;
    m_stopAsked = false;
    // The test is one operation from its first probe to its last: the link stays busy in
    // between, so no other exchange starts and no board window closes meanwhile.
    m_link.beginExchange();
    butDemarrer->setEnabled(false);
    nombre->setEnabled(false);
    butArreter->setEnabled(true);
    progression->setRange(0, m_count);
    showTally();
    QTimer::singleShot(0, this, &LinkTest::probeNext);
}

void LinkTest::stop() { m_stopAsked = true; }

void LinkTest::probeNext() {
    if (!m_running) return;
    if (m_stopAsked || m_tally.sent() >= m_count || !m_link.portOpen()) {
        finish();
        return;
    }
    int lost = 0;
    {
        WindowExchange exchange(
            m_link, m_prompts, this,
            QStringLiteral("essai %1 sur %2").arg(m_tally.sent() + 1).arg(m_count));
        m_baudRate = exchange.port().baudRate();
        const ProbeResult probe = probeOnce(exchange);
        lost = probe.lostPort;
        if (!lost) exchange.setOutcome(probeOutcome(probe), !probe.answered);
        m_tally.add(probe);
    }
    showTally();
    // The port went away: the test ends there, and says why.
    if (lost) {
        finish();
        m_prompts.warning(this, lostPortText(lost));
        return;
    }
    // Back to the event loop between probes: "Arrêter" and painting come through here.
    QTimer::singleShot(0, this, &LinkTest::probeNext);
}

void LinkTest::finish() {
    m_running = false;
    m_link.endExchange();
    butDemarrer->setEnabled(true);
    nombre->setEnabled(true);
    butArreter->setEnabled(false);
    showTally();
    if (m_stopAsked && m_tally.sent() < m_count)
        verdict->setText(verdict->text() +
                         QStringLiteral(" (arrêté après %1 essais)").arg(m_tally.sent()));
    emit finished();
}

void LinkTest::showTally() {
    // In the font the labels have now: the window may have been given another since.
    static const QStringList widest = widestResults();
    for (QLabel* l : {verdict, prevision}) {
        int width = 0;
        for (const QString& text : widest)
            width = std::max(width, l->fontMetrics().horizontalAdvance(text));
        l->setMinimumWidth(width + 2 * l->margin() + 2 * l->frameWidth() + 4);
    }
    progression->setValue(m_tally.sent());
    reponses->setText(m_tally.answeredText());
    allerRetour->setText(m_tally.roundTripText());
    brouillees->setText(m_tally.garbledText());
    const QString words = m_tally.verdict();
    verdict->setText(words);
    // The forecast waits for the whole measurement: a few probes say little of a whole run.
    const QString forecast = m_running ? QString() : m_tally.transferVerdict(m_baudRate);
    prevision->setText(forecast);
    if (forecast.isEmpty()) {
        colour::setBackground(prevision, colour::kWhite);
    } else {
        const TransferForecast f = forecastTransfers(*m_tally.median(), m_baudRate);
        const bool clean = m_tally.lost() == 0 && m_tally.garbled() == 0;
        colour::setBackground(prevision, !f.readFits              ? colour::kRed
                                         : !f.writeFits || !clean ? colour::kOrange
                                                                  : colour::kGreen);
    }
    if (words.isEmpty() || m_running)
        colour::setBackground(verdict, colour::kWhite);
    else
        colour::setBackground(
            verdict, m_tally.answered() == m_tally.sent() && m_tally.garbled() == 0 ? colour::kGreen
                     : m_tally.answered() == 0                                      ? colour::kRed
                                               : colour::kOrange);
}

void LinkTest::closeEvent(QCloseEvent* event) {
    // Between probes the window may close; the running test ends with it.
    if (m_running) {
        m_stopAsked = true;
        finish();
    }
    QWidget::closeEvent(event);
}

}  // namespace trv
