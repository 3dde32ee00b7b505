#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "port/port_assignment.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace trv {

class Prompts;

// The window "Ports série": what COM1 to COM14 lead to, the machine's serial devices and
// whether this account can open each now, and associating a device (chosen in the list or
// typed as a path) or a serial device server's address with a COM number, asking before an
// association is replaced, or removing one. It looks again by itself while it is shown, and
// costs nothing once closed.
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
    QLineEdit* typedPath() const { return m_typed; }
    QPushButton* assignTypedButton() const { return m_assignTyped; }
    QLineEdit* typedAddress() const { return m_address; }
    QPushButton* assignAddressButton() const { return m_assignAddress; }
    const QTimer& refreshTimer() const { return m_timer; }

    void refresh();
    // Links the selected device to the COM number chosen beside the button.
    void assignSelected();
    // Links the path typed in the field to the COM number chosen beside the button.
    void assignTyped();
    // Associates the address typed in its field with the COM number chosen beside the button.
    void assignAddress();
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
    // Links COM n to target after asking when that replaces another association; false when
    // nothing was linked.
    bool associate(int portNumber, const QString& target);

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
    QLineEdit* m_typed = nullptr;
    QPushButton* m_assignTyped = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_assignAddress = nullptr;
    QTimer m_timer;
};

}  // namespace trv
