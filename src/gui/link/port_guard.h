#pragma once

class QCloseEvent;
class QWidget;

namespace trv {

class Link;
class Prompts;

// The open-port guard every board operation runs before sending anything: warns and
// answers false while no port has been opened by the settings window.
bool openPortGuard(const Link& link, Prompts& prompts, QWidget* parent);

// One operation at a time. True while an exchange with the board runs: every entry point
// that talks to the board, changes its port or the image being transferred then returns at
// once, sending nothing and showing nothing. User input already waits for the exchange's
// end; this also holds back what other routes deliver (a click from code, an accessibility
// tool, a timer firing while a wait keeps the windows painting).
bool refuseWhileBusy(const Link& link);

// What a board operation started from a window checks before anything else: no exchange
// running (refused without a word), then an open port (the guard warns). True when the
// operation may go on.
bool mayStartOperation(const Link& link, Prompts& prompts, QWidget* parent);

// A window that takes part in exchanges does not close while one runs: ignores the close
// and answers true then.
bool refuseCloseWhileBusy(const Link& link, QCloseEvent* event);

}  // namespace trv
