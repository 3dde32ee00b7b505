#pragma once

#include <QWidget>

#include "protocol/link_probe.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace trv {

class Link;
class Prompts;

// "Test de liaison": the presence probe sent a chosen number of times on the open port,
// with the answered count, the round-trip times and a verdict. One probe runs at a time and
// the window goes back to the event loop between probes, so "Arrêter" is heard.
class LinkTest final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultProbes = 20;

    LinkTest(Link& link, Prompts& prompts, QWidget* parent = nullptr);
    ~LinkTest() override;

    QSpinBox* nombre = nullptr;
    QPushButton* butDemarrer = nullptr;
    QPushButton* butArreter = nullptr;
    QProgressBar* progression = nullptr;
    QLabel* reponses = nullptr;
    QLabel* allerRetour = nullptr;
    QLabel* brouillees = nullptr;
    QLabel* verdict = nullptr;
    // Whether a whole-image read and write fit on the link measured.
    QLabel* prevision = nullptr;

    void start();
    void stop();
    bool running() const { return m_running; }
    const LinkTally& tally() const { return m_tally; }

signals:
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void probeNext();
    void finish();
    void showTally();

    Link& m_link;
    Prompts& m_prompts;
    LinkTally m_tally;
    int m_count = 0;
    int m_baudRate = 0;
    bool m_running = false;
    bool m_stopAsked = false;
};

}  // namespace trv
