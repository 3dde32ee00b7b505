#include "tools/serial_ports_window.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "port/open_failure.h"
#include "port/port_map.h"
#include "port/serial_devices.h"
#include "ui/prompts.h"

namespace trv {
namespace {

QTableWidget* table(QWidget* parent, const char* name, const QStringList& headers) {
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(QLatin1String(name));
    t->setAccessibleName(QLatin1String(name));
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    // By-id names and link targets are long: each column as wide as what it holds.
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& texts) {
    for (int c = 0; c < texts.size(); ++c) {
        QTableWidgetItem* item = t->item(row, c);
        if (!item) t->setItem(row, c, item = new QTableWidgetItem);
        if (item->text() != texts[c]) item->setText(texts[c]);
    }
}

QString comName(int n) { return QStringLiteral("COM%1").arg(n); }

// Whether the device a row names can be opened now; nothing for what leads nowhere.
QString statusOf(const QString& device) {
    return device.isEmpty() ? QString()
                            : deviceStatusText(deviceStatus(device, defaultLockFolders()));
}

// The "État" of COM n's row: a server's port is "réseau"; a device says whether it opens.
QString stateOf(const PortEntry& e) {
    switch (e.state) {
        case PortEntry::State::Unassigned:
            return {};
        case PortEntry::State::Network:
        case PortEntry::State::BadAddress:
            return QStringLiteral("réseau");
        case PortEntry::State::Present:
        case PortEntry::State::Unplugged:
            break;
    }
    return statusOf(e.target);
}

int selectedRow(const QTableWidget* t) {
    const QList<QTableWidgetItem*> items = t->selectedItems();
    return items.isEmpty() ? -1 : items.first()->row();
}

#ifdef Q_OS_WIN
constexpr bool kAssignable = false;
#else
constexpr bool kAssignable = true;
#endif

}  // namespace

SerialPortsWindow::SerialPortsWindow(Prompts& prompts, QWidget* parent)
    : SerialPortsWindow(prompts, portsFolder(), kSerialByIdFolder, listSerialDevices, parent) {}

SerialPortsWindow::SerialPortsWindow(Prompts& prompts, QString portsFolder, QString byIdFolder,
                                     DeviceList devices, QWidget* parent)
    : QWidget(parent),
      m_prompts(prompts),
      m_folder(std::move(portsFolder)),
      m_byId(std::move(byIdFolder)),
      m_list(std::move(devices)) {
    setObjectName(QStringLiteral("PORTS_SERIE"));
    setWindowTitle(QStringLiteral(" Ports série."));
    build();
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &SerialPortsWindow::refresh);
    refresh();
    // The first COM number that leads nowhere is the likeliest one to give a new adapter.
    for (const PortEntry& e : m_entries)
        if (e.state == PortEntry::State::Unassigned) {
            m_target->setCurrentIndex(e.number - 1);
            break;
        }
}

