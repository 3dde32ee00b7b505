#pragma once

class QWidget;

namespace trv {

class Link;

// The open-port guard every board operation runs before sending anything: warns and
// answers false while no port has been opened by the settings window.
bool openPortGuard(const Link& link, QWidget* parent);

}  // namespace trv
