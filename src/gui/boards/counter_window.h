#pragma once

#include <array>
#include <optional>

#include "boards/board_window.h"
#include "settings/parameter_map.h"

class QCheckBox;
class QEvent;
class QLineEdit;
class QPushButton;

namespace trv {

// The counter parameters window dump_24c01: twelve rows of digit fields beside the EEPROM
// image grid, read from and programmed into the board's image through the parameter map.
class CounterWindow : public BoardWindow {
    Q_OBJECT
public:
    // `intitu(4)` is range 1 ... `intitu(8)` range 5.
    static constexpr int kFirstRangeLabel = 4;

    static constexpr int kRows = 12;

    CounterWindow(Link& link, Prompts& prompts, ReplyControl replyControl,
                  QWidget* parent = nullptr);

    // After each port opening: range labels orange, clickable only on a three-colour board.
    void applyColourSetting(bool monoColour);

    void openGridPanel();   // Command2
    void closeGridPanel();  // "Férmer l'extension."

    void readSettings();                // but_lit_para
    void programSettings();             // but_ecrit_para
    void rangeLabelClicked(int index);  // a click on intitu(index)

    // The range colours programming sends, ranges 1 to 5 at 0 to 4; the range labels
    // intitu(4) to intitu(8) show them (no colour as white).
    const counter::RangeColours& rangeColours() const { return m_rangeColours; }
    void setRangeColours(const counter::RangeColours& colours);
    void setRangeColour(int range, counter::ColourCode code);

    // Row labels, integer fields, decimal fields and commas, by their given indices.
    std::array<QLineEdit*, kRows> intitu{};
    std::array<QLineEdit*, kRows> valeur{};
    std::array<QLineEdit*, kRows> vdeci{};
    std::array<QLineEdit*, kRows> virgu{};
    QCheckBox* POLREL1 = nullptr;
    QCheckBox* POLREL2 = nullptr;
    QCheckBox* POLREL3 = nullptr;
    QPushButton* butLitPara = nullptr;
    QPushButton* butEcritPara = nullptr;
    QPushButton* Command2 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showLoadedImage(const CellTexts& cells) override;
    QList<int> programmedAddresses() const override { return board::counterAddresses(); }

private:
    void buildRows();
    void clearFields();
    void setRangeLabelsOrange();
    void paintRangeLabel(int range);
    void decodeFields();
    board::CounterSettings settingsFromFields() const;
    // The refusal naming the first field that cannot be programmed, if any.
    std::optional<QString> unsendableFieldMessage() const;

    counter::RangeColours m_rangeColours{};
};

}  // namespace trv