void SerialPortsWindow::build() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ports COM"), this));
    m_ports =
        table(this, "TABLE_COM",
              {QStringLiteral("Port"), QStringLiteral("Mène à"), QStringLiteral("Description"),
               QStringLiteral("Fabricant"), QStringLiteral("N° de série"), QStringLiteral("État")});
    m_ports->setRowCount(kAssignablePorts);
    layout->addWidget(m_ports, 3);
    // The numbers past the settings window's list are not there by mistake.
    auto* beyond = new QLabel(QStringLiteral("COM%1 et COM%2 servent à la détection et à trvctl "
                                             "seulement : la fenêtre Configuration propose "
                                             "COM1 à COM%3.")
                                  .arg(kSettingsPorts + 1)
                                  .arg(kAssignablePorts)
                                  .arg(kSettingsPorts),
                              this);
    beyond->setObjectName(QStringLiteral("NOTE_COM_DETECTION"));
    beyond->setAccessibleDescription(QStringLiteral("NOTE_COM_DETECTION"));
    beyond->setWordWrap(true);
    layout->addWidget(beyond);

    m_unassign = new QPushButton(QStringLiteral("Retirer l'association"), this);
    m_unassign->setObjectName(QStringLiteral("BOUTON_RETIRER"));
    auto* portButtons = new QHBoxLayout;
    portButtons->addStretch();
    portButtons->addWidget(m_unassign);
    layout->addLayout(portButtons);

    layout->addWidget(new QLabel(QStringLiteral("Appareils série de cet ordinateur"), this));
    m_devices =
        table(this, "TABLE_APPAREILS",
              {QStringLiteral("Appareil"), QStringLiteral("Nom stable"),
               QStringLiteral("Description"), QStringLiteral("Fabricant"),
               QStringLiteral("N° de série"), QStringLiteral("Associé à"), QStringLiteral("État")});
    layout->addWidget(m_devices, 2);

    m_target = new QComboBox(this);
    m_target->setObjectName(QStringLiteral("SEL_COM_ASSOCIE"));
    m_target->setAccessibleDescription(QStringLiteral("SEL_COM_ASSOCIE"));
    for (int n = 1; n <= kAssignablePorts; ++n)
        m_target->addItem(n <= kSettingsPorts
                              ? comName(n)
                              : QStringLiteral("%1 (détection et trvctl)").arg(comName(n)));
    m_assign = new QPushButton(this);
    m_assign->setObjectName(QStringLiteral("BOUTON_ASSOCIER"));
    auto* deviceButtons = new QHBoxLayout;
    deviceButtons->addStretch();
    deviceButtons->addWidget(m_target);
    deviceButtons->addWidget(m_assign);
    layout->addLayout(deviceButtons);

    // A device the system does not list and no link leads to yet (a pseudo-terminal, a node
    // made by a driver) is reached by its path.
    m_typed = new QLineEdit(this);
    m_typed->setObjectName(QStringLiteral("CHEMIN_APPAREIL"));
    m_typed->setAccessibleName(QStringLiteral("CHEMIN_APPAREIL"));
    m_typed->setPlaceholderText(QStringLiteral("/dev/pts/3, /dev/ttyS0…"));
    auto* typedLabel = new QLabel(QStringLiteral("Autre appareil (chemin) :"), this);
    typedLabel->setBuddy(m_typed);
    m_assignTyped = new QPushButton(this);
    m_assignTyped->setObjectName(QStringLiteral("BOUTON_ASSOCIER_CHEMIN"));
    auto* typedRow = new QHBoxLayout;
    typedRow->addWidget(typedLabel);
    typedRow->addWidget(m_typed, 1);
    typedRow->addWidget(m_assignTyped);
    layout->addLayout(typedRow);

    // A board behind a serial device server (RFC 2217 or raw TCP) is reached by its address,
    // on every system.
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("ADRESSE_RESEAU"));
    m_address->setAccessibleName(QStringLiteral("ADRESSE_RESEAU"));
    m_address->setPlaceholderText(QStringLiteral("rfc2217://192.168.1.40:4001, tcp://hôte:port"));
    auto* addressLabel = new QLabel(QStringLiteral("Serveur série en réseau (adresse) :"), this);
    addressLabel->setBuddy(m_address);
    m_assignAddress = new QPushButton(this);
    m_assignAddress->setObjectName(QStringLiteral("BOUTON_ASSOCIER_ADRESSE"));
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(m_address, 1);
    addressRow->addWidget(m_assignAddress);
    layout->addLayout(addressRow);

    auto caption = [this] {
        const QString com = comName(m_target->currentIndex() + 1);
        m_assign->setText(QStringLiteral("Associer à %1").arg(com));
        m_assignTyped->setText(QStringLiteral("Associer le chemin à %1").arg(com));
        m_assignAddress->setText(QStringLiteral("Associer l'adresse à %1").arg(com));
    };
    caption();
    connect(m_target, &QComboBox::currentIndexChanged, this, caption);
    connect(m_assign, &QPushButton::clicked, this, &SerialPortsWindow::assignSelected);
    connect(m_unassign, &QPushButton::clicked, this, &SerialPortsWindow::unassignSelected);
    connect(m_assignTyped, &QPushButton::clicked, this, &SerialPortsWindow::assignTyped);
    connect(m_typed, &QLineEdit::returnPressed, this, &SerialPortsWindow::assignTyped);
    connect(m_assignAddress, &QPushButton::clicked, this, &SerialPortsWindow::assignAddress);
    connect(m_address, &QLineEdit::returnPressed, this, &SerialPortsWindow::assignAddress);
    auto enable = [this] {
        const int port = selectedRow(m_ports);
        m_unassign->setEnabled(port >= 0 && port < m_entries.size() &&
                               m_entries[port].state != PortEntry::State::Unassigned);
        m_assign->setEnabled(selectedRow(m_devices) >= 0);
        m_assignTyped->setEnabled(!m_typed->text().trimmed().isEmpty());
        m_assignAddress->setEnabled(!m_address->text().trimmed().isEmpty());
    };
    connect(m_ports, &QTableWidget::itemSelectionChanged, this, enable);
    connect(m_devices, &QTableWidget::itemSelectionChanged, this, enable);
    connect(this, &SerialPortsWindow::refreshed, this, enable);
    connect(m_typed, &QLineEdit::textChanged, this, enable);
    connect(m_address, &QLineEdit::textChanged, this, enable);
    // On Windows the COM numbers are the system's own: the window only shows them, and
    // associates addresses, which stand in for a native port.
    for (QWidget* w : {static_cast<QWidget*>(m_assign), static_cast<QWidget*>(typedLabel),
                       static_cast<QWidget*>(m_typed), static_cast<QWidget*>(m_assignTyped)})
        w->setVisible(kAssignable);
    m_ports->setColumnHidden(5, !kAssignable);
    m_devices->setColumnHidden(6, !kAssignable);
}

