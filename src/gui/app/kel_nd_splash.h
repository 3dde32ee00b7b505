#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QTimer;

namespace trv {

// The splash window KEL_ND_SPLASH: presents the program for five seconds, or until a key
// or a click, then hands over to the main window exactly once.
class KelNdSplash : public QWidget {
    Q_OBJECT
public:
    explicit KelNdSplash(std::function<void()> showMain, QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    QTimer* Timer1 = nullptr;

    static QString versionText();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void finish();

    std::function<void()> m_showMain;
    bool m_finished = false;
};

}  // namespace trv
