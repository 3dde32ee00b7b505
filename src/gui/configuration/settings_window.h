#pragma once

#include <QWidget>
#include <array>

#include "protocol/board_operations.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace trv {

class BoardWindows;
class Link;
class Prompts;

// The eight selections, in the order they are filled, saved and restored.
enum class Setting { Com, Inter, NbrDigi, Coul, Dcf77, Rel1, Rel2, Rep };
inline constexpr int kSettingCount = 8;

// What the rest of the program needs of the eight selections.
struct LinkSettings {
    int port = 1;  // COM1 to COM12
    bool monoColour = true;
    board::ReplyControl reply = board::ReplyControl::Oui;
};

// The settings window CONFIGURATION. Its life governs the port: destroying it releases the
// link, which closes the port and clears the port-open flag, so a new one starts with the
// flag false.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    SettingsWindow(Link& link, Prompts& prompts, BoardWindows* boards, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    QComboBox* list(Setting setting) const { return m_lists[std::size_t(setting)]; }
    QString text(Setting setting) const;
    int index(Setting setting) const;
    // Selects entry i; false when the list has no such entry.
    bool setIndex(Setting setting, int i);
    QPushButton* validateButton() const { return m_valide; }
    // The selections as plain values.
    LinkSettings settings() const;

    // Opens the selected port and adapts the board windows (BOUTON_VALIDE).
    void OUVERTURE_DU_COM();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QComboBox* addList(Setting setting, const char* name, const char* labelName,
                       const QString& caption, const QStringList& items, int labelLeft,
                       int listLeft, int top);

    Link& m_link;
    Prompts& m_prompts;
    BoardWindows* m_boards;
    std::array<QComboBox*, kSettingCount> m_lists{};
    QPushButton* m_valide = nullptr;
};

}  // namespace trv
