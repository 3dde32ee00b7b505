#pragma once

namespace trv {

// Ends the program as "&Quitter" does when the session or a service manager asks it to stop
// (SIGTERM, SIGHUP) or the user presses Ctrl+C in its terminal (SIGINT): the event loop
// returns, the windows are destroyed and the port is closed and unlocked, where the default
// action would kill the process on the spot. Like "&Quitter", it is refused while an exchange
// with the board runs (the main window will not close then). Does nothing off Unix.
void quitOnTerminationSignals();

}  // namespace trv
