#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "port/port_assignment.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace trv {

class Prompts;

// The window "Ports série": what COM1 to COM14 lead to, the machine's serial devices, and
// associating a device with a COM number or removing that association. It looks again by
// itself while it is shown, and costs nothing once closed.
class SerialPortsWindow : public QWidget {
    Q_OBJECT
public:
    using DeviceList = std::function<QList<SerialDevice>()>;
    static constexpr int kRefreshMs = 2000;

    // Tests give a folder of their own and fake devices; the program uses the real ones.
    explicit SerialPortsWindow(Prompts& prompts, QWidget* parent = nullptr);
    SerialPortsWindow(Prompts& prompts, QString portsFolder, QString byIdFolder, DeviceList devices,
                      QWidget* parent = nullptr);

    QTableWidget* ports() const { return m_ports; }
    QTableWidget* devices() const { return m_devices; }
    QComboBox* targetPort() const { return m_target; }
    QPushButton* assignButton() const { return m_assign; }
    QPushButton* unassignButton() const { return m_unassign; }
    const QTimer& refreshTimer() const { return m_timer; }

    void refresh();
    // Links the selected device to the COM number chosen beside the button.
    void assignSelected();
    // Removes the link of the selected COM row.
    void unassignSelected();

    // Room for a by-id name and a description side by side; the main window's frame takes
    // the child's size from here.
    QSize sizeHint() const override { return {720, 560}; }

    // The texts of COM n's row: what it leads to.
    static QString leadsTo(const PortEntry& entry);

signals:
    void refreshed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void fillPorts();
    void fillDevices();

    Prompts& m_prompts;
    QString m_folder;
    QString m_byId;
    DeviceList m_list;
    QList<SerialDevice> m_known;
    QList<PortEntry> m_entries;
    QTableWidget* m_ports = nullptr;
    QTableWidget* m_devices = nullptr;
    QComboBox* m_target = nullptr;
    QPushButton* m_assign = nullptr;
    QPushButton* m_unassign = nullptr;
    QTimer m_timer;
};

}  // namespace trv
