#pragma once

#include <QString>
#include <functional>

class QWidget;

// Every message of the program is a modal box with the caption "TRV_T" and one OK button.
namespace trv::msg {

enum class Kind { Info, Warning, Critical, Plain };

void info(QWidget* parent, const QString& text);
void warning(QWidget* parent, const QString& text);
void critical(QWidget* parent, const QString& text);
void plain(QWidget* parent, const QString& text);

void show(Kind kind, QWidget* parent, const QString& text);
// The same box with a second, informative text under the main one (the cause of a failure).
void show(Kind kind, QWidget* parent, const QString& text, const QString& detail);

// Test seam: while an observer is set, boxes are not shown; the observer records them
// and the call returns as if the user had pressed OK.
using Observer = std::function<void(Kind, const QString&)>;
void setObserver(Observer observer);
// The same, for an observer that also records the informative text.
using DetailObserver = std::function<void(Kind, const QString& text, const QString& detail)>;
void setDetailObserver(DetailObserver observer);

inline constexpr const char* kCaption = "TRV_T";

}  // namespace trv::msg