QString SerialPortsWindow::leadsTo(const PortEntry& e) {
    switch (e.state) {
        case PortEntry::State::Network:
            return e.target;
        case PortEntry::State::BadAddress:
            return QStringLiteral("adresse illisible (%1)").arg(QFileInfo(e.target).fileName());
        case PortEntry::State::Unassigned:
            return QStringLiteral("non associé");
        case PortEntry::State::Unplugged:
            return QStringLiteral("débranché (%1)").arg(e.target);
        case PortEntry::State::Present:
            break;
    }
    return e.target == e.device ? e.device : QStringLiteral("%1 → %2").arg(e.target, e.device);
}

void SerialPortsWindow::refresh() {
    m_known = m_list ? m_list() : QList<SerialDevice>();
#ifdef Q_OS_WIN
    m_entries.clear();
    for (int n = 1; n <= kAssignablePorts; ++n) {
        PortEntry e;
        e.number = n;
        for (const SerialDevice& d : m_known)
            if (d.location.endsWith(QStringLiteral("\\COM%1").arg(n))) {
                e.state = PortEntry::State::Present;
                e.target = e.device = QStringLiteral("COM%1").arg(n);
                e.info = d;
            }
        // An address stands in for the native port.
        const StoredAddress stored = readPortAddress(m_folder, n);
        if (stored.exists) {
            e = PortEntry{};
            e.number = n;
            e.state = stored.address ? PortEntry::State::Network : PortEntry::State::BadAddress;
            e.address = stored.address;
            e.target = stored.address ? stored.address->text() : portAddressPath(m_folder, n);
        }
        m_entries << e;
    }
#else
    m_entries = portEntries(m_folder, m_known);
    // Pseudo-terminals are not in the system's list; the one a link already leads to (the
    // simulator's) may then be associated with another number too.
    m_known = assignableDevices(m_known, m_entries);
#endif
    fillPorts();
    fillDevices();
    emit refreshed();
}

