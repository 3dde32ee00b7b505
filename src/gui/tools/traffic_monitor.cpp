#include "tools/traffic_monitor.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "link/link.h"
#include "trace/format.h"
#include "ui/prompts.h"

namespace trv {
namespace trace {

TraceModel::TraceModel(TraceLog& log, QObject* parent)
    : QAbstractTableModel(parent), m_log(log), m_first(log.firstId()), m_end(log.endId()) {}

int TraceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_end - m_first);
}

int TraceModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TraceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[] = {"Temps",         "Heure",       "Sens",
                                          "Signification", "Hexadécimal", "Texte"};
    return QString::fromUtf8(kTitles[section]);
}

QVariant TraceModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Row& r = rowAt(index.row());
    const bool operation = r.kind == RowKind::Operation;
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Since:
                    // An operation's row gives its length where its rows give their times.
                    if (operation)
                        return (r.flags & flag::Running)
                                   ? QString()
                                   : QStringLiteral("%1 ms").arg(r.duration / 1000);
                    return sinceText(r);
                case Clock:
                    return clockText(m_log, r);
                case Direction:
                    return directionText(r);
                case Meaning:
                    return operation ? operationTitle(r) : meaningText(r);
                case Hex:
                    return hexText(r.bytes);
                case Text:
                    return controlText(r.bytes);
            }
            return {};
        case Qt::ToolTipRole:
            return index.column() >= Meaning ? data(index, Qt::DisplayRole) : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() == Since ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                           : QVariant();
        case Qt::FontRole:
            if (operation) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::BackgroundRole:
            if (r.flags & (flag::Unanswered | flag::Failed)) return QColor(255, 190, 190);
            if (r.flags & (flag::Garbage | flag::Unexpected)) return QColor(255, 240, 150);
            if (operation) return QColor(225, 225, 225);
            return {};
    }
    return {};
}

bool TraceModel::sync() {
    const quint64 first = m_log.firstId();
    const quint64 end = m_log.endId();
    const quint64 changed = m_log.takeChangedFrom();
    if (first >= m_end || end < m_end) {
        // Everything shown is gone (cleared or overtaken): start again.
        beginResetModel();
        m_first = first;
        m_end = end;
        endResetModel();
        return true;
    }
    if (first > m_first) {
        beginRemoveRows({}, 0, int(first - m_first) - 1);
        m_first = first;
        endRemoveRows();
    }
    if (changed < m_end) {
        const int from = int(std::max(changed, m_first) - m_first);
        emit dataChanged(index(from, 0), index(int(m_end - m_first) - 1, ColumnCount - 1));
    }
    if (end == m_end) return false;
    beginInsertRows({}, int(m_end - m_first), int(end - m_first) - 1);
    m_end = end;
    endInsertRows();
    return true;
}

}  // namespace trace

namespace {
// Often enough to follow an exchange, rarely enough to cost it nothing worth measuring.
constexpr int kRefreshMs = 250;
// Room for a few operations' lines.
constexpr int kOpeningHeight = 420;
}  // namespace

TrafficMonitor::TrafficMonitor(Link& link, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_link(link), m_prompts(prompts), m_model(m_log) {
    setObjectName(QStringLiteral("TRAFIC_SERIE"));
    setWindowTitle(QStringLiteral(" Trafic série."));

    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setObjectName(QStringLiteral("but_pause"));
    m_pause->setCheckable(true);
    m_clear = new QPushButton(QStringLiteral("Effacer"), this);
    m_clear->setObjectName(QStringLiteral("but_effacer"));
    m_save = new QPushButton(QStringLiteral("Enregistrer…"), this);
    m_save->setObjectName(QStringLiteral("but_enregistrer"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("nombre_lignes"));

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("lignes"));
    m_view->setAccessibleName(QStringLiteral("lignes"));
    m_view->setModel(&m_model);
    m_view->setWordWrap(false);
    m_view->setShowGrid(false);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Fixed row heights keep a view of 100,000 rows cheap to scroll and to grow.
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    const int digit = fontMetrics().horizontalAdvance(u'0');
    for (auto [column, chars] : {std::pair{trace::TraceModel::Since, 9},
                                 {trace::TraceModel::Clock, 13},
                                 {trace::TraceModel::Direction, 9},
                                 {trace::TraceModel::Meaning, 44},
                                 {trace::TraceModel::Hex, 30},
                                 {trace::TraceModel::Text, 16}}) {
        m_view->setColumnWidth(column, digit * chars);
        m_columnsWidth += digit * chars;
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pause);
    buttons->addWidget(m_clear);
    buttons->addWidget(m_save);
    buttons->addStretch();
    buttons->addWidget(m_count);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_view);
    resize(sizeHint());

    connect(m_pause, &QPushButton::toggled, this, &TrafficMonitor::setPaused);
    connect(m_clear, &QPushButton::clicked, this, &TrafficMonitor::clear);
    connect(m_save, &QPushButton::clicked, this, &TrafficMonitor::save);
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &TrafficMonitor::refresh);
    m_log.setOnChange([this] {
        if (!m_refresh.isActive()) m_refresh.start();
    });
    m_link.tap().setObserver(&m_log);
    refresh();
}

QSize TrafficMonitor::sizeHint() const {
    // Wide enough for every column beside the vertical scroll bar; the frame that opens the
    // monitor takes this size.
    const QMargins margins = layout()->contentsMargins();
    const int width = margins.left() + m_columnsWidth + 2 * m_view->frameWidth() +
                      m_view->verticalScrollBar()->sizeHint().width() + margins.right();
    return {width, std::max(QWidget::sizeHint().height(), kOpeningHeight)};
}

TrafficMonitor::~TrafficMonitor() {
    // Closed, the monitor records nothing and the port reports to no one.
    if (m_link.tap().observer() == &m_log) m_link.tap().setObserver(nullptr);
}

void TrafficMonitor::setPaused(bool paused) {
    m_pause->setChecked(paused);
    m_pause->setText(paused ? QStringLiteral("Reprendre") : QStringLiteral("Pause"));
    if (paused) {
        if (m_link.tap().observer() == &m_log) m_link.tap().setObserver(nullptr);
    } else if (!m_link.tap().observer()) {
        m_log.resume();
        m_link.tap().setObserver(&m_log);
    }
}

void TrafficMonitor::clear() {
    m_log.clear();
    refresh();
}

void TrafficMonitor::refresh() {
    m_refresh.stop();
    QScrollBar* bar = m_view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    if (m_model.sync() && atEnd) m_view->scrollToBottom();
    m_count->setText(QStringLiteral("%1 lignes").arg(m_model.rowCount()));
}

void TrafficMonitor::save() {
    const QString path = m_prompts.saveFileNameAsking(
        this, QStringLiteral("Enregistrer le trafic"),
        QStringLiteral("Texte (*.txt);;Tous les fichiers (*)"), QStringLiteral("trafic.txt"));
    if (path.isEmpty()) return;
    QString error;
    if (!trace::saveTrace(m_log, path, &error)) m_prompts.plain(this, error);
}

}  // namespace trv