void SerialPortsWindow::fillPorts() {
    for (const PortEntry& e : m_entries) {
        const SerialDevice info = e.info.value_or(SerialDevice{});
        setRow(m_ports, e.number - 1,
               {comName(e.number),
                e.state == PortEntry::State::Unassigned && !kAssignable ? QStringLiteral("absent")
                                                                        : leadsTo(e),
                info.description, info.manufacturer, info.serialNumber, stateOf(e)});
    }
}

void SerialPortsWindow::fillDevices() {
    // Rows follow the devices; the selected one stays selected across a refresh.
    const int selected = selectedRow(m_devices);
    const QString selectedLocation = selected >= 0 && m_devices->item(selected, 0)
                                         ? m_devices->item(selected, 0)->text()
                                         : QString();
    m_devices->setRowCount(int(m_known.size()));
    for (int r = 0; r < m_known.size(); ++r) {
        const SerialDevice& d = m_known[r];
        QStringList ports;
        for (int n : portsLeadingTo(m_entries, d.location)) ports << QStringLiteral("COM%1").arg(n);
        setRow(m_devices, r,
               {d.location, stablePath(d.location, m_byId), d.description, d.manufacturer,
                d.serialNumber, ports.join(QStringLiteral(", ")), statusOf(d.location)});
        if (d.location == selectedLocation && selectedRow(m_devices) != r) m_devices->selectRow(r);
    }
    // A device that went away takes its selection along: the row that slid into its place is
    // another device, which "Associer" must not link by surprise.
    const int now = selectedRow(m_devices);
    if (now >= 0 && m_known[now].location != selectedLocation) m_devices->clearSelection();
}

void SerialPortsWindow::assignSelected() {
    const int row = selectedRow(m_devices);
    if (row < 0 || row >= m_known.size()) return;
    const QString device = m_known[row].location;
    // The by-id name keeps leading to the same adapter whichever node it gets next time.
    const QString byId = stablePath(device, m_byId);
    associate(m_target->currentIndex() + 1, byId.isEmpty() ? device : byId);
}

void SerialPortsWindow::assignTyped() {
    const PortTarget target = parsePortTarget(m_typed->text());
    if (target.kind == PortTarget::Kind::Invalid) {
        m_prompts.warning(this, target.error);
        return;
    }
    if (associate(m_target->currentIndex() + 1, target.text)) m_typed->clear();
}

void SerialPortsWindow::assignAddress() {
    QString error;
    const auto address = parseNetworkAddress(m_address->text(), &error);
    if (!address) {
        m_prompts.warning(this, error);
        return;
    }
    if (associate(m_target->currentIndex() + 1, address->text())) m_address->clear();
}

bool SerialPortsWindow::associate(int portNumber, const QString& target) {
    // The links may have changed since the last look: ask about what is there now.
    refresh();
    const PortEntry& entry = m_entries[portNumber - 1];
    // What is not a link or an address file is never replaced (assignPort says so): nothing
    // to ask about.
    const bool link = QFileInfo(portLinkPath(m_folder, portNumber)).isSymLink();
    const bool address = entry.state == PortEntry::State::Network;
    if (const auto question = link || address ? replaceQuestion(entry, target) : std::nullopt)
        if (!m_prompts.question(this, *question)) return false;
    const auto error = assignPort(m_folder, portNumber, target);
    if (error) m_prompts.warning(this, *error);
    refresh();
    return !error;
}

void SerialPortsWindow::unassignSelected() {
    const int row = selectedRow(m_ports);
    if (row < 0) return;
    if (const auto error = unassignPort(m_folder, row + 1)) m_prompts.warning(this, *error);
    refresh();
}

void SerialPortsWindow::showEvent(QShowEvent* event) {
    refresh();
    m_timer.start();
    QWidget::showEvent(event);
}

void SerialPortsWindow::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

}  // namespace trv
